#include "ui/popover/FLPopoverTheme.h"

#include <algorithm>
#include <sstream>

#include "platform/foundation/NSString.h"
#include "platform/uikit/UIDevice.h"
#include "ui/popover/UIColorFLPopover.h"

namespace {

UIColorPtr rgb255(double r, double g, double b, double a) { return UIColor::colorWithRed(r / 255, g / 255, b / 255, a); }

}  // namespace

template <class T>
void FLPopoverTheme::change(const char* key, T& field, T value) {
    willChangeValueForKey(key);
    field = std::move(value);
    didChangeValueForKey(key);
}

FLPopoverThemePtr FLPopoverTheme::theme() {
    std::string version = UIDevice::currentDevice()->systemVersion();
    if (compare(version, "7.0", NSNumericSearch) == NSOrderedAscending) return themeForIOS6();
    return themeForIOS7();
}

FLPopoverThemePtr FLPopoverTheme::themeForIOS6() {
    auto t = std::make_shared<FLPopoverTheme>();
    t->setUsesRoundedArrow(false);
    t->setAdjustsTintColor(true);
    t->setTintColor(rgb255(55, 63, 71, 1));
    t->setOuterStrokeColor(nullptr);
    t->setInnerStrokeColor(nullptr);
    t->setFillTopColor(t->tintColor());
    t->setFillBottomColor(UIColorFLPopover::colorByDarken(t->tintColor(), 0.4f));
    t->setGlossShadowColor(nullptr);
    t->setGlossShadowOffset(CGSizeMake(0, 1.5));
    t->setGlossShadowBlurRadius(0);
    t->setBorderWidth(6);
    t->setArrowBase(42);
    t->setArrowHeight(18);
    t->setOuterShadowColor(UIColor::colorWithWhite(0, 0.75));
    t->setOuterShadowBlurRadius(8);
    t->setOuterShadowOffset(CGSizeMake(0, 2));
    t->setOuterCornerRadius(8);
    t->setMinOuterCornerRadius(0);
    t->setInnerShadowColor(UIColor::colorWithWhite(0, 0.75));
    t->setInnerShadowBlurRadius(2);
    t->setInnerShadowOffset(CGSizeMake(0, 1));
    t->setInnerCornerRadius(6);
    t->setViewContentInsets(UIEdgeInsetsMake(3, 0, 0, 0));
    t->setOverlayColor(UIColor::clearColor());
    return t;
}

FLPopoverThemePtr FLPopoverTheme::themeForIOS7() {
    auto t = std::make_shared<FLPopoverTheme>();
    t->setUsesRoundedArrow(true);
    t->setAdjustsTintColor(true);
    t->setTintColor(rgb255(244, 244, 244, 1));
    t->setOuterStrokeColor(UIColor::clearColor());
    t->setInnerStrokeColor(UIColor::clearColor());
    t->setFillTopColor(nullptr);
    t->setFillBottomColor(nullptr);
    t->setGlossShadowColor(nullptr);
    t->setGlossShadowOffset(CGSizeMake(0, 0));
    t->setGlossShadowBlurRadius(0);
    t->setBorderWidth(0);
    t->setArrowBase(25);
    t->setArrowHeight(13);
    t->setOuterShadowColor(UIColor::clearColor());
    t->setOuterShadowBlurRadius(0);
    t->setOuterShadowOffset(CGSizeMake(0, 0));
    t->setOuterCornerRadius(5);
    t->setMinOuterCornerRadius(0);
    t->setInnerShadowColor(UIColor::clearColor());
    t->setInnerShadowBlurRadius(0);
    t->setInnerShadowOffset(CGSizeMake(0, 0));
    t->setInnerCornerRadius(0);
    t->setViewContentInsets(UIEdgeInsetsZero);
    t->setOverlayColor(UIColor::colorWithWhite(0, 0.15));
    return t;
}

