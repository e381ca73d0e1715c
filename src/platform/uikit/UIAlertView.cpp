#include "platform/uikit/UIAlertView.h"

#include <algorithm>

namespace {
// Shown alerts, held strongly while on screen as the platform's alert window holds them.
std::vector<std::shared_ptr<UIAlertView>>& registry() {
    static std::vector<std::shared_ptr<UIAlertView>> alerts;
    return alerts;
}
}  // namespace

UIAlertView::UIAlertView(std::string title, std::string message, std::weak_ptr<UIAlertViewDelegate> delegate,
                         std::optional<std::string> cancelButtonTitle, std::vector<std::string> otherButtonTitles)
    : title_(std::move(title)), message_(std::move(message)), delegate_(std::move(delegate)) {
    if (cancelButtonTitle) {
        cancelButtonIndex_ = 0;
        buttons_.push_back(std::move(*cancelButtonTitle));
    }
    for (auto& b : otherButtonTitles) buttons_.push_back(std::move(b));
}

std::shared_ptr<UIAlertView> UIAlertView::initWithTitle(std::string title, std::string message,
                                                        std::weak_ptr<UIAlertViewDelegate> delegate,
                                                        std::optional<std::string> cancelButtonTitle,
                                                        std::vector<std::string> otherButtonTitles) {
    return std::make_shared<UIAlertView>(std::move(title), std::move(message), std::move(delegate),
                                         std::move(cancelButtonTitle), std::move(otherButtonTitles));
}

std::string UIAlertView::buttonTitleAtIndex(long index) const {
    if (index < 0 || index >= numberOfButtons()) return {};
    return buttons_[static_cast<std::size_t>(index)];
}

long UIAlertView::addButtonWithTitle(const std::string& title) {
    buttons_.push_back(title);
    return numberOfButtons() - 1;
}

void UIAlertView::show() {
    if (visible_) return;
    auto me = self<UIAlertView>();
    auto d = delegate_.lock();
    if (d) d->willPresentAlertView(*this);
    visible_ = true;
    registry().push_back(me);
    if (d) d->didPresentAlertView(*this);
}

void UIAlertView::dismissWithClickedButtonIndex(long buttonIndex, bool /*animated*/) {
    if (!visible_) return;
    auto me = self<UIAlertView>();  // the registry may hold the last reference
    auto d = delegate_.lock();
    if (d) d->willDismissWithButtonIndex(*this, buttonIndex);
    visible_ = false;
    std::erase(registry(), me);
    if (d) d->didDismissWithButtonIndex(*this, buttonIndex);
}

bool UIAlertView::pressButtonAtIndex(long index) {
    if (!visible_ || index < 0 || index >= numberOfButtons()) return false;
    auto me = self<UIAlertView>();
    if (auto d = delegate_.lock()) d->clickedButtonAtIndex(*this, index);
    dismissWithClickedButtonIndex(index, true);
    return true;
}

std::vector<std::shared_ptr<UIAlertView>> UIAlertView::visibleAlerts() { return registry(); }

bool UIAlertView::pressButton(const std::string& title) {
    auto alerts = registry();
    for (auto it = alerts.rbegin(); it != alerts.rend(); ++it) {
        const auto& buttons = (*it)->buttons_;
        auto b = std::find(buttons.begin(), buttons.end(), title);
        if (b != buttons.end()) return (*it)->pressButtonAtIndex(static_cast<long>(b - buttons.begin()));
    }
    return false;
}

void UIAlertView::removeAllForTesting() {
    auto alerts = std::move(registry());
    registry().clear();
    for (auto& a : alerts) a->visible_ = false;
}
