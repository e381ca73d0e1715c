#include "platform/uikit/UINavigationBar.h"

#include <algorithm>

#include "platform/graphics/CGColor.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIDevice.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UIGraphics.h"

namespace {
constexpr CGFloat kBackButtonMargin = 8;
constexpr CGFloat kBackButtonMaxWidth = 120;
constexpr CGFloat kTitleGap = 8;
}  // namespace

UINavigationBar::UINavigationBar(CGRect frame)
    : UIView(frame), titleAttributes_(UIFont::boldSystemFontOfSize(17), UIColor::blackColor()) {
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

UIBarMetrics UINavigationBar::currentBarMetrics() {
    const bool phone = UIDevice::currentDevice()->userInterfaceIdiom() != UIUserInterfaceIdiomPad;
    const bool landscape = UIInterfaceOrientationIsLandscape(UIApplication::sharedApplication()->statusBarOrientation());
    return phone && landscape ? UIBarMetricsCompact : UIBarMetricsDefault;
}

void UINavigationBar::setBarTintColor(CGColorRef color) {
    barTintColor_ = std::move(color);
    setNeedsDisplay();
}

void UINavigationBar::setTitleTextAttributes(NSAttributes attributes) {
    titleAttributes_ = std::move(attributes);
    if (titleLabel_) applyTitleAttributes();
}

void UINavigationBar::makeParts() {
    if (titleLabel_) return;
    titleLabel_ = std::make_shared<UILabel>();
    titleLabel_->setAccessibilityIdentifier("UINavigationBarTitle");
    titleLabel_->setTextAlignment(NSTextAlignmentCenter);
    titleLabel_->setBackgroundColor(nullptr);
    applyTitleAttributes();
    addSubview(titleLabel_);
    backButton_ = std::make_shared<UIButton>();
    backButton_->setAccessibilityIdentifier("UINavigationBarBackButton");
    backButton_->setHidden(true);
    std::weak_ptr<UINavigationBar> weak = self<UINavigationBar>();
    backButton_->addTarget(
        nullptr,
        [weak](UIControl&, UIEvent*) {
            auto bar = weak.lock();
            if (bar && bar->backAction_) {
                auto action = bar->backAction_;
                action();
            }
        },
        UIControlEventTouchUpInside);
    addSubview(backButton_);
}

std::shared_ptr<UILabel> UINavigationBar::titleLabel() {
    makeParts();
    return titleLabel_;
}

std::shared_ptr<UIButton> UINavigationBar::backButton() {
    makeParts();
    return backButton_;
}

void UINavigationBar::applyTitleAttributes() {
    titleLabel_->setFont(titleAttributes_.font ? titleAttributes_.font : UIFont::boldSystemFontOfSize(17));
    titleLabel_->setTextColor(titleAttributes_.foregroundColor ? titleAttributes_.foregroundColor->CGColor()
                                                               : UIColor::blackColor()->CGColor());
}

void UINavigationBar::setItemTitles(std::string topTitle, std::optional<std::string> backTitle) {
    makeParts();
    topTitle_ = std::move(topTitle);
    backTitle_ = std::move(backTitle);
    titleLabel_->setText(topTitle_);
    backButton_->setHidden(!backTitle_);
    backButton_->setTitle(backTitle_ ? (backTitle_->empty() ? std::string("Back") : *backTitle_) : std::string(),
                          UIControlStateNormal);
    setNeedsLayout();
}

void UINavigationBar::tintColorDidChange() {
    if (backButton_) backButton_->setNeedsLayout();
}

void UINavigationBar::layoutSubviews() {
    makeParts();
    const CGRect b = bounds();
    CGFloat left = 0;
    if (!backButton_->isHidden()) {
        const CGSize fits = backButton_->sizeThatFits(CGSizeMake(kBackButtonMaxWidth, b.size.height));
        const CGFloat width = std::min(kBackButtonMaxWidth, std::ceil(fits.width) + 2 * kBackButtonMargin);
        backButton_->setFrame(CGRectMake(0, 0, width, b.size.height));
        left = width;
    }
    // The title centred in the bar, narrowed to stay clear of the back button.
    const CGFloat inset = left > 0 ? left + kTitleGap : kTitleGap;
    titleLabel_->setFrame(CGRectMake(inset, 0, std::max<CGFloat>(0, b.size.width - 2 * inset), b.size.height));
}

void UINavigationBar::drawRect(CGRect) {
    const CGRect b = bounds();
    auto image = backgroundImageForBarMetrics(currentBarMetrics());
    if (!image) image = backgroundImageForBarMetrics(UIBarMetricsDefault);
    if (image) {
        image->drawInRect(b);
        return;
    }
    auto c = UIGraphicsGetCurrentContext();
    if (!c) return;
    CGContextSetFillColorWithColor(c, barTintColor_ ? barTintColor_ : CGColorCreateSRGB(0.97, 0.97, 0.97, 1));
    CGContextFillRect(c, b);
    CGContextSetFillColorWithColor(c, CGColorCreateSRGB(0, 0, 0, 0.3));
    CGContextFillRect(c, CGRectMake(0, b.size.height - 0.5, b.size.width, 0.5));
}
