#pragma once
// Fonts. The stand-in ships two faces, DejaVu Sans and DejaVu Sans Bold (see
// graphics/TextLayout.h): the system fonts are those, and so is any other name
// asked for (bold when the name contains "Bold"), so text always shows and
// measures the same everywhere. Fonts are immutable and may be shared between threads.
#include <memory>
#include <mutex>
#include <string>

#include "platform/foundation/NSObject.h"
#include "platform/graphics/CGGeometry.h"
#include "platform/graphics/TextLayout.h"

class UIFont;
using UIFontPtr = std::shared_ptr<UIFont>;

// Text styles of the preferred fonts, at the default text size: headline
// (bold 17), body (17), subheadline (15), footnote (13), caption 1 (12), caption 2 (11).
inline constexpr const char* UIFontTextStyleHeadline = "UIFontTextStyleHeadline";
inline constexpr const char* UIFontTextStyleBody = "UIFontTextStyleBody";
inline constexpr const char* UIFontTextStyleSubheadline = "UIFontTextStyleSubheadline";
inline constexpr const char* UIFontTextStyleFootnote = "UIFontTextStyleFootnote";
inline constexpr const char* UIFontTextStyleCaption1 = "UIFontTextStyleCaption1";
inline constexpr const char* UIFontTextStyleCaption2 = "UIFontTextStyleCaption2";

class UIFont : public NSObject {
public:
    UIFont(bool bold, CGFloat pointSize);

    // A size that is not a positive finite number means 12.
    static UIFontPtr systemFontOfSize(CGFloat fontSize);
    static UIFontPtr boldSystemFontOfSize(CGFloat fontSize);
    // Null for an empty name.
    static UIFontPtr fontWithName(const std::string& fontName, CGFloat fontSize);
    // An unknown style gives the body font (with a console line).
    static UIFontPtr preferredFontForTextStyle(const std::string& style);
    // The font size the platform's labels and buttons use by default.
    static CGFloat systemFontSize() { return 14; }
    static CGFloat labelFontSize() { return 17; }

    UIFontPtr fontWithSize(CGFloat fontSize) const;

    // "DejaVuSans" or "DejaVuSans-Bold"; family "DejaVu Sans".
    std::string fontName() const;
    std::string familyName() const;
    CGFloat pointSize() const { return font_.size; }
    bool isBold() const { return font_.bold; }
    CGFloat ascender() const;
    CGFloat descender() const;  // negative
    CGFloat lineHeight() const;
    CGFloat capHeight() const;
    CGFloat xHeight() const;
    CGFloat leading() const { return 0; }

    const TextFont& textFont() const { return font_; }
    bool isEqual(const UIFontPtr& other) const { return other && other->font_ == font_; }
    std::string description() const override;

private:
    TextFont font_;
    mutable std::shared_ptr<const TextFontMetrics> metrics_;  // measured once
    mutable std::mutex metricsMutex_;
    const TextFontMetrics& metrics() const;
};
