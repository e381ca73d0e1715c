#pragma once
// Shared pieces of the progress overlay tests: a window hosting an overlay on
// a patterned background, a delegate that records its calls, and renders.
#include <doctest/doctest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/UIKitTestSupport.h"
#include "platform/foundation/Clock.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIView.h"
#include "platform/uikit/UIWindow.h"
#include "ui/progresshud/LOProgressHUD.h"

namespace hudtest {

// Records each hudWasHidden with the Clock time it came at.
class RecordingDelegate : public LOProgressHUDDelegate {
public:
    void hudWasHidden(const std::shared_ptr<LOProgressHUD>& hud) override {
        hidden.push_back(hud.get());
        times.push_back(Clock::now());
    }
    std::vector<const LOProgressHUD*> hidden;
    std::vector<double> times;
};

// A visible window of the size with a few coloured bands, so that the
// overlay's transparency and dimming show.
inline std::shared_ptr<UIWindow> patternedWindow(CGSize size) {
    auto window = uikittest::visibleWindow(size, UIColor::colorWithWhite(0.93, 1)->CGColor());
    const UIColorPtr bands[] = {UIColor::colorWithRed(0.2, 0.5, 0.9, 1), UIColor::colorWithRed(0.95, 0.6, 0.2, 1),
                                UIColor::colorWithRed(0.3, 0.7, 0.4, 1)};
    for (int i = 0; i < 3; ++i) {
        auto band = std::make_shared<UIView>(CGRectMake(0, 20 + i * size.height / 3, size.width, 18));
        band->setBackgroundColor(bands[i]->CGColor());
        window->addSubview(band);
    }
    return window;
}

// The window after its layout and display passes, at scale 2.
inline CGImageRef render(const std::shared_ptr<UIWindow>& window) {
    window->layoutAndDisplayIfNeeded();
    return window->snapshotImage(2);
}

}  // namespace hudtest
