#pragma once
// A scrolling grid of cells placed by a layout (UICollectionViewFlowLayout
// for the application's grids). The data source answers the counts and makes
// cells (and header views); the delegate hears selections.
//
// Geometry: reloadData asks the counts at once, prepares the layout and sets
// contentSize from it. Only the elements inside the bounds have views: the
// layout pass, and every change of the content offset at once, asks the data
// source for cells (and supplementary views) that came into view and moves the
// ones that went out into the reuse queue of their identifier, off the
// collection. cellForItemAtIndexPath answers the visible cell or null.
//
// Reuse: registerClass / registerNib (an interface file whose first top-level
// cell is taken) make cells for an identifier when the queue has none waiting;
// dequeueReusableCellWithReuseIdentifier answers a waiting cell
// (prepareForReuse called) or a new one, sized by the layout; null (logged)
// when nothing is registered under the identifier.
//
// Selection (single): a tap on a cell through the touch driver highlights it
// while the finger is down, selects it on lifting unless the finger moved
// farther than kListTapSlop (then it scrolls), and tells the delegate
// didSelectItemAtIndexPath (after didDeselect of the one selected before).
// By code: selectItemAtIndexPath / deselectItemAtIndexPath, no delegate calls.
// reloadData forgets the selection.
//
// Main thread only. The data source and delegate are held weakly; the layout
// strongly.
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/uikit/NSIndexPath.h"
#include "platform/uikit/UICollectionViewCell.h"
#include "platform/uikit/UICollectionViewLayout.h"
#include "platform/uikit/UIEdgeInsets.h"
#include "platform/uikit/UIListTouchTracker.h"
#include "platform/uikit/UIListVisibleCells.h"
#include "platform/uikit/UIReusableViewQueue.h"
#include "platform/uikit/UIScrollView.h"

class UICollectionView;

class UICollectionViewDataSource {
public:
    virtual ~UICollectionViewDataSource() = default;
    virtual long numberOfSectionsInCollectionView(UICollectionView& /*collectionView*/) { return 1; }
    virtual long numberOfItemsInSection(UICollectionView& collectionView, long section) = 0;
    // A null cell leaves the place empty (logged).
    virtual UICollectionViewCellPtr cellForItemAtIndexPath(UICollectionView& collectionView,
                                                           const NSIndexPath& indexPath) = 0;
    // Header views (kind UICollectionElementKindSectionHeader); null shows none.
    virtual UICollectionReusableViewPtr viewForSupplementaryElementOfKind(UICollectionView&, const std::string& /*kind*/,
                                                                          const NSIndexPath&) {
        return nullptr;
    }
};

class UICollectionViewDelegate : public UIScrollViewDelegate {
public:
    virtual bool shouldSelectItemAtIndexPath(UICollectionView&, const NSIndexPath&) { return true; }
    virtual void didSelectItemAtIndexPath(UICollectionView&, const NSIndexPath&) {}
    virtual void didDeselectItemAtIndexPath(UICollectionView&, const NSIndexPath&) {}
    virtual void willDisplayCell(UICollectionView&, UICollectionViewCell&, const NSIndexPath&) {}
};

// The flow layout's questions; nullopt leaves the layout's own property.
class UICollectionViewDelegateFlowLayout : public UICollectionViewDelegate {
public:
    virtual std::optional<CGSize> sizeForItemAtIndexPath(UICollectionView&, const NSIndexPath&) { return std::nullopt; }
    virtual std::optional<UIEdgeInsets> insetForSectionAtIndex(UICollectionView&, long) { return std::nullopt; }
    virtual std::optional<CGFloat> minimumLineSpacingForSectionAtIndex(UICollectionView&, long) { return std::nullopt; }
    virtual std::optional<CGFloat> minimumInteritemSpacingForSectionAtIndex(UICollectionView&, long) {
        return std::nullopt;
    }
    virtual std::optional<CGSize> referenceSizeForHeaderInSection(UICollectionView&, long) { return std::nullopt; }
};

class UICollectionView : public UIScrollView {
public:
    // A null layout gets a flow layout with its defaults.
    explicit UICollectionView(CGRect frame = CGRectZero, UICollectionViewLayoutPtr layout = nullptr);
    ~UICollectionView() override;

    std::shared_ptr<UICollectionViewDataSource> dataSource() const { return dataSource_.lock(); }
    void setDataSource(const std::shared_ptr<UICollectionViewDataSource>& dataSource) { dataSource_ = dataSource; }
    std::shared_ptr<UICollectionViewDelegate> delegate() const { return delegate_.lock(); }
    // Also the scroll view's delegate.
    void setDelegate(const std::shared_ptr<UICollectionViewDelegate>& delegate);

