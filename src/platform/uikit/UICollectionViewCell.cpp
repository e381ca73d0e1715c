#include "platform/uikit/UICollectionViewCell.h"

UICollectionViewCell::UICollectionViewCell(CGRect frame) : UICollectionReusableView(frame) {
    contentView_ = std::make_shared<UIView>(bounds());
    contentView_->setOpaque(false);
    contentView_->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
}

// The content view joins the cell once the cell is shared (it cannot from the
// constructor): before the cell enters a superview or lays out, whichever is first.
void UICollectionViewCell::assemble() {
    if (contentView_->superview().get() == this) return;
    std::size_t at = 0;
    for (const auto& v : subviews())
        if (v == backgroundView_ || v == selectedBackgroundView_) ++at;
    insertSubview(contentView_, at);
}

void UICollectionViewCell::willMoveToSuperview(const std::shared_ptr<UIView>& superview) {
    UICollectionReusableView::willMoveToSuperview(superview);
    assemble();
}

void UICollectionViewCell::setBackgroundView(std::shared_ptr<UIView> view) {
    if (backgroundView_) backgroundView_->removeFromSuperview();
    backgroundView_ = std::move(view);
    if (backgroundView_) {
        backgroundView_->setFrame(bounds());
        insertSubview(backgroundView_, 0);
    }
}

void UICollectionViewCell::setSelectedBackgroundView(std::shared_ptr<UIView> view) {
    if (selectedBackgroundView_) selectedBackgroundView_->removeFromSuperview();
    selectedBackgroundView_ = std::move(view);
    updateBackgrounds();
}

void UICollectionViewCell::setSelected(bool selected) {
    if (selected_ == selected) return;
    selected_ = selected;
    updateBackgrounds();
}

void UICollectionViewCell::setHighlighted(bool highlighted) {
    if (highlighted_ == highlighted) return;
    highlighted_ = highlighted;
    updateBackgrounds();
}

void UICollectionViewCell::prepareForReuse() {
    UICollectionReusableView::prepareForReuse();
    setSelected(false);
    setHighlighted(false);
}

// The selected background sits above the background and below the content.
void UICollectionViewCell::updateBackgrounds() {
    if (!selectedBackgroundView_) return;
    bool show = selected_ || highlighted_;
    if (show && selectedBackgroundView_->superview().get() != this) {
        selectedBackgroundView_->setFrame(bounds());
        insertSubview(selectedBackgroundView_, backgroundView_ ? 1 : 0);
    } else if (!show && selectedBackgroundView_->superview().get() == this) {
        selectedBackgroundView_->removeFromSuperview();
    }
}

void UICollectionViewCell::layoutSubviews() {
    assemble();
    contentView_->setFrame(bounds());
    if (backgroundView_) backgroundView_->setFrame(bounds());
    if (selectedBackgroundView_) selectedBackgroundView_->setFrame(bounds());
}
