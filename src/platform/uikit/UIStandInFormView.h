#pragma once
// The plain screen of a recording stand-in that cannot be real here (the
// composers, the calendar editor): a bar under the status bar with a title
// between two buttons, then one label per field, "Name: value", top down on
// white. Each label's accessibility identifier is its field name, each
// button's label its title, so the device screen's tree and snapshots show
// what the stand-in holds. UIStandInFormController is the controller of such
// a screen: its view is the form, its buttons call the controller's two
// actions, and showFields redraws the fields it answers. Main thread only.
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/uikit/UIButton.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UIView.h"
#include "platform/uikit/UIViewController.h"

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
    void layoutSubviews() override;

private:
    std::shared_ptr<UILabel> titleLabel_;
    std::shared_ptr<UIButton> leftButton_;
    std::shared_ptr<UIButton> rightButton_;
    std::vector<std::shared_ptr<UILabel>> fieldLabels_;
};

class UIStandInFormController : public UIViewController {
public:
    using Fields = std::vector<std::pair<std::string, std::string>>;
    UIStandInFormController(std::string title, std::string leftTitle, std::string rightTitle);

    void loadView() override;
    // The screen (made with the view).
    std::shared_ptr<UIStandInFormView> formView();

protected:
    // The bar's buttons, left and right.
    virtual void leftButtonTapped() = 0;
    virtual void rightButtonTapped() = 0;
    virtual Fields fields() const = 0;
    // Redraws the fields once the view is made (until then there is nothing to draw).
    void showFields();

private:
    std::string title_, leftTitle_, rightTitle_;
    std::weak_ptr<UIStandInFormView> form_;
};
