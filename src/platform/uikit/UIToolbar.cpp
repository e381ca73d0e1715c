#include "platform/uikit/UIToolbar.h"

#include <algorithm>
#include <cmath>

UIToolbar::UIToolbar(CGRect frame) : UIView(frame) { updateBackground(); }

void UIToolbar::setBarStyle(UIBarStyle style) {
    barStyle_ = style;
    updateBackground();
}

void UIToolbar::setBarTintColor(CGColorRef color) {
    barTintColor_ = std::move(color);
    updateBackground();
}

void UIToolbar::setTranslucent(bool translucent) {
    translucent_ = translucent;
    updateBackground();
}

void UIToolbar::updateBackground() {
    double r = 0.97, g = 0.97, b = 0.97, a = 1;
    if (barStyle_ == UIBarStyleBlack) r = g = b = 0.1;
    if (barTintColor_) barTintColor_->getRGBA(r, g, b, a);
    if (translucent_) a *= kTranslucentAlpha;
    setOpaque(!translucent_);
    setBackgroundColor(CGColorCreateSRGB(r, g, b, a));
}

void UIToolbar::setItems(std::vector<UIBarButtonItemPtr> items, bool /*animated*/) {
    for (const auto& old : items_) {
        if (std::ranges::find(items, old) != items.end()) continue;
        if (auto view = old->view(); view && view->superview().get() == this) view->removeFromSuperview();
        old->setView(nullptr);
    }
    items_ = std::move(items);
    for (const auto& item : items_) {
        if (item->isFlexibleSpace()) continue;
        auto view = viewForItem(item);
        if (view->superview().get() != this) addSubview(view);
    }
    setNeedsLayout();
}

std::shared_ptr<UIView> UIToolbar::viewForItem(const UIBarButtonItemPtr& item) {
    if (item->customView()) return item->customView();
    if (auto existing = std::dynamic_pointer_cast<UIToolbarButton>(item->view())) {
        existing->setEnabled(item->isEnabled());
        existing->setAccessibilityLabel(item->accessibilityLabel());
        existing->setIsAccessibilityElement(item->isAccessibilityElement());
        return existing;
    }
    auto button = std::make_shared<UIToolbarButton>(item);
    item->setView(button);
    return button;
}

void UIToolbar::layoutSubviews() {
    UIView::layoutSubviews();
    const CGRect b = bounds();
    // Widths first: fixed ones and the count of flexible spaces.
    std::vector<CGFloat> widths;
    CGFloat fixed = 0;
    std::size_t flexible = 0, shown = 0;
    for (const auto& item : items_) {
        CGFloat width = 0;
        if (item->isFlexibleSpace()) {
            ++flexible;
        } else {
            ++shown;
            width = item->width();
            if (width <= 0) {
                auto view = item->view();
                auto* button = dynamic_cast<UIToolbarButton*>(view.get());
                width = button ? button->contentWidth() : (view ? view->frame().size.width : 0);
            }
            fixed += width;
        }
        widths.push_back(width);
    }
    const CGFloat gaps = shown > 1 ? kItemGap * static_cast<CGFloat>(shown - 1) : 0;
    const CGFloat spare = std::max<CGFloat>(0, b.size.width - 2 * kEdgeInset - fixed - gaps);
    const CGFloat share = flexible ? spare / static_cast<CGFloat>(flexible) : 0;
    CGFloat x = kEdgeInset;
    bool first = true;
    for (std::size_t i = 0; i < items_.size(); ++i) {
        const auto& item = items_[i];
        if (item->isFlexibleSpace()) {
            x += share;
            continue;
        }
        if (!first) x += kItemGap;
        first = false;
        const CGRect slot = CGRectMake(std::round(x), 0, widths[i], b.size.height);
        if (auto view = item->view()) {
            if (item->customView()) {
                const CGSize size = view->frame().size;
                view->setFrame(CGRectMake(std::round(CGRectGetMidX(slot) - size.width / 2),
                                          std::round((b.size.height - size.height) / 2), size.width, size.height));
            } else {
                view->setFrame(slot);
            }
        }
        x += widths[i];
    }
}