    const UICollectionViewLayoutPtr& collectionViewLayout() const { return layout_; }
    // The new layout takes effect at once (contentSize and visible cells).
    void setCollectionViewLayout(UICollectionViewLayoutPtr layout, bool animated = false);
    bool allowsSelection() const { return allowsSelection_; }
    void setAllowsSelection(bool allows) { allowsSelection_ = allows; }

    void reloadData();
    long numberOfSections() const { return static_cast<long>(counts_.size()); }
    long numberOfItemsInSection(long section) const;

    // Reuse.
    void registerClass(const std::string& identifier, std::function<UICollectionViewCellPtr()> factory);
    template <class Cell>
    void registerClass(const std::string& identifier) {
        registerClass(identifier, [] { return std::make_shared<Cell>(); });
    }
    void registerNib(const UINibPtr& nib, const std::string& identifier);
    UICollectionViewCellPtr dequeueReusableCellWithReuseIdentifier(const std::string& identifier,
                                                                   const NSIndexPath& indexPath);
    void registerClassForSupplementaryViewOfKind(const std::string& kind, const std::string& identifier,
                                                 std::function<UICollectionReusableViewPtr()> factory);
    void registerNibForSupplementaryViewOfKind(const UINibPtr& nib, const std::string& kind,
                                               const std::string& identifier);
    UICollectionReusableViewPtr dequeueReusableSupplementaryViewOfKind(const std::string& kind,
                                                                       const std::string& identifier,
                                                                       const NSIndexPath& indexPath);
    const UIReusableViewQueue<UICollectionViewCell>& reuseQueue() const { return cellQueue_; }

    // Visible items.
    UICollectionViewCellPtr cellForItemAtIndexPath(const NSIndexPath& indexPath) const;
    std::optional<NSIndexPath> indexPathForCell(const UICollectionViewCell& cell) const;
    std::optional<NSIndexPath> indexPathForItemAtPoint(CGPoint point) const;  // content coordinates
    std::vector<UICollectionViewCellPtr> visibleCells() const;                 // in index order
    std::vector<NSIndexPath> indexPathsForVisibleItems() const;
    // The visible header of a section, or null.
    UICollectionReusableViewPtr supplementaryViewForElementKind(const std::string& kind,
                                                                const NSIndexPath& indexPath) const;
    // The layout's answer for an item (prepared first when stale).
    std::optional<UICollectionViewLayoutAttributes> layoutAttributesForItemAtIndexPath(const NSIndexPath& indexPath);

    // Selection by code (the delegate hears nothing).
    std::vector<NSIndexPath> indexPathsForSelectedItems() const;
    void selectItemAtIndexPath(const std::optional<NSIndexPath>& indexPath, bool animated);
    void deselectItemAtIndexPath(const NSIndexPath& indexPath, bool animated);

    void layoutSubviews() override;
    void touchesBegan(const UITouchSet& touches, UIEvent* event) override;
    void touchesMoved(const UITouchSet& touches, UIEvent* event) override;
    void touchesEnded(const UITouchSet& touches, UIEvent* event) override;
    void touchesCancelled(const UITouchSet& touches, UIEvent* event) override;
    void layerDidChangeValue(CALayer& layer, const std::string& key, const CAValue& from, const CAValue& to) override;

private:
    using SupplementaryKey = std::pair<std::string, NSIndexPath>;
    void askCounts();
    void prepareLayoutIfNeeded();
    void recycleAll();
    void updateVisibleViews();
    void showCell(const UICollectionViewLayoutAttributes& attributes);
    void showSupplementary(const UICollectionViewLayoutAttributes& attributes);
    void selectByTouch(const NSIndexPath& indexPath);
    bool validIndexPath(const NSIndexPath& indexPath) const;

    std::weak_ptr<UICollectionViewDataSource> dataSource_;
    std::weak_ptr<UICollectionViewDelegate> delegate_;
    UICollectionViewLayoutPtr layout_;
    bool allowsSelection_ = true;
    bool loaded_ = false;
    bool updating_ = false;
    CGFloat preparedWidth_ = -1;
    std::vector<long> counts_;
    UIListVisibleCells<UICollectionViewCell> visible_;
    std::map<SupplementaryKey, UICollectionReusableViewPtr> visibleSupplementary_;
    std::optional<NSIndexPath> selected_;
    UIReusableViewQueue<UICollectionViewCell> cellQueue_;
    std::map<std::string, UIReusableViewQueue<UICollectionReusableView>> supplementaryQueues_;
    UIListTouchTracker<UICollectionViewCell> tracker_;
};
using UICollectionViewPtr = std::shared_ptr<UICollectionView>;
