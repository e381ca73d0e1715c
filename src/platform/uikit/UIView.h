#pragma once
// A rectangle in a tree of views. Frames are in the superview's coordinates;
// bounds keep the view's own origin and its size.
#include <memory>
#include <vector>

#include "platform/graphics/CGGeometry.h"
#include "platform/uikit/UIResponder.h"

class UIViewController;
class UIWindow;

class UIView : public UIResponder {
public:
    explicit UIView(CGRect frame = CGRectZero);
    ~UIView() override;

    CGRect frame() const { return frame_; }
    void setFrame(CGRect frame);
    CGRect bounds() const { return bounds_; }
    void setBounds(CGRect bounds);  // keeps the centre
    CGPoint center() const;
    void setCenter(CGPoint center);

    bool isHidden() const { return hidden_; }
    void setHidden(bool hidden) { hidden_ = hidden; }
    CGFloat alpha() const { return alpha_; }
    void setAlpha(CGFloat alpha) { alpha_ = std::clamp(alpha, 0.0, 1.0); }
    long tag() const { return tag_; }
    void setTag(long tag) { tag_ = tag; }
    bool isUserInteractionEnabled() const { return userInteractionEnabled_; }
    void setUserInteractionEnabled(bool enabled) { userInteractionEnabled_ = enabled; }

    // The tree. A view added elsewhere leaves its former superview first; adding
    // a view to itself or to one of its own descendants is refused.
    std::shared_ptr<UIView> superview() const { return superview_.lock(); }
    const std::vector<std::shared_ptr<UIView>>& subviews() const { return subviews_; }
    void addSubview(const std::shared_ptr<UIView>& view);
    void insertSubview(const std::shared_ptr<UIView>& view, std::size_t atIndex);
    void removeFromSuperview();
    void bringSubviewToFront(const std::shared_ptr<UIView>& view);
    bool isDescendantOfView(const UIView* view) const;
    // This view or the first descendant (depth first) with the tag.
    std::shared_ptr<UIView> viewWithTag(long tag);
    // The window the view is in, if any.
    virtual std::shared_ptr<UIWindow> window() const;

    // Coordinate conversion between views of one tree (no transforms): a point in
    // this view's bounds to the other view's, and back. A null view stands for the
    // root of this view's tree (its window, when it is in one).
    CGPoint convertPointToView(CGPoint point, const UIView* view) const;
    CGPoint convertPointFromView(CGPoint point, const UIView* view) const;
    CGRect convertRectToView(CGRect rect, const UIView* view) const;
    CGRect convertRectFromView(CGRect rect, const UIView* view) const;

    // Layout: setNeedsLayout marks the view; layoutIfNeeded lays out marked views
    // of the subtree, calling layoutSubviews on each.
    void setNeedsLayout() { needsLayout_ = true; }
    bool needsLayout() const { return needsLayout_; }
    void layoutIfNeeded();
    virtual void layoutSubviews() {}

    // Hooks for subclasses around moves in the tree.
    virtual void willMoveToSuperview(const std::shared_ptr<UIView>&) {}
    virtual void didMoveToSuperview() {}
    virtual void didAddSubview(const std::shared_ptr<UIView>&) {}
    virtual void willRemoveSubview(const std::shared_ptr<UIView>&) {}

    // The root view of a view controller answers the controller as next responder;
    // any other view its superview.
    std::shared_ptr<UIResponder> nextResponder() const override;

private:
    friend class UIViewController;
    CGRect frame_;
    CGRect bounds_;
    bool hidden_ = false;
    CGFloat alpha_ = 1;
    long tag_ = 0;
    bool userInteractionEnabled_ = true;
    bool needsLayout_ = true;
    std::weak_ptr<UIView> superview_;
    std::vector<std::shared_ptr<UIView>> subviews_;
    std::weak_ptr<UIViewController> viewController_;  // set when this is a controller's root view
};
