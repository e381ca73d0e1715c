#pragma once
// Where a collection view's cells and supplementary views go. A layout belongs
// to one collection view at a time (held weakly); prepareLayout runs when the
// layout is invalidated (the collection's reloadData, a new layout, a new
// width) and computes every element's attributes, which the collection then
// reads: the content size and the elements in its visible rectangle.
//
// Main thread only.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/NSObject.h"
#include "platform/graphics/CGGeometry.h"
#include "platform/uikit/NSIndexPath.h"

class UICollectionView;

enum UICollectionElementCategory : long {
    UICollectionElementCategoryCell = 0,
    UICollectionElementCategorySupplementaryView = 1,
};

inline const std::string UICollectionElementKindSectionHeader = "UICollectionElementKindSectionHeader";
inline const std::string UICollectionElementKindSectionFooter = "UICollectionElementKindSectionFooter";

struct UICollectionViewLayoutAttributes {
    NSIndexPath indexPath;
    UICollectionElementCategory representedElementCategory = UICollectionElementCategoryCell;
    std::string representedElementKind;  // empty for cells
    CGRect frame{};
    bool hidden = false;
};

class UICollectionViewLayout : public NSObject {
public:
    std::shared_ptr<UICollectionView> collectionView() const { return collectionView_.lock(); }

    virtual void prepareLayout() {}
    virtual CGSize collectionViewContentSize() const = 0;
    // Cells and supplementary views whose frames meet the rectangle, section by
    // section, each section's header before its items.
    virtual std::vector<UICollectionViewLayoutAttributes> layoutAttributesForElementsInRect(CGRect rect) const = 0;
    virtual std::optional<UICollectionViewLayoutAttributes>
    layoutAttributesForItemAtIndexPath(const NSIndexPath& indexPath) const = 0;
    virtual std::optional<UICollectionViewLayoutAttributes>
    layoutAttributesForSupplementaryViewOfKind(const std::string& kind, const NSIndexPath& indexPath) const = 0;
    // Whether a bounds change to the new bounds needs a fresh prepareLayout
    // (by default when the size changes).
    virtual bool shouldInvalidateLayoutForBoundsChange(CGRect newBounds) const;

    // Marks the layout stale; the collection prepares it again before reading.
    void invalidateLayout();
    bool isValid() const { return valid_; }

private:
    friend class UICollectionView;
    void attach(const std::shared_ptr<UICollectionView>& view) { collectionView_ = view; }
    void markPrepared() { valid_ = true; }
    std::weak_ptr<UICollectionView> collectionView_;
    bool valid_ = false;
};
using UICollectionViewLayoutPtr = std::shared_ptr<UICollectionViewLayout>;
