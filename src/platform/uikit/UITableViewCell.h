#pragma once
// A row of a table. The style fixes its parts: every style has contentView,
// textLabel and imageView (shown only with an image); the subtitle style adds
// detailTextLabel under the text (null in the default style). The accessory
// sits at the right end: the checkmark is drawn in the tint colour, 40 points
// wide, and the content view gives up that room.
//
// Selection and highlight show the selected background view (grey, or the
// selection style's colour) behind the content and turn the labels to their
// highlighted colours; the style "none" shows nothing. The table sets both
// (highlight while a finger is down on the row, selection once tapped or
// selected by code).
//
// prepareForReuse runs when the table hands a cell that scrolled out to its data
// source again (dequeueReusableCellWithIdentifier); it lifts selection and
// highlight. Main thread only.
#include <memory>
#include <string>

#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UIView.h"

enum UITableViewCellStyle : long {
    UITableViewCellStyleDefault = 0,
    UITableViewCellStyleValue1 = 1,
    UITableViewCellStyleValue2 = 2,
    UITableViewCellStyleSubtitle = 3,
};

enum UITableViewCellAccessoryType : long {
    UITableViewCellAccessoryNone = 0,
    UITableViewCellAccessoryDisclosureIndicator = 1,
    UITableViewCellAccessoryDetailDisclosureButton = 2,
    UITableViewCellAccessoryCheckmark = 3,
};

enum UITableViewCellSelectionStyle : long {
    UITableViewCellSelectionStyleNone = 0,
    UITableViewCellSelectionStyleBlue = 1,
    UITableViewCellSelectionStyleGray = 2,
    UITableViewCellSelectionStyleDefault = 3,
};

inline constexpr CGFloat kTableViewCellAccessoryWidth = 40;

class UITableViewCell : public UIView {
public:
    // Value1 and Value2 are laid out as the subtitle style.
    explicit UITableViewCell(UITableViewCellStyle style = UITableViewCellStyleDefault,
                             std::string reuseIdentifier = {});

    UITableViewCellStyle style() const { return style_; }
    const std::string& reuseIdentifier() const { return reuseIdentifier_; }
    void setReuseIdentifier(std::string identifier) { reuseIdentifier_ = std::move(identifier); }

    const std::shared_ptr<UIView>& contentView() const { return contentView_; }
    const std::shared_ptr<UILabel>& textLabel() const { return textLabel_; }
    // Null in the default style.
    const std::shared_ptr<UILabel>& detailTextLabel() const { return detailTextLabel_; }
    const std::shared_ptr<UIImageView>& imageView() const { return imageView_; }

    UITableViewCellAccessoryType accessoryType() const { return accessoryType_; }
    void setAccessoryType(UITableViewCellAccessoryType type);
    // A view of the caller's in the accessory's place (takes precedence).
    std::shared_ptr<UIView> accessoryView() const { return accessoryView_; }
    void setAccessoryView(std::shared_ptr<UIView> view);

    UITableViewCellSelectionStyle selectionStyle() const { return selectionStyle_; }
    void setSelectionStyle(UITableViewCellSelectionStyle style);
    std::shared_ptr<UIView> backgroundView() const { return backgroundView_; }
    void setBackgroundView(std::shared_ptr<UIView> view);
    std::shared_ptr<UIView> selectedBackgroundView() const { return selectedBackgroundView_; }
    void setSelectedBackgroundView(std::shared_ptr<UIView> view);

    bool isSelected() const { return selected_; }
    virtual void setSelected(bool selected, bool animated = false);
    bool isHighlighted() const { return highlighted_; }
    virtual void setHighlighted(bool highlighted, bool animated = false);

    // The hairline under the row; the table hides it for separator style none.
    void setSeparatorHidden(bool hidden);
    bool isSeparatorHidden() const;

    virtual void prepareForReuse();
    // Told once after an interface file built the cell.
    virtual void awakeFromNib() {}

    void layoutSubviews() override;
    void willMoveToSuperview(const std::shared_ptr<UIView>& superview) override;

private:
    void assemble();
    void updateSelectionLook();
    void layoutLabels(CGRect content);
    UITableViewCellStyle style_;
    std::string reuseIdentifier_;
    std::shared_ptr<UIView> contentView_;
    std::shared_ptr<UILabel> textLabel_;
    std::shared_ptr<UILabel> detailTextLabel_;
    std::shared_ptr<UIImageView> imageView_;
    std::shared_ptr<UIView> checkmark_;  // the drawn accessory, made when first needed
    std::shared_ptr<UIView> accessoryView_;
    std::shared_ptr<UIView> backgroundView_;
    std::shared_ptr<UIView> selectedBackgroundView_;
    std::shared_ptr<UIView> separator_;
    UITableViewCellAccessoryType accessoryType_ = UITableViewCellAccessoryNone;
    UITableViewCellSelectionStyle selectionStyle_ = UITableViewCellSelectionStyleDefault;
    bool selected_ = false;
    bool highlighted_ = false;
};
using UITableViewCellPtr = std::shared_ptr<UITableViewCell>;
