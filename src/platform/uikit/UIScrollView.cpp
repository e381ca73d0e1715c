#include "platform/uikit/UIScrollView.h"

#include <algorithm>
#include <cmath>

#include "platform/foundation/Clock.h"
#include "platform/runloop/NSRunLoop.h"

UIScrollView::UIScrollView(CGRect frame) : UIView(frame) { setClipsToBounds(true); }

UIScrollView::~UIScrollView() {
    if (animation_) animation_->invalidate();
}

void UIScrollView::setContentOffset(CGPoint offset) {
    if (!std::isfinite(offset.x) || !std::isfinite(offset.y)) return;
    willChangeValueForKey("contentOffset");
    CGRect b = bounds();
    bool moved = b.origin != offset;
    b.origin = offset;
    setBounds(b);
    didChangeValueForKey("contentOffset");
    if (moved)
        if (auto d = delegate()) d->scrollViewDidScroll(*this);
}

void UIScrollView::setContentOffset(CGPoint offset, bool animated) {
    if (!animated) {
        stopAnimation();
        setContentOffset(offset);
        return;
    }
    animateOffset(offset, false);
}

void UIScrollView::setContentSize(CGSize size) {
    willChangeValueForKey("contentSize");
    contentSize_ = size;
    didChangeValueForKey("contentSize");
}

void UIScrollView::setContentInset(UIEdgeInsets inset) {
    willChangeValueForKey("contentInset");
    auto asRect = [](const UIEdgeInsets& i) { return CGRectMake(i.top, i.left, i.bottom, i.right); };
    recordAnimatedChange("contentInset", asRect(contentInset_), asRect(inset));
    contentInset_ = inset;
    didChangeValueForKey("contentInset");
    // At rest, content left outside the new range moves back into it (with the
    // animation of the block the change was made in, if any).
    if (!tracking_ && !animation_) {
        CGPoint clamped = clampedContentOffset(contentOffset());
        if (clamped != contentOffset()) setContentOffset(clamped);
    }
}

CGPoint UIScrollView::minimumContentOffset() const { return {-contentInset_.left, -contentInset_.top}; }

CGPoint UIScrollView::maximumContentOffset() const {
    CGPoint min = minimumContentOffset();
    CGSize size = bounds().size;
    return {std::max(min.x, contentSize_.width + contentInset_.right - size.width),
            std::max(min.y, contentSize_.height + contentInset_.bottom - size.height)};
}

CGPoint UIScrollView::clampedContentOffset(CGPoint offset) const {
    CGPoint min = minimumContentOffset(), max = maximumContentOffset();
    return {std::clamp(offset.x, min.x, max.x), std::clamp(offset.y, min.y, max.y)};
}

// ---------------------------------------------------------------- drag driver

void UIScrollView::beginDragging() {
    if (!scrollEnabled_) return;
    if (animation_) {
        stopAnimation();
        decelerating_ = false;
    }
    tracking_ = true;
}

void UIScrollView::dragToContentOffset(CGPoint offset) {
    if (!tracking_) return;
    if (!dragging_) {
        dragging_ = true;
        if (auto d = delegate()) d->scrollViewWillBeginDragging(*this);
    }
    if (!bounces_) offset = clampedContentOffset(offset);
    setContentOffset(offset);
}

void UIScrollView::endDragging(CGPoint velocity) {
    if (!tracking_) return;
    bool wasDragging = dragging_;
    tracking_ = false;
    dragging_ = false;
    // The release is announced: observers of the offset see it no longer
    // dragged and may change the insets (and so where the content settles).
    if (wasDragging) setContentOffset(contentOffset());
    // Where a flick would carry the content: the velocity decays over a
    // fraction of a second.
    CGPoint target = clampedContentOffset(
        {contentOffset().x + velocity.x * 0.2, contentOffset().y + velocity.y * 0.2});
    if (wasDragging)
        if (auto d = delegate()) d->scrollViewWillEndDragging(*this, velocity, target);
    bool decelerate = wasDragging && target != contentOffset();
    if (wasDragging)
        if (auto d = delegate()) d->scrollViewDidEndDragging(*this, decelerate);
    if (!decelerate) return;
    decelerating_ = true;
    if (auto d = delegate()) d->scrollViewWillBeginDecelerating(*this);
    animateOffset(target, true);
}

