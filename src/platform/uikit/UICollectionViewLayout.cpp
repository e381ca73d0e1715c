#include "platform/uikit/UICollectionViewLayout.h"

#include "platform/uikit/UICollectionView.h"

bool UICollectionViewLayout::shouldInvalidateLayoutForBoundsChange(CGRect newBounds) const {
    auto view = collectionView();
    return view && view->bounds().size != newBounds.size;
}

void UICollectionViewLayout::invalidateLayout() {
    valid_ = false;
    if (auto view = collectionView()) view->setNeedsLayout();
}