FLPopoverThemePtr FLPopoverTheme::copy() const {
    auto t = std::make_shared<FLPopoverTheme>();
    t->usesRoundedArrow_ = usesRoundedArrow_;
    t->adjustsTintColor_ = adjustsTintColor_;
    t->tintColor_ = tintColor_;
    t->fillTopColor_ = fillTopColor_;
    t->fillBottomColor_ = fillBottomColor_;
    t->glossShadowColor_ = glossShadowColor_;
    t->glossShadowOffset_ = glossShadowOffset_;
    t->glossShadowBlurRadius_ = glossShadowBlurRadius_;
    t->borderWidth_ = borderWidth_;
    t->arrowBase_ = arrowBase_;
    t->arrowHeight_ = arrowHeight_;
    t->outerShadowColor_ = outerShadowColor_;
    t->outerStrokeColor_ = outerStrokeColor_;
    t->outerShadowBlurRadius_ = outerShadowBlurRadius_;
    t->outerShadowOffset_ = outerShadowOffset_;
    t->outerCornerRadius_ = outerCornerRadius_;
    t->minOuterCornerRadius_ = minOuterCornerRadius_;
    t->innerShadowColor_ = innerShadowColor_;
    t->innerStrokeColor_ = innerStrokeColor_;
    t->innerShadowBlurRadius_ = innerShadowBlurRadius_;
    t->innerShadowOffset_ = innerShadowOffset_;
    t->innerCornerRadius_ = innerCornerRadius_;
    t->viewContentInsets_ = viewContentInsets_;
    t->overlayColor_ = overlayColor_;
    return t;
}

const std::vector<std::string>& FLPopoverTheme::observableKeypaths() {
    static const std::vector<std::string> keys = {
        "tintColor",         "outerStrokeColor",      "innerStrokeColor",   "fillTopColor",
        "fillBottomColor",   "glossShadowColor",      "glossShadowOffset",  "glossShadowBlurRadius",
        "borderWidth",       "arrowBase",             "arrowHeight",        "outerShadowColor",
        "outerShadowBlurRadius", "outerShadowOffset", "outerCornerRadius",  "innerShadowColor",
        "innerShadowBlurRadius", "innerShadowOffset", "innerCornerRadius",  "viewContentInsets",
        "overlayColor"};
    return keys;
}

// ---------------------------------------------------------------- derived getters

UIColorPtr FLPopoverTheme::fillTopColor() const { return fillTopColor_ ? fillTopColor_ : tintColor_; }

UIColorPtr FLPopoverTheme::fillBottomColor() const { return fillBottomColor_ ? fillBottomColor_ : fillTopColor(); }

UIColorPtr FLPopoverTheme::glossShadowColor() const {
    return glossShadowColor_ ? glossShadowColor_ : UIColorFLPopover::colorByLighten(fillTopColor(), 0.2f);
}

UIColorPtr FLPopoverTheme::outerStrokeColor() const {
    return outerStrokeColor_ ? outerStrokeColor_ : UIColorFLPopover::colorByDarken(fillTopColor(), 0.6f);
}

UIColorPtr FLPopoverTheme::innerStrokeColor() const {
    return innerStrokeColor_ ? innerStrokeColor_ : UIColorFLPopover::colorByDarken(fillTopColor(), 0.6f);
}

CGSize FLPopoverTheme::outerShadowOffset() const {
    auto blur = static_cast<CGFloat>(outerShadowBlurRadius_);
    return CGSizeMake(std::min(outerShadowOffset_.width, blur), std::min(outerShadowOffset_.height, blur));
}

FLPopoverCount FLPopoverTheme::innerCornerRadius() const {
    return borderWidth_ == 0 ? outerCornerRadius_ : innerCornerRadius_;
}

// ---------------------------------------------------------------- setters

