#include "platform/uikit/UINavigationBar.h"


UINavigationBar::UINavigationBar(CGRect frame) : UIView(frame) {
    setOpaque(false);
    setBackgroundColor(nullptr);
    setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleBottomMargin);
}

UIImagePtr UINavigationBar::backgroundImageForBarMetrics(UIBarMetrics metrics) const {
    auto it = backgroundImages_.find(metrics);
    return it == backgroundImages_.end() ? nullptr : it->second;
}

void UINavigationBar::setBackgroundImage(UIImagePtr image, UIBarMetrics metrics) {
    if (image) backgroundImages_[metrics] = std::move(image);
    else backgroundImages_.erase(metrics);
    setNeedsDisplay();
}

void UINavigationBar::drawRect(CGRect) {
    auto image = backgroundImageForBarMetrics(UIBarMetricsDefault);
    if (image) image->drawInRect(bounds());
}
