#pragma once
// What the pull-to-refresh header and the infinite-scrolling footer share as
// extensions of a scroll view:
// - a weak attachment: the scroll view keeps its header or footer under a
//   private key without owning it (the subview relationship owns it), so a
//   view that is gone reads as none instead of dangling;
// - the per-state entries (titles, subtitles, custom views): states 0, 1 and
//   2 have one entry each, and 10 stands for all three; any other state
//   changes nothing and says so on the console;
// - centring a view in another, origin rounded to whole points;
// - the animated change of a scroll view's insets (0.3 s, no delay, allowing
//   user interaction and beginning from the current state);
// - the observation of the scroll view, as tokens owned by the view.
//
// Main thread only.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/uikit/UIEdgeInsets.h"
#include "platform/uikit/UIScrollView.h"

namespace scrollextension {

// The value kept under the key: a weak reference to the attached view.
struct WeakAttachment {
    std::weak_ptr<UIView> view;
};

// Attaches (or, with null, detaches) the view under the key, announcing a
// change of `announcedKey` to the scroll view's observers.
void attachWeakly(UIScrollView& scrollView, const void* key, const std::string& announcedKey,
                  const std::shared_ptr<UIView>& view);
// The attached view while it lives, else null.
template <class T>
std::shared_ptr<T> attachedView(const UIScrollView& scrollView, const void* key) {
    auto attachment = scrollView.associated<WeakAttachment>(key);
    if (!attachment) return nullptr;
    return std::dynamic_pointer_cast<T>(attachment->view.lock());
}

// The state value standing for 0, 1 and 2 at once in the per-state setters.
inline constexpr std::uint64_t kAllStates = 10;

// The indexes a per-state setter writes: {state} for 0, 1 and 2, {0, 1, 2}
// for 10, and none (with a console line naming the owner and the entry) for
// any other state.
std::vector<std::size_t> perStateIndexes(std::uint64_t state, const char* owner, const char* entry);

// The origin that centres a view of `size` in `container` (each half
// difference rounded to the nearest whole point, in single precision).
CGPoint centredOrigin(CGSize container, CGSize size);

// Sets the insets inside a 0.3 s animation (options 2 and 4).
void animateContentInset(const std::shared_ptr<UIScrollView>& scrollView, UIEdgeInsets insets);

inline constexpr double kContentInsetAnimationDuration = 0.3;

// The two observations an extension view keeps of its scroll view: its
// "contentOffset" (the handler gets the new offset) and one more property.
// The tokens live here, so the observations end with this object, on stop(),
// or when the scroll view goes away; the handlers run only while both the
// scroll view and the view that owns this object live.
class ScrollViewObservation {
public:
    template <class V>
    void start(const std::shared_ptr<UIScrollView>& scrollView, const std::weak_ptr<V>& view,
               void (V::*onOffset)(CGPoint), const std::string& otherKey, void (V::*onOther)()) {
        std::weak_ptr<UIScrollView> weakScroll = scrollView;
        startWith(*scrollView, otherKey,
                  [view, weakScroll, onOffset] {
                      auto v = view.lock();
                      auto s = weakScroll.lock();
                      if (v && s) (v.get()->*onOffset)(s->contentOffset());
                  },
                  [view, onOther] {
                      if (auto v = view.lock()) (v.get()->*onOther)();
                  });
    }
    void stop();
    bool active() const { return active_; }

private:
    void startWith(UIScrollView& scrollView, const std::string& otherKey, std::function<void()> onOffset,
                   std::function<void()> onOther);
    ObservationToken offset_;
    ObservationToken other_;
    bool active_ = false;
};

}  // namespace scrollextension