void FLPopoverTheme::setUsesRoundedArrow(bool v) { change("usesRoundedArrow", usesRoundedArrow_, v); }
void FLPopoverTheme::setAdjustsTintColor(bool v) { change("adjustsTintColor", adjustsTintColor_, v); }
void FLPopoverTheme::setTintColor(UIColorPtr c) { change("tintColor", tintColor_, std::move(c)); }
void FLPopoverTheme::setFillTopColor(UIColorPtr c) { change("fillTopColor", fillTopColor_, std::move(c)); }
void FLPopoverTheme::setFillBottomColor(UIColorPtr c) { change("fillBottomColor", fillBottomColor_, std::move(c)); }
void FLPopoverTheme::setGlossShadowColor(UIColorPtr c) { change("glossShadowColor", glossShadowColor_, std::move(c)); }
void FLPopoverTheme::setGlossShadowOffset(CGSize s) { change("glossShadowOffset", glossShadowOffset_, s); }
void FLPopoverTheme::setGlossShadowBlurRadius(FLPopoverCount v) {
    change("glossShadowBlurRadius", glossShadowBlurRadius_, v);
}
void FLPopoverTheme::setBorderWidth(FLPopoverCount v) { change("borderWidth", borderWidth_, v); }
void FLPopoverTheme::setArrowBase(FLPopoverCount v) { change("arrowBase", arrowBase_, v); }
void FLPopoverTheme::setArrowHeight(FLPopoverCount v) { change("arrowHeight", arrowHeight_, v); }
void FLPopoverTheme::setOuterShadowColor(UIColorPtr c) { change("outerShadowColor", outerShadowColor_, std::move(c)); }
void FLPopoverTheme::setOuterStrokeColor(UIColorPtr c) { change("outerStrokeColor", outerStrokeColor_, std::move(c)); }
void FLPopoverTheme::setOuterShadowBlurRadius(FLPopoverCount v) {
    change("outerShadowBlurRadius", outerShadowBlurRadius_, v);
}
void FLPopoverTheme::setOuterShadowOffset(CGSize s) { change("outerShadowOffset", outerShadowOffset_, s); }
void FLPopoverTheme::setOuterCornerRadius(FLPopoverCount v) { change("outerCornerRadius", outerCornerRadius_, v); }
void FLPopoverTheme::setMinOuterCornerRadius(FLPopoverCount v) {
    change("minOuterCornerRadius", minOuterCornerRadius_, v);
}
void FLPopoverTheme::setInnerShadowColor(UIColorPtr c) { change("innerShadowColor", innerShadowColor_, std::move(c)); }
void FLPopoverTheme::setInnerStrokeColor(UIColorPtr c) { change("innerStrokeColor", innerStrokeColor_, std::move(c)); }
void FLPopoverTheme::setInnerShadowBlurRadius(FLPopoverCount v) {
    change("innerShadowBlurRadius", innerShadowBlurRadius_, v);
}
void FLPopoverTheme::setInnerShadowOffset(CGSize s) { change("innerShadowOffset", innerShadowOffset_, s); }
void FLPopoverTheme::setInnerCornerRadius(FLPopoverCount v) { change("innerCornerRadius", innerCornerRadius_, v); }
void FLPopoverTheme::setViewContentInsets(UIEdgeInsets i) { change("viewContentInsets", viewContentInsets_, i); }
void FLPopoverTheme::setOverlayColor(UIColorPtr c) { change("overlayColor", overlayColor_, std::move(c)); }

std::string FLPopoverTheme::description() const {
    std::ostringstream out;
    out << "<FLPopoverTheme tint " << UIColorFLPopover::hexString(tintColor_) << ", fill "
        << UIColorFLPopover::hexString(fillTopColor()) << " to " << UIColorFLPopover::hexString(fillBottomColor())
        << ", arrow " << arrowBase_ << " x " << arrowHeight_ << ", corner " << outerCornerRadius_ << ", border "
        << borderWidth_ << ">";
    return out.str();
}
