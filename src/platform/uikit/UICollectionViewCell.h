#pragma once
// A cell of a collection view: a content view for the caller's subviews, an
// optional background view and a selected background view shown behind the
// content while the cell is selected or highlighted. The collection sets
// highlight while a finger is down on the cell and selection when tapped.
//
// Main thread only.
#include <memory>

#include "platform/uikit/UICollectionReusableView.h"

class UICollectionViewCell : public UICollectionReusableView {
public:
    explicit UICollectionViewCell(CGRect frame = CGRectZero);

    const std::shared_ptr<UIView>& contentView() const { return contentView_; }
    std::shared_ptr<UIView> backgroundView() const { return backgroundView_; }
    void setBackgroundView(std::shared_ptr<UIView> view);
    std::shared_ptr<UIView> selectedBackgroundView() const { return selectedBackgroundView_; }
    void setSelectedBackgroundView(std::shared_ptr<UIView> view);

    bool isSelected() const { return selected_; }
    virtual void setSelected(bool selected);
    bool isHighlighted() const { return highlighted_; }
    virtual void setHighlighted(bool highlighted);

    // Lifts selection and highlight.
    void prepareForReuse() override;
    void layoutSubviews() override;
    void willMoveToSuperview(const std::shared_ptr<UIView>& superview) override;

private:
    void assemble();
    void updateBackgrounds();
    std::shared_ptr<UIView> contentView_;
    std::shared_ptr<UIView> backgroundView_;
    std::shared_ptr<UIView> selectedBackgroundView_;
    bool selected_ = false;
    bool highlighted_ = false;
};
using UICollectionViewCellPtr = std::shared_ptr<UICollectionViewCell>;
