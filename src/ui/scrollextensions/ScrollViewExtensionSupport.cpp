#include "ui/scrollextensions/ScrollViewExtensionSupport.h"

#include <cassert>
#include <cmath>

#include "platform/foundation/NSLog.h"
#include "platform/base/ThreadAssertions.h"

namespace scrollextension {

void attachWeakly(UIScrollView& scrollView, const void* key, const std::string& announcedKey,
                  const std::shared_ptr<UIView>& view) {
    QV_ASSERT_MAIN_THREAD();
    scrollView.willChangeValueForKey(announcedKey);
    std::shared_ptr<WeakAttachment> attachment;
    if (view) attachment = std::make_shared<WeakAttachment>(WeakAttachment{view});
    scrollView.setAssociatedObject(key, attachment);
    scrollView.didChangeValueForKey(announcedKey);
}

std::vector<std::size_t> perStateIndexes(std::uint64_t state, const char* owner, const char* entry) {
    if (state <= 2) return {static_cast<std::size_t>(state)};
    if (state == kAllStates) return {0, 1, 2};
    NSLog("%s: no %s for state %llu (the states are 0, 1 and 2, or 10 for all three); nothing changed", owner,
          entry, static_cast<unsigned long long>(state));
    return {};
}

CGPoint centredOrigin(CGSize container, CGSize size) {
    auto half = [](CGFloat outer, CGFloat inner) {
        return static_cast<CGFloat>(std::round(static_cast<float>((outer - inner) / 2)));
    };
    return {half(container.width, size.width), half(container.height, size.height)};
}

void animateContentInset(const std::shared_ptr<UIScrollView>& scrollView, UIEdgeInsets insets) {
    if (!scrollView) return;
    std::weak_ptr<UIScrollView> weak = scrollView;
    UIView::animateWithDuration(
        kContentInsetAnimationDuration, 0,
        UIViewAnimationOptionAllowUserInteraction | UIViewAnimationOptionBeginFromCurrentState,
        [weak, insets] {
            if (auto scroll = weak.lock()) scroll->setContentInset(insets);
        },
        {});
}

void ScrollViewObservation::startWith(UIScrollView& scrollView, const std::string& otherKey,
                                      std::function<void()> onOffset, std::function<void()> onOther) {
    QV_ASSERT_MAIN_THREAD();
    offset_ = scrollView.observeValueForKey("contentOffset", [onOffset](const std::string&) { onOffset(); });
    other_ = scrollView.observeValueForKey(otherKey, [onOther](const std::string&) { onOther(); });
    active_ = true;
}

void ScrollViewObservation::stop() {
    offset_.disconnect();
    other_.disconnect();
    active_ = false;
}

}  // namespace scrollextension
