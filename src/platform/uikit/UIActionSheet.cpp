#include "platform/uikit/UIActionSheet.h"

#include <algorithm>

#include "platform/foundation/NSLog.h"
#include "platform/base/ThreadAssertions.h"

namespace {
// Visible sheets, held strongly while on screen as the platform's sheet window holds them.
std::vector<std::shared_ptr<UIActionSheet>>& registry() {
    static std::vector<std::shared_ptr<UIActionSheet>> sheets;
    return sheets;
}
}  // namespace

UIActionSheet::UIActionSheet(std::string title, std::weak_ptr<UIActionSheetDelegate> delegate,
                             std::optional<std::string> cancelButtonTitle,
                             std::optional<std::string> destructiveButtonTitle,
                             std::vector<std::string> otherButtonTitles)
    : title_(std::move(title)), delegate_(std::move(delegate)) {
    if (destructiveButtonTitle) {
        destructiveButtonIndex_ = 0;
        buttons_.push_back(std::move(*destructiveButtonTitle));
    }
    for (auto& b : otherButtonTitles) buttons_.push_back(std::move(b));
    if (cancelButtonTitle) {
        cancelButtonIndex_ = numberOfButtons();
        buttons_.push_back(std::move(*cancelButtonTitle));
    }
}

std::shared_ptr<UIActionSheet> UIActionSheet::initWithTitle(std::string title,
                                                            std::weak_ptr<UIActionSheetDelegate> delegate,
                                                            std::optional<std::string> cancelButtonTitle,
                                                            std::optional<std::string> destructiveButtonTitle,
                                                            std::vector<std::string> otherButtonTitles) {
    return std::make_shared<UIActionSheet>(std::move(title), std::move(delegate), std::move(cancelButtonTitle),
                                           std::move(destructiveButtonTitle), std::move(otherButtonTitles));
}

std::string UIActionSheet::buttonTitleAtIndex(long index) const {
    if (index < 0 || index >= numberOfButtons()) return {};
    return buttons_[static_cast<std::size_t>(index)];
}

long UIActionSheet::addButtonWithTitle(const std::string& title) {
    buttons_.push_back(title);
    return numberOfButtons() - 1;
}

void UIActionSheet::setCancelButtonIndex(long index) {
    cancelButtonIndex_ = index >= 0 && index < numberOfButtons() ? index : -1;
}

void UIActionSheet::setDestructiveButtonIndex(long index) {
    destructiveButtonIndex_ = index >= 0 && index < numberOfButtons() ? index : -1;
}

long UIActionSheet::firstOtherButtonIndex() const {
    for (long i = 0; i < numberOfButtons(); ++i)
        if (i != cancelButtonIndex_ && i != destructiveButtonIndex_) return i;
    return -1;
}

void UIActionSheet::showInView(const std::shared_ptr<UIView>& view) {
    QV_ASSERT_MAIN_THREAD();
    if (visible_) return;
    if (!view) {
        NSLog("UIActionSheet: \"%@\" cannot be shown in a null view.", title_);
        return;
    }
    if (buttons_.empty()) {
        NSLog("UIActionSheet: \"%@\" has no buttons and is not shown.", title_);
        return;
    }
    auto me = self<UIActionSheet>();
    auto d = delegate_.lock();
    if (d) d->willPresentActionSheet(*this);
    visible_ = true;
    shownIn_ = view;
    registry().push_back(me);
    if (d) d->didPresentActionSheet(*this);
}

void UIActionSheet::dismissWithClickedButtonIndex(long buttonIndex, bool /*animated*/) {
    QV_ASSERT_MAIN_THREAD();
    if (!visible_) return;
    auto me = self<UIActionSheet>();  // the registry may hold the last reference
    auto d = delegate_.lock();
    if (d) d->willDismissWithButtonIndex(*this, buttonIndex);
    visible_ = false;
    std::erase(registry(), me);
    if (d) d->didDismissWithButtonIndex(*this, buttonIndex);
}

bool UIActionSheet::pressButtonAtIndex(long index) {
    QV_ASSERT_MAIN_THREAD();
    if (!visible_ || index < 0 || index >= numberOfButtons()) return false;
    auto me = self<UIActionSheet>();
    if (auto d = delegate_.lock()) d->clickedButtonAtIndex(*this, index);
    dismissWithClickedButtonIndex(index, true);
    return true;
}

std::vector<std::shared_ptr<UIActionSheet>> UIActionSheet::visibleSheets() { return registry(); }

bool UIActionSheet::pressButton(const std::string& title) {
    auto sheets = registry();
    for (auto it = sheets.rbegin(); it != sheets.rend(); ++it) {
        const auto& buttons = (*it)->buttons_;
        auto b = std::find(buttons.begin(), buttons.end(), title);
        if (b != buttons.end()) return (*it)->pressButtonAtIndex(static_cast<long>(b - buttons.begin()));
    }
    return false;
}

void UIActionSheet::removeAllForTesting() {
    auto sheets = std::move(registry());
    registry().clear();
    for (auto& s : sheets) s->visible_ = false;
}
