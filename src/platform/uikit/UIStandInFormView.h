#pragma once
// The plain screen of a recording stand-in that cannot be real here (the
// composers, the calendar editor): a bar under the status bar with a title
// between two buttons, then one label per field, "Name: value", top down on
// white. Each label's accessibility identifier is its field name, each
// button's label its title, so the device screen's tree and snapshots show
// what the stand-in holds. Main thread only.
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/uikit/UIButton.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UIView.h"

class UIStandInFormView : public UIView {
public:
    static constexpr CGFloat kStatusBarHeight = 20, kBarHeight = 44, kLineHeight = 28, kMargin = 12;

    static std::shared_ptr<UIStandInFormView> make(const std::string& title, const std::string& leftTitle,
                                                   const std::string& rightTitle);
    // Use make (the subviews are added once the view is shared).
    UIStandInFormView(const std::string& title, const std::string& leftTitle, const std::string& rightTitle);

    // Replaces the field lines: (name, value) pairs, in order.
    void setFields(const std::vector<std::pair<std::string, std::string>>& fields);
    // The label of a field (null when there is none of that name).
    std::shared_ptr<UILabel> fieldLabel(const std::string& name) const;
    const std::shared_ptr<UIButton>& leftButton() const { return leftButton_; }
    const std::shared_ptr<UIButton>& rightButton() const { return rightButton_; }
    // Wires each button's tap (touch up inside) to a member of `owner`, which
    // the view holds weakly: a tap after the owner is gone does nothing.
    template <class Owner>
    void setButtonActions(const std::shared_ptr<Owner>& owner, void (Owner::*left)(), void (Owner::*right)()) {
        const std::weak_ptr<Owner> weak = owner;
        wire(*leftButton_, owner, [weak, left] { if (const auto o = weak.lock()) ((*o).*left)(); });
        wire(*rightButton_, owner, [weak, right] { if (const auto o = weak.lock()) ((*o).*right)(); });
    }

    void layoutSubviews() override;

private:
    static void wire(UIButton& button, const std::shared_ptr<NSObject>& target, std::function<void()> action);
    std::shared_ptr<UILabel> titleLabel_;
    std::shared_ptr<UIButton> leftButton_;
    std::shared_ptr<UIButton> rightButton_;
    std::vector<std::shared_ptr<UILabel>> fieldLabels_;
};
