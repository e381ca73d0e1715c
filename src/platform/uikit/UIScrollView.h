#pragma once
// A view that scrolls its content: contentOffset is the bounds' origin, the
// content reaches contentSize, and contentInset adds room around it. Each set
// of contentOffset, contentInset and contentSize is announced to key-value
// observers under that name, even when the value does not change, and a
// changed offset tells the delegate scrollViewDidScroll.
//
// The drag driver stands in for a finger: beginDragging, dragToContentOffset
// (the offset follows the finger, past the edges too), endDragging (release,
// with a velocity in points per second; the offset is announced once more,
// no longer dragged), after which the view settles: an
// offset outside the allowed range (or a velocity) decelerates to the nearest
// allowed offset over kScrollViewSettleDuration seconds of Clock time, with
// isDecelerating set meanwhile. Flags: isTracking from begin to release,
// isDragging from the first move to release, isDecelerating while settling.
// Touches that reach the scroll view (on it, or passed up from subviews that
// do not handle them) drive the same steps: a touch down begins dragging, each
// move drags the content with the finger (across only when the content is
// wider than the view or it always bounces horizontally; the same down), and
// lifting releases it with the finger's last speed.
// A wheel turn (scrollByWheel) has no finger to pull the content past its
// edges: the content moves at once, held to the allowed offsets, as a drag
// that is let go at rest. The delegate and observers see it dragged, then
// released, and nothing settles; at the end of the content a further turn is
// again a drag that stops there.
// An inset set inside a view animation block is recorded under "contentInset"
// (the insets as a rectangle: origin top and left, size bottom and right).
// A new inset at rest (not tracking, settling or scrolling animated) moves an
// offset outside the allowed range back into it.
//
// Main thread only.
#include <memory>

#include "platform/uikit/UIEdgeInsets.h"
#include "platform/uikit/UIEvent.h"
#include "platform/uikit/UIView.h"

class UIScrollView;
class NSTimer;

inline constexpr double kScrollViewSettleDuration = 0.35;

class UIScrollViewDelegate {
public:
    virtual ~UIScrollViewDelegate() = default;
    virtual void scrollViewDidScroll(UIScrollView& /*scrollView*/) {}
    virtual void scrollViewWillBeginDragging(UIScrollView& /*scrollView*/) {}
    // targetContentOffset may be changed to land elsewhere.
    virtual void scrollViewWillEndDragging(UIScrollView& /*scrollView*/, CGPoint /*velocity*/,
                                           CGPoint& /*targetContentOffset*/) {}
    virtual void scrollViewDidEndDragging(UIScrollView& /*scrollView*/, bool /*willDecelerate*/) {}
    virtual void scrollViewWillBeginDecelerating(UIScrollView& /*scrollView*/) {}
    virtual void scrollViewDidEndDecelerating(UIScrollView& /*scrollView*/) {}
    virtual void scrollViewDidEndScrollingAnimation(UIScrollView& /*scrollView*/) {}
};

class UIScrollView : public UIView {
public:
    explicit UIScrollView(CGRect frame = CGRectZero);
    ~UIScrollView() override;

    CGPoint contentOffset() const { return bounds().origin; }
    void setContentOffset(CGPoint offset);
    // Animated: the offset moves over kScrollViewSettleDuration of Clock time,
    // then the delegate hears scrollViewDidEndScrollingAnimation.
    void setContentOffset(CGPoint offset, bool animated);
    CGSize contentSize() const { return contentSize_; }
    void setContentSize(CGSize size);
    UIEdgeInsets contentInset() const { return contentInset_; }
    void setContentInset(UIEdgeInsets inset);
    UIEdgeInsets scrollIndicatorInsets() const { return indicatorInsets_; }
    void setScrollIndicatorInsets(UIEdgeInsets inset) { indicatorInsets_ = inset; }

    std::shared_ptr<UIScrollViewDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(const std::shared_ptr<UIScrollViewDelegate>& delegate) { delegate_ = delegate; }

    bool isScrollEnabled() const { return scrollEnabled_; }
    void setScrollEnabled(bool enabled) { scrollEnabled_ = enabled; }
    bool bounces() const { return bounces_; }
    void setBounces(bool value) { bounces_ = value; }
    bool alwaysBounceVertical() const { return alwaysBounceVertical_; }
    void setAlwaysBounceVertical(bool value) { alwaysBounceVertical_ = value; }
    bool alwaysBounceHorizontal() const { return alwaysBounceHorizontal_; }
    void setAlwaysBounceHorizontal(bool value) { alwaysBounceHorizontal_ = value; }
    bool showsVerticalScrollIndicator() const { return showsVertical_; }
    void setShowsVerticalScrollIndicator(bool value) { showsVertical_ = value; }
    bool showsHorizontalScrollIndicator() const { return showsHorizontal_; }
    void setShowsHorizontalScrollIndicator(bool value) { showsHorizontal_ = value; }
    bool scrollsToTop() const { return scrollsToTop_; }
    void setScrollsToTop(bool value) { scrollsToTop_ = value; }

    bool isTracking() const { return tracking_; }
    bool isDragging() const { return dragging_; }
    bool isDecelerating() const { return decelerating_; }

    // The allowed offsets: from (-inset.left, -inset.top) to the content's end
    // plus the bottom/right inset, less the bounds' size (never below the start).
    CGPoint minimumContentOffset() const;
    CGPoint maximumContentOffset() const;
    CGPoint clampedContentOffset(CGPoint offset) const;

    // Drag driver (see the header comment). Beginning stops any settling.
    void beginDragging();
    void dragToContentOffset(CGPoint offset);
    void endDragging(CGPoint velocity = CGPointZero);
    // A wheel turn moving the content by the delta (as a finger's move would:
    // up is negative), along the axes touches move it. A
    // view being dragged or scrolling disabled takes no turn (false).
    bool scrollByWheel(CGSize delta);

    void touchesBegan(const UITouchSet& touches, UIEvent* event) override;
    void touchesMoved(const UITouchSet& touches, UIEvent* event) override;
    void touchesEnded(const UITouchSet& touches, UIEvent* event) override;
    void touchesCancelled(const UITouchSet& touches, UIEvent* event) override;

private:
    void animateOffset(CGPoint target, bool decelerating);
    void stopAnimation();
    void finishAnimation(bool decelerating);
    CGSize contentSize_{};
    UIEdgeInsets contentInset_{};
    UIEdgeInsets indicatorInsets_{};
    std::weak_ptr<UIScrollViewDelegate> delegate_;
    bool scrollEnabled_ = true;
    bool bounces_ = true;
    bool alwaysBounceVertical_ = false;
    bool alwaysBounceHorizontal_ = false;
    bool showsVertical_ = true;
    bool showsHorizontal_ = true;
    bool scrollsToTop_ = true;
    bool tracking_ = false;
    bool dragging_ = false;
    bool decelerating_ = false;
    std::shared_ptr<NSTimer> animation_;
    // The finger: where it went down (in the window), the offset then, and its
    // last move for the release speed.
    struct Finger {
        CGPoint start{}, startOffset{}, last{};
        double lastTime = 0;
        CGPoint velocity{};
    } finger_;
    CGPoint fingerOffset(CGPoint inWindow) const;
    // Whether touches and the wheel move the content across, and down.
    bool scrollsAcross() const;
    bool scrollsDown() const;
};