bool UIScrollView::scrollByWheel(CGSize delta) {
    if (!scrollEnabled_ || tracking_ || !std::isfinite(delta.width) || !std::isfinite(delta.height)) return false;
    beginDragging();  // ends any settling, where the content stops
    const CGPoint offset = contentOffset();
    dragToContentOffset(clampedContentOffset(
        {offset.x - (scrollsAcross() ? delta.width : 0), offset.y - (scrollsDown() ? delta.height : 0)}));
    endDragging();
    return true;
}

void UIScrollView::animateOffset(CGPoint target, bool decelerating) {
    stopAnimation();
    CGPoint from = contentOffset();
    double start = Clock::now();
    std::weak_ptr<UIScrollView> weak = self<UIScrollView>();
    animation_ = NSTimer::timerWithTimeInterval(
        1.0 / 60,
        [weak, from, target, start, decelerating](NSTimer& timer) {
            auto me = weak.lock();
            if (!me) return timer.invalidate();
            double t = std::clamp((Clock::now() - start) / kScrollViewSettleDuration, 0.0, 1.0);
            double eased = 1 - (1 - t) * (1 - t);  // decelerating
            me->setContentOffset({from.x + (target.x - from.x) * eased, from.y + (target.y - from.y) * eased});
            if (t >= 1) me->finishAnimation(decelerating);
        },
        true);
    NSRunLoop::mainRunLoop()->addTimer(animation_, NSRunLoopCommonModes);
}

void UIScrollView::stopAnimation() {
    if (!animation_) return;
    animation_->invalidate();
    animation_.reset();
}

void UIScrollView::finishAnimation(bool decelerating) {
    stopAnimation();
    if (decelerating) {
        decelerating_ = false;
        if (auto d = delegate()) d->scrollViewDidEndDecelerating(*this);
    } else if (auto d = delegate()) {
        d->scrollViewDidEndScrollingAnimation(*this);
    }
}

// ---------------------------------------------------------------- touches

bool UIScrollView::scrollsAcross() const { return contentSize_.width > bounds().size.width || alwaysBounceHorizontal_; }

bool UIScrollView::scrollsDown() const { return contentSize_.height > bounds().size.height || alwaysBounceVertical_; }

CGPoint UIScrollView::fingerOffset(CGPoint p) const {
    return {finger_.startOffset.x - (scrollsAcross() ? p.x - finger_.start.x : 0),
            finger_.startOffset.y - (scrollsDown() ? p.y - finger_.start.y : 0)};
}

void UIScrollView::touchesBegan(const UITouchSet& touches, UIEvent*) {
    if (touches.empty() || !scrollEnabled_) return;
    const auto& t = *touches.begin();
    finger_ = {};
    finger_.start = finger_.last = t->locationInView(nullptr);
    finger_.startOffset = contentOffset();
    finger_.lastTime = t->timestamp();
    beginDragging();
}

void UIScrollView::touchesMoved(const UITouchSet& touches, UIEvent*) {
    if (touches.empty() || !tracking_) return;
    const auto& t = *touches.begin();
    CGPoint p = t->locationInView(nullptr);
    double dt = t->timestamp() - finger_.lastTime;
    if (dt > 0) finger_.velocity = {-(p.x - finger_.last.x) / dt, -(p.y - finger_.last.y) / dt};
    finger_.last = p;
    finger_.lastTime = t->timestamp();
    dragToContentOffset(fingerOffset(p));
}

void UIScrollView::touchesEnded(const UITouchSet& touches, UIEvent*) {
    if (touches.empty() || !tracking_) return;
    CGPoint offset = fingerOffset((*touches.begin())->locationInView(nullptr));
    if (dragging_ && offset != contentOffset()) dragToContentOffset(offset);
    endDragging(finger_.velocity);
}

void UIScrollView::touchesCancelled(const UITouchSet&, UIEvent*) {
    if (tracking_) endDragging();
}
