#include "ui/popover/FLPopoverThemeAppearance.h"

#include "platform/base/ThreadAssertions.h"
#include "platform/uikit/UIAppearance.h"

namespace {

using Proxy = UIAppearance<FLPopoverBackgroundView>;
using Chrome = FLPopoverBackgroundView;

FLPopoverThemePtr& defaultThemeSlot() {
    static FLPopoverThemePtr theme;
    return theme;
}

template <class V>
void copyBack(FLPopoverTheme& theme, const char* key, void (FLPopoverTheme::*setter)(V)) {
    if (auto v = Proxy::value<V>(key)) (theme.*setter)(*v);
}

}  // namespace

void FLPopoverSetDefaultTheme(const FLPopoverThemePtr& theme) {
    QV_ASSERT_MAIN_THREAD();
    defaultThemeSlot() = theme;
    if (theme) FLPopoverThemeApplyToAppearance(*theme);
}

FLPopoverThemePtr FLPopoverDefaultTheme() {
    QV_ASSERT_MAIN_THREAD();
    if (!defaultThemeSlot()) FLPopoverSetDefaultTheme(FLPopoverTheme::theme());
    return defaultThemeSlot();
}

void FLPopoverThemeApplyToAppearance(const FLPopoverTheme& t) {
    Proxy::set("usesRoundedArrow", t.usesRoundedArrow(), &Chrome::setUsesRoundedArrow);
    Proxy::set("adjustsTintColor", t.adjustsTintColor(), &Chrome::setAdjustsTintColor);
    Proxy::set("tintColor", t.tintColor(), &Chrome::setTintColor);
    Proxy::set("outerStrokeColor", t.outerStrokeColor(), &Chrome::setOuterStrokeColor);
    Proxy::set("innerStrokeColor", t.innerStrokeColor(), &Chrome::setInnerStrokeColor);
    Proxy::set("fillTopColor", t.fillTopColor(), &Chrome::setFillTopColor);
    Proxy::set("fillBottomColor", t.fillBottomColor(), &Chrome::setFillBottomColor);
    Proxy::set("glossShadowColor", t.glossShadowColor(), &Chrome::setGlossShadowColor);
    Proxy::set("glossShadowOffset", t.glossShadowOffset(), &Chrome::setGlossShadowOffset);
    Proxy::set("glossShadowBlurRadius", t.glossShadowBlurRadius(), &Chrome::setGlossShadowBlurRadius);
    Proxy::set("borderWidth", t.borderWidth(), &Chrome::setBorderWidth);
    Proxy::set("arrowBase", t.arrowBase(), &Chrome::setArrowBase);
    Proxy::set("arrowHeight", t.arrowHeight(), &Chrome::setArrowHeight);
    Proxy::set("outerShadowColor", t.outerShadowColor(), &Chrome::setOuterShadowColor);
    Proxy::set("outerShadowBlurRadius", t.outerShadowBlurRadius(), &Chrome::setOuterShadowBlurRadius);
    Proxy::set("outerShadowOffset", t.outerShadowOffset(), &Chrome::setOuterShadowOffset);
    Proxy::set("outerCornerRadius", t.outerCornerRadius(), &Chrome::setOuterCornerRadius);
    Proxy::set("minOuterCornerRadius", t.minOuterCornerRadius(), &Chrome::setMinOuterCornerRadius);
    Proxy::set("innerShadowColor", t.innerShadowColor(), &Chrome::setInnerShadowColor);
    Proxy::set("innerShadowBlurRadius", t.innerShadowBlurRadius(), &Chrome::setInnerShadowBlurRadius);
    Proxy::set("innerShadowOffset", t.innerShadowOffset(), &Chrome::setInnerShadowOffset);
    Proxy::set("innerCornerRadius", t.innerCornerRadius(), &Chrome::setInnerCornerRadius);
    Proxy::set("viewContentInsets", t.viewContentInsets(), &Chrome::setViewContentInsets);
    Proxy::set("overlayColor", t.overlayColor(), &Chrome::setOverlayColor);
}

void FLPopoverThemeCopyFromAppearance(FLPopoverTheme& t) {
    using T = FLPopoverTheme;
    copyBack(t, "usesRoundedArrow", &T::setUsesRoundedArrow);
    copyBack(t, "adjustsTintColor", &T::setAdjustsTintColor);
    copyBack(t, "tintColor", &T::setTintColor);
    copyBack(t, "outerStrokeColor", &T::setOuterStrokeColor);
    copyBack(t, "innerStrokeColor", &T::setInnerStrokeColor);
    copyBack(t, "fillTopColor", &T::setFillTopColor);
    copyBack(t, "fillBottomColor", &T::setFillBottomColor);
    copyBack(t, "glossShadowColor", &T::setGlossShadowColor);
    copyBack(t, "glossShadowOffset", &T::setGlossShadowOffset);
    copyBack(t, "glossShadowBlurRadius", &T::setGlossShadowBlurRadius);
    copyBack(t, "borderWidth", &T::setBorderWidth);
    copyBack(t, "arrowBase", &T::setArrowBase);
    copyBack(t, "arrowHeight", &T::setArrowHeight);
    copyBack(t, "outerShadowColor", &T::setOuterShadowColor);
    copyBack(t, "outerShadowBlurRadius", &T::setOuterShadowBlurRadius);
    copyBack(t, "outerShadowOffset", &T::setOuterShadowOffset);
    copyBack(t, "outerCornerRadius", &T::setOuterCornerRadius);
    copyBack(t, "minOuterCornerRadius", &T::setMinOuterCornerRadius);
    copyBack(t, "innerShadowColor", &T::setInnerShadowColor);
    copyBack(t, "innerShadowBlurRadius", &T::setInnerShadowBlurRadius);
    copyBack(t, "innerShadowOffset", &T::setInnerShadowOffset);
    copyBack(t, "innerCornerRadius", &T::setInnerCornerRadius);
    copyBack(t, "viewContentInsets", &T::setViewContentInsets);
    copyBack(t, "overlayColor", &T::setOverlayColor);
}

void FLPopoverThemeApplyToChrome(const FLPopoverTheme& t, FLPopoverBackgroundView& c) {
    c.setUsesRoundedArrow(t.usesRoundedArrow());
    c.setAdjustsTintColor(t.adjustsTintColor());
    c.setTintColor(t.tintColor());
    c.setOuterStrokeColor(t.outerStrokeColor());
    c.setInnerStrokeColor(t.innerStrokeColor());
    c.setFillTopColor(t.fillTopColor());
    c.setFillBottomColor(t.fillBottomColor());
    c.setGlossShadowColor(t.glossShadowColor());
    c.setGlossShadowOffset(t.glossShadowOffset());
    c.setGlossShadowBlurRadius(t.glossShadowBlurRadius());
    c.setBorderWidth(t.borderWidth());
    c.setArrowBase(t.arrowBase());
    c.setArrowHeight(t.arrowHeight());
    c.setOuterShadowColor(t.outerShadowColor());
    c.setOuterShadowBlurRadius(t.outerShadowBlurRadius());
    c.setOuterShadowOffset(t.outerShadowOffset());
    c.setOuterCornerRadius(t.outerCornerRadius());
    c.setMinOuterCornerRadius(t.minOuterCornerRadius());
    c.setInnerShadowColor(t.innerShadowColor());
    c.setInnerShadowBlurRadius(t.innerShadowBlurRadius());
    c.setInnerShadowOffset(t.innerShadowOffset());
    c.setInnerCornerRadius(t.innerCornerRadius());
    c.setViewContentInsets(t.viewContentInsets());
}
