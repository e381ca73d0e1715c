// The sizes a view controller gives to containers, their observation and the
// hooks that extensions hang after their setters.
#include <cassert>
#include <mutex>
#include <vector>

#include "platform/base/ThreadAssertions.h"
#include "platform/uikit/UIOptionalOperations.h"
#include "platform/uikit/UIViewController.h"

namespace {
std::mutex hookMutex;
std::vector<UIViewController::ContentSizeHook>& preferredHooks() {
    static auto* hooks = new std::vector<UIViewController::ContentSizeHook>();
    return *hooks;
}
std::vector<UIViewController::ContentSizeHook>& popoverHooks() {
    static auto* hooks = new std::vector<UIViewController::ContentSizeHook>();
    return *hooks;
}
std::vector<UIViewController::ContentSizeHook> snapshot(const std::vector<UIViewController::ContentSizeHook>& list) {
    std::lock_guard lock(hookMutex);
    return list;
}
}  // namespace

void UIViewController::addPreferredContentSizeHook(ContentSizeHook hook) {
    std::lock_guard lock(hookMutex);
    preferredHooks().push_back(std::move(hook));
}

void UIViewController::addContentSizeForViewInPopoverHook(ContentSizeHook hook) {
    std::lock_guard lock(hookMutex);
    popoverHooks().push_back(std::move(hook));
}

void UIViewController::setPreferredContentSize(CGSize size) {
    QV_ASSERT_MAIN_THREAD();
    willChangeValueForKey("preferredContentSize");
    preferredContentSize_ = size;
    didChangeValueForKey("preferredContentSize");
    for (auto& hook : snapshot(preferredHooks())) hook(*this, size);
}

void UIViewController::setContentSizeForViewInPopover(CGSize size) {
    QV_ASSERT_MAIN_THREAD();
    willChangeValueForKey("contentSizeForViewInPopover");
    contentSizeForViewInPopover_ = size;
    didChangeValueForKey("contentSizeForViewInPopover");
    for (auto& hook : snapshot(popoverHooks())) hook(*this, size);
}

bool UIViewController::respondsToPreferredContentSize() const { return UIViewControllerRespondsToPreferredContentSize(); }

bool UIViewController::respondsToEdgesForExtendedLayout() const {
    return UIViewControllerRespondsToEdgesForExtendedLayout();
}
