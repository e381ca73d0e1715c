#pragma once
// An item of a navigation bar or toolbar: a title or image with a target and
// action, or a custom view. `view` is the view that shows the item on screen
// (the custom view, else the button the bar made for it); null while the item
// is on no bar. Anchoring a popover on an item means anchoring on that view.
//
// Main thread only.
#include <functional>
#include <memory>
#include <string>

#include "platform/foundation/NSObject.h"
#include "platform/uikit/UIImage.h"

class UIView;

class UIBarButtonItem : public NSObject {
public:
    using Action = std::function<void(UIBarButtonItem&)>;

    UIBarButtonItem() = default;
    static std::shared_ptr<UIBarButtonItem> initWithTitle(const std::string& title, Action action = {});
    static std::shared_ptr<UIBarButtonItem> initWithImage(UIImagePtr image, Action action = {});
    static std::shared_ptr<UIBarButtonItem> initWithCustomView(const std::shared_ptr<UIView>& view);

    const std::string& title() const { return title_; }
    void setTitle(std::string title) { title_ = std::move(title); }
    const UIImagePtr& image() const { return image_; }
    void setImage(UIImagePtr image) { image_ = std::move(image); }
    bool isEnabled() const { return enabled_; }
    void setEnabled(bool enabled) { enabled_ = enabled; }
    void setAction(Action action) { action_ = std::move(action); }
    // Runs the action (as a tap on the item's view does) when enabled.
    void sendAction();

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
    std::shared_ptr<UIView> customView_;
    std::weak_ptr<UIView> view_;
};
using UIBarButtonItemPtr = std::shared_ptr<UIBarButtonItem>;
