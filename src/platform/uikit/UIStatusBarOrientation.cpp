#include "platform/uikit/UIStatusBarOrientation.h"

#include <mutex>

#include "platform/uikit/UIScreen.h"

namespace {
std::mutex providerMutex;
std::function<UIInterfaceOrientation()> provider;
}  // namespace

namespace UIStatusBar {

UIInterfaceOrientation statusBarOrientation() {
    std::function<UIInterfaceOrientation()> source;
    {
        std::lock_guard<std::mutex> lock(providerMutex);
        source = provider;
    }
    return source ? source() : UIApplication::sharedApplication()->statusBarOrientation();
}

void setStatusBarOrientation(UIInterfaceOrientation orientation) {
    UIApplication::sharedApplication()->setStatusBarOrientation(orientation);
}

void setOrientationProvider(std::function<UIInterfaceOrientation()> p) {
    std::lock_guard<std::mutex> lock(providerMutex);
    provider = std::move(p);
}

}  // namespace UIStatusBar

namespace UIScreenGeometry {

CGRect interfaceBounds(const UIScreen& screen, int systemMajor) {
    CGRect bounds = CGRectStandardize(screen.portraitBounds());
    if (systemMajor >= 8 && UIInterfaceOrientationIsLandscape(UIStatusBar::statusBarOrientation())) {
        std::swap(bounds.size.width, bounds.size.height);
    }
    return bounds;
}

CGRect applicationFrame(const UIScreen& screen, int systemMajor) {
    CGRect frame = interfaceBounds(screen, systemMajor);
    const bool landscape = UIInterfaceOrientationIsLandscape(UIStatusBar::statusBarOrientation());
    if (landscape && systemMajor < 8) {
        // Portrait terms: the status bar takes a strip along the long side.
        frame.origin.x += UIStatusBar::kStatusBarHeight;
        frame.size.width -= UIStatusBar::kStatusBarHeight;
    } else {
        frame.origin.y += UIStatusBar::kStatusBarHeight;
        frame.size.height -= UIStatusBar::kStatusBarHeight;
    }
    return frame;
}

CGSize currentModeSize(const UIScreen& screen) {
    const CGRect bounds = CGRectStandardize(screen.portraitBounds());
    return CGSizeMake(bounds.size.width * screen.scale(), bounds.size.height * screen.scale());
}

}  // namespace UIScreenGeometry
