#pragma once
// Shared pieces of the popover chrome tests: a themed chrome with plain
// content placed in a window, and renders at scale 2.
#include <doctest/doctest.h>

#include <memory>

#include "platform/UIKitTestSupport.h"
#include "platform/uikit/UIAppearance.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIViewController.h"
#include "platform/uikit/UIWindow.h"
#include "ui/popover/FLPopoverBackgroundView.h"
#include "ui/popover/FLPopoverThemeAppearance.h"

namespace popovertest {

struct PlacedChrome {
    std::shared_ptr<FLPopoverBackgroundView> chrome;
    std::shared_ptr<UIViewController> content;
};

// A chrome of the theme for a content size, with its top-left corner at the
// origin in the window, its arrow pointing in the direction and shifted by the
// offset (through setArrowOffset), holding a white content view with a grey
// band at its top. The content's corners are rounded without a border, as a
// popover does.
inline PlacedChrome placeChrome(const std::shared_ptr<UIWindow>& window, const FLPopoverTheme& theme,
                                FLArrowDirection direction, CGSize contentSize, CGPoint origin,
                                CGFloat arrowOffset = 0) {
    PlacedChrome placed;
    placed.chrome = FLPopoverBackgroundView::initWithContentSize(contentSize);
    auto& chrome = *placed.chrome;
    window->addSubview(placed.chrome);  // takes any appearance-proxy values first
    FLPopoverThemeApplyToChrome(theme, chrome);
    chrome.setArrowDirection(direction);
    chrome.sizeToFit();
    chrome.setFrame(CGRect{origin, chrome.bounds().size});
    chrome.setArrowOffset(arrowOffset);
    placed.content = std::make_shared<UIViewController>();
    auto view = placed.content->view();
    view->setBackgroundColor(UIColor::whiteColor()->CGColor());
    auto band = std::make_shared<UIView>(CGRectMake(0, 0, contentSize.width, 12));
    band->setBackgroundColor(UIColor::colorWithWhite(0.8, 1)->CGColor());
    view->addSubview(band);
    chrome.setViewController(placed.content);
    view->setClipsToBounds(true);
    if (chrome.borderWidth() == 0) view->layer()->setCornerRadius(static_cast<CGFloat>(chrome.outerCornerRadius()));
    chrome.setNeedsDisplay();
    return placed;
}

inline CGImageRef render(const std::shared_ptr<UIWindow>& window) {
    window->layoutAndDisplayIfNeeded();
    return window->snapshotImage(2);
}

// Forgets appearance-proxy values for the length of a test.
struct CleanAppearance {
    CleanAppearance() { UIAppearanceReset(); }
    ~CleanAppearance() { UIAppearanceReset(); }
};

}  // namespace popovertest
