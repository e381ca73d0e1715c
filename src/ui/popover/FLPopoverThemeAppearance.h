#pragma once
// How a theme reaches the chrome: the shared default theme, the appearance
// proxy of FLPopoverBackgroundView, and a chrome's own values.
//
// The default theme is one shared object: FLPopoverSetDefaultTheme stores it
// and records each of its properties (derived values included) on the proxy,
// in the order usesRoundedArrow, adjustsTintColor, tintColor,
// outerStrokeColor, innerStrokeColor, fillTopColor, fillBottomColor,
// glossShadowColor, glossShadowOffset, glossShadowBlurRadius, borderWidth,
// arrowBase, arrowHeight, outerShadowColor, outerShadowBlurRadius,
// outerShadowOffset, outerCornerRadius, minOuterCornerRadius,
// innerShadowColor, innerShadowBlurRadius, innerShadowOffset,
// innerCornerRadius, viewContentInsets, overlayColor. FLPopoverDefaultTheme
// answers it, setting `FLPopoverTheme::theme()` first when none was set.
// Each new popover takes the default theme and copies the proxy's values back
// into it (FLPopoverThemeCopyFromAppearance), so colours that screens set on
// the proxy reach the shared theme; a property the proxy holds no value for is
// left as it is.
//
// FLPopoverThemeApplyToChrome copies a theme onto a chrome (every property
// above but overlayColor, which belongs to the overlay) without redrawing it.
//
// Main thread only.
#include "ui/popover/FLPopoverBackgroundView.h"
#include "ui/popover/FLPopoverTheme.h"

void FLPopoverSetDefaultTheme(const FLPopoverThemePtr& theme);
FLPopoverThemePtr FLPopoverDefaultTheme();
void FLPopoverThemeApplyToAppearance(const FLPopoverTheme& theme);
void FLPopoverThemeCopyFromAppearance(FLPopoverTheme& theme);
void FLPopoverThemeApplyToChrome(const FLPopoverTheme& theme, FLPopoverBackgroundView& chrome);
