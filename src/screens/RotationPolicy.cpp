#include "screens/RotationPolicy.h"

#include "platform/base/ThreadAssertions.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UIRotationPolicy.h"
#include "screens/ScreenStyle.h"

namespace {

// The controller a navigation controller hands the question to; null for any
// other controller and for a navigation controller with nothing on its stack.
std::shared_ptr<UIViewController> askedInstead(const UIViewController& controller) {
    const auto* navigation = dynamic_cast<const UINavigationController*>(&controller);
    return navigation ? navigation->topViewController() : nullptr;
}

}  // namespace

void installRotationPolicy() {
    QV_ASSERT_MAIN_THREAD();
    UIRotationPolicy policy;
    policy.supportedInterfaceOrientations = [](const UIViewController& controller) {
        if (auto top = askedInstead(controller)) return top->supportedInterfaceOrientations();
        return isTablet() ? UIInterfaceOrientationMaskAll : UIInterfaceOrientationMaskPortrait;
    };
    policy.shouldAutorotate = [](const UIViewController& controller) {
        if (auto top = askedInstead(controller)) return top->shouldAutorotate();
        return true;
    };
    policy.shouldAutorotateToInterfaceOrientation = [](const UIViewController& controller,
                                                       UIInterfaceOrientation orientation) {
        if (auto top = askedInstead(controller)) return top->shouldAutorotateToInterfaceOrientation(orientation);
        return true;
    };
    UIRotationPolicy::install(std::move(policy));
}
