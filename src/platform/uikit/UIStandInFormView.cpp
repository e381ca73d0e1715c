#include "platform/uikit/UIStandInFormView.h"

#include "platform/base/ThreadAssertions.h"
#include "platform/graphics/CGColor.h"
#include "platform/uikit/NSParagraphStyle.h"
#include "platform/uikit/UIFont.h"

namespace {
std::shared_ptr<UIButton> makeBarButton(const std::string& title) {
    auto button = std::make_shared<UIButton>();
    button->setTitle(title, UIControlStateNormal);
    button->setTitleColor(CGColorCreateSRGB(0.0, 0.48, 1.0, 1), UIControlStateNormal);
    button->setAccessibilityLabel(title);
    return button;
}
}  // namespace

UIStandInFormView::UIStandInFormView(const std::string& title, const std::string& leftTitle,
                                     const std::string& rightTitle)
    : titleLabel_(std::make_shared<UILabel>()), leftButton_(makeBarButton(leftTitle)),
      rightButton_(makeBarButton(rightTitle)) {
    setBackgroundColor(CGColorCreateSRGB(1, 1, 1, 1));
    setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
    titleLabel_->setText(title);
    titleLabel_->setFont(UIFont::boldSystemFontOfSize(17));
    titleLabel_->setTextAlignment(NSTextAlignmentCenter);
    titleLabel_->setAccessibilityIdentifier("title");
}

std::shared_ptr<UIStandInFormView> UIStandInFormView::make(const std::string& title, const std::string& leftTitle,
                                                           const std::string& rightTitle) {
    auto view = std::make_shared<UIStandInFormView>(title, leftTitle, rightTitle);
    view->addSubview(view->titleLabel_);
    view->addSubview(view->leftButton_);
    view->addSubview(view->rightButton_);
    return view;
}

void UIStandInFormView::setFields(const std::vector<std::pair<std::string, std::string>>& fields) {
    QV_ASSERT_MAIN_THREAD();
    for (auto& label : fieldLabels_) label->removeFromSuperview();
    fieldLabels_.clear();
    for (const auto& [name, value] : fields) {
        auto label = std::make_shared<UILabel>();
        label->setText(name + ": " + value);
        label->setFont(UIFont::systemFontOfSize(15));
        label->setAccessibilityIdentifier(name);
        addSubview(label);
        fieldLabels_.push_back(std::move(label));
    }
    setNeedsLayout();
}

std::shared_ptr<UILabel> UIStandInFormView::fieldLabel(const std::string& name) const {
    for (const auto& label : fieldLabels_)
        if (label->accessibilityIdentifier() == name) return label;
    return nullptr;
}

void UIStandInFormView::layoutSubviews() {
    const CGFloat width = bounds().size.width;
    constexpr CGFloat buttonWidth = 76;
    leftButton_->setFrame(CGRectMake(kMargin / 2, kStatusBarHeight, buttonWidth, kBarHeight));
    rightButton_->setFrame(
        CGRectMake(width - buttonWidth - kMargin / 2, kStatusBarHeight, buttonWidth, kBarHeight));
    titleLabel_->setFrame(
        CGRectMake(buttonWidth + kMargin, kStatusBarHeight, width - 2 * (buttonWidth + kMargin), kBarHeight));
    CGFloat y = kStatusBarHeight + kBarHeight + kMargin;
    for (const auto& label : fieldLabels_) {
        label->setFrame(CGRectMake(kMargin, y, width - 2 * kMargin, kLineHeight));
        y += kLineHeight;
    }
}

UIStandInFormController::UIStandInFormController(std::string title, std::string leftTitle, std::string rightTitle)
    : title_(std::move(title)), leftTitle_(std::move(leftTitle)), rightTitle_(std::move(rightTitle)) {}

void UIStandInFormController::loadView() {
    auto form = UIStandInFormView::make(title_, leftTitle_, rightTitle_);
    const std::weak_ptr<UIStandInFormController> weak = self<UIStandInFormController>();
    form->leftButton()->addTarget(self(), [weak](UIControl&, UIEvent*) {
        if (const auto me = weak.lock()) me->leftButtonTapped();
    }, UIControlEventTouchUpInside);
    form->rightButton()->addTarget(self(), [weak](UIControl&, UIEvent*) {
        if (const auto me = weak.lock()) me->rightButtonTapped();
    }, UIControlEventTouchUpInside);
    form_ = form;
    setView(form);
    showFields();
}

std::shared_ptr<UIStandInFormView> UIStandInFormController::formView() {
    (void)view();
    return form_.lock();
}

void UIStandInFormController::showFields() {
    if (const auto form = form_.lock()) form->setFields(fields());
}
