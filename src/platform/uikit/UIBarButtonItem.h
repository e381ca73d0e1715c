#pragma once
// An item of a navigation bar or toolbar: a title or image with a target and
// action, a system item, or a custom view. `view` is the view that shows the
// item on screen (the custom view, else the button the bar made for it); null
// while the item is on no bar. Anchoring a popover on an item means anchoring
// on that view.
//
// System items drawn by the toolbar: Done (the text "Done", bold in the done
// style), FlexibleSpace (no view: the bar shares its free width among them),
// Action (a box with an arrow out of its top) and Refresh (a circular arrow).
// `width` 0 lets the item take its content's width. The accessibility label
// and element flag go to the item's view on the bar.
//
// Main thread only.
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/NSObject.h"
#include "platform/graphics/CGGeometry.h"
#include "platform/uikit/UIImage.h"

class UIView;

enum UIBarButtonSystemItem : long {
    UIBarButtonSystemItemDone = 0,
    UIBarButtonSystemItemFlexibleSpace = 5,
    UIBarButtonSystemItemAction = 9,
    UIBarButtonSystemItemRefresh = 13,
};

enum UIBarButtonItemStyle : long {
    UIBarButtonItemStylePlain = 0,
    UIBarButtonItemStyleBordered = 1,
    UIBarButtonItemStyleDone = 2,
};

class UIBarButtonItem : public NSObject {
public:
    using Action = std::function<void(UIBarButtonItem&)>;

    UIBarButtonItem() = default;
    static std::shared_ptr<UIBarButtonItem> initWithTitle(const std::string& title, Action action = {});
    static std::shared_ptr<UIBarButtonItem> initWithImage(UIImagePtr image, Action action = {});
    static std::shared_ptr<UIBarButtonItem> initWithCustomView(const std::shared_ptr<UIView>& view);
    static std::shared_ptr<UIBarButtonItem> initWithBarButtonSystemItem(UIBarButtonSystemItem item, Action action = {});

    const std::string& title() const { return title_; }
    void setTitle(std::string title) { title_ = std::move(title); }
    const UIImagePtr& image() const { return image_; }
    void setImage(UIImagePtr image) { image_ = std::move(image); }
    bool isEnabled() const { return enabled_; }
    // Also the enabled state of the item's view on a bar.
    void setEnabled(bool enabled);
    void setAction(Action action) { action_ = std::move(action); }
    // Runs the action (as a tap on the item's view does) when enabled.
    void sendAction();

    const std::optional<UIBarButtonSystemItem>& systemItem() const { return systemItem_; }
    bool isFlexibleSpace() const { return systemItem_ == UIBarButtonSystemItemFlexibleSpace; }
    UIBarButtonItemStyle style() const { return style_; }
    void setStyle(UIBarButtonItemStyle style) { style_ = style; }
    CGFloat width() const { return width_; }
    void setWidth(CGFloat width) { width_ = width; }
    const std::string& accessibilityLabel() const { return accessibilityLabel_; }
    void setAccessibilityLabel(std::string label) { accessibilityLabel_ = std::move(label); }
    bool isAccessibilityElement() const { return accessibilityElement_; }
    void setIsAccessibilityElement(bool element) { accessibilityElement_ = element; }

    const std::shared_ptr<UIView>& customView() const { return customView_; }
    void setCustomView(std::shared_ptr<UIView> view) { customView_ = std::move(view); }
    // The custom view, else the view the bar shows the item with.
    std::shared_ptr<UIView> view() const;
    // Set by the bar that lays the item out (cleared when it leaves the bar).
    void setView(const std::shared_ptr<UIView>& view) { view_ = view; }

private:
    std::string title_;
    UIImagePtr image_;
    bool enabled_ = true;
    Action action_;
    std::optional<UIBarButtonSystemItem> systemItem_;
    UIBarButtonItemStyle style_ = UIBarButtonItemStylePlain;
    CGFloat width_ = 0;
    std::string accessibilityLabel_;
    bool accessibilityElement_ = false;
    std::shared_ptr<UIView> customView_;
    std::weak_ptr<UIView> view_;
};
using UIBarButtonItemPtr = std::shared_ptr<UIBarButtonItem>;
