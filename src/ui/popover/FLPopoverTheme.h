#pragma once
// The appearance record of the popover chrome: colours, arrow size, corner
// radii, shadows, border, content insets and the overlay's colour.
//
// Two built-in themes: themeForIOS6 (dark, glossy, straight arrow, bordered
// content) and themeForIOS7 (light grey, flat, curved arrow, borderless);
// `theme` picks by the running system's version (below "7.0": the first).
// Every call builds a new theme.
//
// Derived getters: fillTopColor falls back on tintColor, fillBottomColor on
// fillTopColor, the two stroke colours on fillTopColor darkened by 0.6, the
// gloss colour on fillTopColor lightened by 0.2; outerShadowOffset never
// exceeds the outer blur on either axis; innerCornerRadius is the outer one
// while borderWidth is 0. Everything else reads as set.
//
// Observation: every setter announces its key through NSObject key-value
// observation (will/did change) when the value changes; `observableKeypaths`
// lists the keys a popover watches (usesRoundedArrow, adjustsTintColor and
// minOuterCornerRadius are left out on purpose).
//
// Main thread only (a popover observes its theme on the main thread).
#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/NSObject.h"
#include "platform/graphics/CGGeometry.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIEdgeInsets.h"

// A measure in whole points (the theme's counts).
using FLPopoverCount = unsigned long;

class FLPopoverTheme;
using FLPopoverThemePtr = std::shared_ptr<FLPopoverTheme>;

class FLPopoverTheme : public NSObject {
public:
    FLPopoverTheme() = default;

    static FLPopoverThemePtr theme();
    static FLPopoverThemePtr themeForIOS6();
    static FLPopoverThemePtr themeForIOS7();
    // A new theme holding the same stored values (not the derived ones).
    FLPopoverThemePtr copy() const;

    static const std::vector<std::string>& observableKeypaths();

    bool usesRoundedArrow() const { return usesRoundedArrow_; }
    void setUsesRoundedArrow(bool value);
    bool adjustsTintColor() const { return adjustsTintColor_; }
    void setAdjustsTintColor(bool value);
    UIColorPtr tintColor() const { return tintColor_; }
    void setTintColor(UIColorPtr color);
    UIColorPtr fillTopColor() const;
    void setFillTopColor(UIColorPtr color);
    UIColorPtr fillBottomColor() const;
    void setFillBottomColor(UIColorPtr color);
    UIColorPtr glossShadowColor() const;
    void setGlossShadowColor(UIColorPtr color);
    CGSize glossShadowOffset() const { return glossShadowOffset_; }
    void setGlossShadowOffset(CGSize offset);
    FLPopoverCount glossShadowBlurRadius() const { return glossShadowBlurRadius_; }
    void setGlossShadowBlurRadius(FLPopoverCount value);
    FLPopoverCount borderWidth() const { return borderWidth_; }
    void setBorderWidth(FLPopoverCount value);
    FLPopoverCount arrowBase() const { return arrowBase_; }
    void setArrowBase(FLPopoverCount value);
    FLPopoverCount arrowHeight() const { return arrowHeight_; }
    void setArrowHeight(FLPopoverCount value);
    UIColorPtr outerShadowColor() const { return outerShadowColor_; }
    void setOuterShadowColor(UIColorPtr color);
    UIColorPtr outerStrokeColor() const;
    void setOuterStrokeColor(UIColorPtr color);
    FLPopoverCount outerShadowBlurRadius() const { return outerShadowBlurRadius_; }
    void setOuterShadowBlurRadius(FLPopoverCount value);
    CGSize outerShadowOffset() const;
    void setOuterShadowOffset(CGSize offset);
    FLPopoverCount outerCornerRadius() const { return outerCornerRadius_; }
    void setOuterCornerRadius(FLPopoverCount value);
    FLPopoverCount minOuterCornerRadius() const { return minOuterCornerRadius_; }
    void setMinOuterCornerRadius(FLPopoverCount value);
    UIColorPtr innerShadowColor() const { return innerShadowColor_; }
    void setInnerShadowColor(UIColorPtr color);
    UIColorPtr innerStrokeColor() const;
    void setInnerStrokeColor(UIColorPtr color);
    FLPopoverCount innerShadowBlurRadius() const { return innerShadowBlurRadius_; }
    void setInnerShadowBlurRadius(FLPopoverCount value);
    CGSize innerShadowOffset() const { return innerShadowOffset_; }
    void setInnerShadowOffset(CGSize offset);
    FLPopoverCount innerCornerRadius() const;
    void setInnerCornerRadius(FLPopoverCount value);
    UIEdgeInsets viewContentInsets() const { return viewContentInsets_; }
    void setViewContentInsets(UIEdgeInsets insets);
    UIColorPtr overlayColor() const { return overlayColor_; }
    void setOverlayColor(UIColorPtr color);

    std::string description() const override;

private:
    // Stores the value and announces the key when it changed.
    template <class T>
    void change(const char* key, T& field, T value);

    bool usesRoundedArrow_ = false;
    bool adjustsTintColor_ = false;
    UIColorPtr tintColor_;
    UIColorPtr fillTopColor_;
    UIColorPtr fillBottomColor_;
    UIColorPtr glossShadowColor_;
    CGSize glossShadowOffset_{};
    FLPopoverCount glossShadowBlurRadius_ = 0;
    FLPopoverCount borderWidth_ = 0;
    FLPopoverCount arrowBase_ = 0;
    FLPopoverCount arrowHeight_ = 0;
    UIColorPtr outerShadowColor_;
    UIColorPtr outerStrokeColor_;
    FLPopoverCount outerShadowBlurRadius_ = 0;
    CGSize outerShadowOffset_{};
    FLPopoverCount outerCornerRadius_ = 0;
    FLPopoverCount minOuterCornerRadius_ = 0;
    UIColorPtr innerShadowColor_;
    UIColorPtr innerStrokeColor_;
    FLPopoverCount innerShadowBlurRadius_ = 0;
    CGSize innerShadowOffset_{};
    FLPopoverCount innerCornerRadius_ = 0;
    UIEdgeInsets viewContentInsets_{};
    UIColorPtr overlayColor_;
};
