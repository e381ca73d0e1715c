#include "ui/popover/FLPopoverControllerExtensions.h"

#include <mutex>

#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UIViewController.h"

namespace {
const char kEmbedInPopoverKey[] = "UINavigationControllerEmbedInPopoverTagKey";

void turnOffExtendedLayout(UIViewController& controller) {
    if (controller.respondsToEdgesForExtendedLayout()) controller.setEdgesForExtendedLayout(UIRectEdgeNone);
}

// Push: the pushed controller's size becomes the navigation controller's
// before and after the platform's own push.
void sizzledPush(UINavigationController& navigation, const std::shared_ptr<UIViewController>& controller,
                 bool /*animated*/, const std::function<void()>& original) {
    using Ext = UINavigationControllerFLPopover;
    if (controller && Ext::isEmbedInPopover(navigation)) {
        turnOffExtendedLayout(*controller);
        Ext::setContentSize(navigation, Ext::contentSize(*controller));
    }
    original();
    if (controller && Ext::isEmbedInPopover(navigation))
        Ext::setContentSize(navigation, Ext::contentSize(*controller));
}

void sizzledSetViewControllers(UINavigationController& navigation, const UINavigationController::ControllerList& list,
                               bool /*animated*/, const std::function<void()>& original) {
    using Ext = UINavigationControllerFLPopover;
    if (!list.empty() && Ext::isEmbedInPopover(navigation))
        for (auto& c : list)
            if (c) turnOffExtendedLayout(*c);
    original();
    if (!list.empty() && list.back() && Ext::isEmbedInPopover(navigation))
        Ext::setContentSize(navigation, Ext::contentSize(*list.back()));
}

// After a child's setter: the navigation controller it sits in takes the size
// too (its own setter runs the hook again and stops there: it is a navigation
// controller).
void afterSetContentSizeForViewInPopover(UIViewController& controller, CGSize size) {
    if (dynamic_cast<UINavigationController*>(&controller)) return;
    if (auto navigation = controller.navigationController()) navigation->setContentSizeForViewInPopover(size);
}

void afterSetPreferredContentSize(UIViewController& controller, CGSize size) {
    if (dynamic_cast<UINavigationController*>(&controller)) return;
    auto navigation = controller.navigationController();
    if (navigation && controller.respondsToPreferredContentSize()) navigation->setPreferredContentSize(size);
}
}  // namespace

bool UINavigationControllerFLPopover::isEmbedInPopover(const UINavigationController& navigation) {
    auto mark = navigation.associated<bool>(kEmbedInPopoverKey);
    return mark && *mark;
}

void UINavigationControllerFLPopover::setEmbedInPopover(UINavigationController& navigation, bool embedded) {
    navigation.setAssociatedObject(kEmbedInPopoverKey, std::make_shared<bool>(embedded));
}

CGSize UINavigationControllerFLPopover::contentSize(const UIViewController& controller) {
    CGSize size = controller.contentSizeForViewInPopover();
    if (controller.respondsToPreferredContentSize()) size = controller.preferredContentSize();
    return size;
}

void UINavigationControllerFLPopover::setContentSize(UINavigationController& navigation, CGSize size) {
    navigation.setContentSizeForViewInPopover(size);
    if (navigation.respondsToPreferredContentSize()) navigation.setPreferredContentSize(size);
}

void FLPopoverInstallControllerExtensions() {
    static std::once_flag once;
    std::call_once(once, [] {
        UINavigationController::addPushAroundHook(sizzledPush);
        UINavigationController::addSetViewControllersAroundHook(sizzledSetViewControllers);
        UIViewController::addContentSizeForViewInPopoverHook(afterSetContentSizeForViewInPopover);
        UIViewController::addPreferredContentSizeHook(afterSetPreferredContentSize);
    });
}
