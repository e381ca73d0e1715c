#pragma once
// The line layout of a collection view, scrolling vertically: each section
// starts with its header (headerReferenceSize high, the collection's width),
// then its inset, then rows of items from left to right.
//
// A row takes items while they fit between the left and right insets with at
// least minimumInteritemSpacing between them (a hair of rounding is forgiven,
// so widths computed in single precision still fill a row). A full row (one the
// next item, or one more of its last item's width, would overflow) is
// justified: its first item touches the left inset, its last the right inset,
// the spare width shared out between them. A row that is not full (the last
// row of a section) keeps the minimum spacing from the left. A row is as high
// as its highest item; items are centred in it; rows are
// minimumLineSpacing apart. A row of a single item starts at the left inset.
//
// When the collection's delegate is a UICollectionViewDelegateFlowLayout, its
// answers (sizes, insets, spacings, header sizes) take the place of these
// properties for the items and sections it answers.
//
// Main thread only.
#include <vector>

#include "platform/uikit/UICollectionViewLayout.h"
#include "platform/uikit/UIEdgeInsets.h"

enum UICollectionViewScrollDirection : long {
    UICollectionViewScrollDirectionVertical = 0,
    UICollectionViewScrollDirectionHorizontal = 1,
};

class UICollectionViewFlowLayout : public UICollectionViewLayout {
public:
    CGSize itemSize() const { return itemSize_; }
    void setItemSize(CGSize size) { itemSize_ = size, invalidateLayout(); }
    UIEdgeInsets sectionInset() const { return sectionInset_; }
    void setSectionInset(UIEdgeInsets inset) { sectionInset_ = inset, invalidateLayout(); }
    CGFloat minimumInteritemSpacing() const { return interitem_; }
    void setMinimumInteritemSpacing(CGFloat spacing) { interitem_ = spacing, invalidateLayout(); }
    CGFloat minimumLineSpacing() const { return line_; }
    void setMinimumLineSpacing(CGFloat spacing) { line_ = spacing, invalidateLayout(); }
    CGSize headerReferenceSize() const { return headerSize_; }
    void setHeaderReferenceSize(CGSize size) { headerSize_ = size, invalidateLayout(); }
    // Only vertical scrolling is laid out; horizontal is kept for callers that set it.
    UICollectionViewScrollDirection scrollDirection() const { return direction_; }
    void setScrollDirection(UICollectionViewScrollDirection d) { direction_ = d, invalidateLayout(); }

    void prepareLayout() override;
    CGSize collectionViewContentSize() const override { return contentSize_; }
    std::vector<UICollectionViewLayoutAttributes> layoutAttributesForElementsInRect(CGRect rect) const override;
    std::optional<UICollectionViewLayoutAttributes>
    layoutAttributesForItemAtIndexPath(const NSIndexPath& indexPath) const override;
    std::optional<UICollectionViewLayoutAttributes>
    layoutAttributesForSupplementaryViewOfKind(const std::string& kind, const NSIndexPath& indexPath) const override;

private:
    struct SectionMetrics {
        UIEdgeInsets inset;
        CGFloat interitem = 0, line = 0;
        CGSize header{};
    };
    SectionMetrics metricsForSection(UICollectionView& view, long section) const;
    CGFloat layoutSection(UICollectionView& view, long section, CGFloat top);
    void placeRow(const std::vector<CGSize>& sizes, std::size_t first, std::size_t count, bool full,
                  const SectionMetrics& m, CGFloat width, CGFloat top, long section);

    CGSize itemSize_{50, 50};
    UIEdgeInsets sectionInset_{};
    CGFloat interitem_ = 10;
    CGFloat line_ = 10;
    CGSize headerSize_{};
    UICollectionViewScrollDirection direction_ = UICollectionViewScrollDirectionVertical;

    CGSize contentSize_{};
    std::vector<UICollectionViewLayoutAttributes> headers_;            // one per section (possibly empty frame)
    std::vector<std::vector<UICollectionViewLayoutAttributes>> items_;  // by section, by item
};
using UICollectionViewFlowLayoutPtr = std::shared_ptr<UICollectionViewFlowLayout>;
