#include "platform/uikit/UIBarButtonItem.h"

#include "platform/uikit/UIControl.h"
#include "platform/uikit/UIView.h"

std::shared_ptr<UIBarButtonItem> UIBarButtonItem::initWithTitle(const std::string& title, Action action) {
    auto item = std::make_shared<UIBarButtonItem>();
    item->title_ = title;
    item->action_ = std::move(action);
    return item;
}

std::shared_ptr<UIBarButtonItem> UIBarButtonItem::initWithImage(UIImagePtr image, Action action) {
    auto item = std::make_shared<UIBarButtonItem>();
    item->image_ = std::move(image);
    item->action_ = std::move(action);
    return item;
}

std::shared_ptr<UIBarButtonItem> UIBarButtonItem::initWithCustomView(const std::shared_ptr<UIView>& view) {
    auto item = std::make_shared<UIBarButtonItem>();
    item->customView_ = view;
    return item;
}

std::shared_ptr<UIBarButtonItem> UIBarButtonItem::initWithBarButtonSystemItem(UIBarButtonSystemItem systemItem,
                                                                             Action action) {
    auto item = std::make_shared<UIBarButtonItem>();
    item->systemItem_ = systemItem;
    item->action_ = std::move(action);
    return item;
}

void UIBarButtonItem::setEnabled(bool enabled) {
    enabled_ = enabled;
    // The button a bar made for the item follows it (a custom view is the caller's).
    if (auto* control = dynamic_cast<UIControl*>(view_.lock().get()); control && !customView_)
        control->setEnabled(enabled);
}

void UIBarButtonItem::sendAction() {
    if (enabled_ && action_) action_(*this);
}

std::shared_ptr<UIView> UIBarButtonItem::view() const {
    if (customView_) return customView_;
    return view_.lock();
}
