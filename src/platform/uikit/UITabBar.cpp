#include "platform/uikit/UITabBar.h"

#include <algorithm>
#include <cmath>

#include "platform/graphics/CGColor.h"
#include "platform/uikit/UIGraphics.h"
#include "platform/uikit/UITabBarButton.h"
#include "platform/uikit/UITabBarItem.h"

UITabBar::UITabBar(CGRect frame) : UIView(frame) {
    setOpaque(false);
    setBackgroundColor(nullptr);
}

void UITabBar::setItems(std::vector<std::shared_ptr<UITabBarItem>> items) {
    items_ = std::move(items);
    if (auto sel = selectedItem_.lock(); sel && std::find(items_.begin(), items_.end(), sel) == items_.end())
        selectedItem_.reset();
    for (auto& button : buttons_) button->removeFromSuperview();
    buttons_.clear();
    std::weak_ptr<UITabBar> weak = self<UITabBar>();
    for (auto& item : items_) {
        auto button = std::make_shared<UITabBarButton>();
        button->setItem(item);
        button->setSelected(item == selectedItem_.lock());
        std::weak_ptr<UITabBarItem> weakItem = item;
        button->addTarget(
            nullptr,
            [weak, weakItem](UIControl&, UIEvent*) {
                auto bar = weak.lock();
                auto tapped = weakItem.lock();
                if (bar && tapped) bar->itemTapped(tapped);
            },
            UIControlEventTouchUpInside);
        addSubview(button);
        buttons_.push_back(button);
    }
    setNeedsLayout();
}

std::shared_ptr<UITabBarItem> UITabBar::itemAtIndex(std::size_t index) const {
    return index < items_.size() ? items_[index] : nullptr;
}

void UITabBar::setSelectedItem(const std::shared_ptr<UITabBarItem>& item) {
    if (item && std::find(items_.begin(), items_.end(), item) == items_.end()) return;
    selectedItem_ = item;
    for (auto& button : buttons_) button->setSelected(item && button->item() == item);
}

std::shared_ptr<UITabBarButton> UITabBar::buttonForItem(const std::shared_ptr<UITabBarItem>& item) const {
    for (auto& button : buttons_)
        if (item && button->item() == item) return button;
    return nullptr;
}

void UITabBar::setBarTintColor(CGColorRef color) {
    barTintColor_ = std::move(color);
    setNeedsDisplay();
}

void UITabBar::itemTapped(const std::shared_ptr<UITabBarItem>& item) {
    if (!item->isEnabled()) return;
    auto keep = self<UITabBar>();
    setSelectedItem(item);
    if (auto delegate = delegate_.lock()) delegate->didSelectItem(*this, item);
}

void UITabBar::layoutSubviews() {
    if (buttons_.empty()) return;
    const CGRect b = bounds();
    const CGFloat width = b.size.width / static_cast<CGFloat>(buttons_.size());
    for (std::size_t i = 0; i < buttons_.size(); ++i) {
        const CGFloat x = std::round(width * static_cast<CGFloat>(i));
        const CGFloat next = std::round(width * static_cast<CGFloat>(i + 1));
        buttons_[i]->setFrame(CGRectMake(x, 0, next - x, b.size.height));
    }
}

void UITabBar::drawRect(CGRect) {
    auto c = UIGraphicsGetCurrentContext();
    if (!c) return;
    const CGRect b = bounds();
    CGContextSetFillColorWithColor(c, barTintColor_ ? barTintColor_ : CGColorCreateSRGB(0.97, 0.97, 0.97, 1));
    CGContextFillRect(c, b);
    CGContextSetFillColorWithColor(c, CGColorCreateSRGB(0, 0, 0, 0.3));
    CGContextFillRect(c, CGRectMake(0, 0, b.size.width, 0.5));
}
