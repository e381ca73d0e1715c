#include "platform/uikit/UICollectionView.h"

#include <algorithm>
#include <set>

#include "platform/foundation/NSLog.h"
#include "platform/uikit/UICollectionViewFlowLayout.h"

UICollectionView::UICollectionView(CGRect frame, UICollectionViewLayoutPtr layout)
    : UIScrollView(frame), layout_(layout ? std::move(layout) : std::make_shared<UICollectionViewFlowLayout>()) {
    setBackgroundColor(CGColorCreateSRGB(0, 0, 0, 1));
}

UICollectionView::~UICollectionView() = default;

void UICollectionView::setDelegate(const std::shared_ptr<UICollectionViewDelegate>& delegate) {
    delegate_ = delegate;
    UIScrollView::setDelegate(delegate);
    if (layout_) layout_->invalidateLayout();
}

void UICollectionView::setCollectionViewLayout(UICollectionViewLayoutPtr layout, bool) {
    if (!layout) return;
    if (layout_) layout_->attach(nullptr);
    layout_ = std::move(layout);
    layout_->attach(self<UICollectionView>());
    layout_->invalidateLayout();
    if (!loaded_) askCounts();
    prepareLayoutIfNeeded();
    setNeedsLayout();
    if (!updating_) updateVisibleViews();
}

// ---------------------------------------------------------------- data

void UICollectionView::askCounts() {
    counts_.clear();
    loaded_ = true;
    auto source = dataSource();
    if (!source) return;
    long sections = std::max(source->numberOfSectionsInCollectionView(*this), 0L);
    for (long s = 0; s < sections; ++s) counts_.push_back(std::max(source->numberOfItemsInSection(*this, s), 0L));
}

void UICollectionView::prepareLayoutIfNeeded() {
    if (!layout_) return;
    if (layout_->isValid() && preparedWidth_ == bounds().size.width) return;
    layout_->attach(self<UICollectionView>());
    layout_->prepareLayout();
    layout_->markPrepared();
    preparedWidth_ = bounds().size.width;
    setContentSize(layout_->collectionViewContentSize());
}

void UICollectionView::reloadData() {
    recycleAll();
    selected_.reset();
    askCounts();
    if (layout_) layout_->invalidateLayout();
    prepareLayoutIfNeeded();
    setNeedsLayout();
}

void UICollectionView::recycleAll() {
    visible_.recycleAll(cellQueue_);
    for (auto& [key, view] : visibleSupplementary_) {
        view->removeFromSuperview();
        supplementaryQueues_[key.first].enqueue(view);
    }
    visibleSupplementary_.clear();
}

long UICollectionView::numberOfItemsInSection(long section) const {
    if (section < 0 || section >= numberOfSections()) return 0;
    return counts_[static_cast<std::size_t>(section)];
}

bool UICollectionView::validIndexPath(const NSIndexPath& p) const {
    return p.item() >= 0 && p.item() < numberOfItemsInSection(p.section);
}

// ---------------------------------------------------------------- reuse

void UICollectionView::registerClass(const std::string& identifier, std::function<UICollectionViewCellPtr()> factory) {
    cellQueue_.registerFactory(identifier, std::move(factory));
}

void UICollectionView::registerNib(const UINibPtr& nib, const std::string& identifier) {
    cellQueue_.registerNib(identifier, nib);
}

UICollectionViewCellPtr UICollectionView::dequeueReusableCellWithReuseIdentifier(const std::string& identifier,
                                                                                 const NSIndexPath& indexPath) {
    auto cell = cellQueue_.dequeue(identifier);
    if (!cell) {
        NSLog("could not dequeue a view of kind: UICollectionElementKindCell with identifier %@ - must register a nib "
              "or a class for the identifier",
              identifier);
        return nullptr;
    }
    if (auto a = layoutAttributesForItemAtIndexPath(indexPath)) cell->setFrame(a->frame);
    return cell;
}

void UICollectionView::registerClassForSupplementaryViewOfKind(const std::string& kind, const std::string& identifier,
                                                               std::function<UICollectionReusableViewPtr()> factory) {
    supplementaryQueues_[kind].registerFactory(identifier, std::move(factory));
}

void UICollectionView::registerNibForSupplementaryViewOfKind(const UINibPtr& nib, const std::string& kind,
                                                             const std::string& identifier) {
    supplementaryQueues_[kind].registerNib(identifier, nib);
}

UICollectionReusableViewPtr UICollectionView::dequeueReusableSupplementaryViewOfKind(const std::string& kind,
                                                                                     const std::string& identifier,
                                                                                     const NSIndexPath& indexPath) {
    auto view = supplementaryQueues_[kind].dequeue(identifier);
    if (!view) {
        NSLog("could not dequeue a view of kind: %@ with identifier %@ - must register a nib or a class for the "
              "identifier",
              kind, identifier);
        return nullptr;
    }
    if (layout_)
        if (auto a = layout_->layoutAttributesForSupplementaryViewOfKind(kind, indexPath)) view->setFrame(a->frame);
    return view;
}

// ---------------------------------------------------------------- visible items

UICollectionViewCellPtr UICollectionView::cellForItemAtIndexPath(const NSIndexPath& indexPath) const {
    return visible_.find(indexPath);
}

std::optional<NSIndexPath> UICollectionView::indexPathForCell(const UICollectionViewCell& cell) const {
    return visible_.indexPathOf(cell);
}

std::optional<NSIndexPath> UICollectionView::indexPathForItemAtPoint(CGPoint point) const {
    if (!layout_) return std::nullopt;
    for (const auto& a : layout_->layoutAttributesForElementsInRect(CGRectMake(point.x, point.y, 0.001, 0.001)))
        if (a.representedElementCategory == UICollectionElementCategoryCell && CGRectContainsPoint(a.frame, point))
            return a.indexPath;
    return std::nullopt;
}

std::vector<UICollectionViewCellPtr> UICollectionView::visibleCells() const { return visible_.cells(); }

std::vector<NSIndexPath> UICollectionView::indexPathsForVisibleItems() const { return visible_.indexPaths(); }

UICollectionReusableViewPtr UICollectionView::supplementaryViewForElementKind(const std::string& kind,
                                                                             const NSIndexPath& indexPath) const {
    auto it = visibleSupplementary_.find({kind, indexPath});
    return it == visibleSupplementary_.end() ? nullptr : it->second;
}

std::optional<UICollectionViewLayoutAttributes>
UICollectionView::layoutAttributesForItemAtIndexPath(const NSIndexPath& indexPath) {
    if (!layout_) return std::nullopt;
    if (!loaded_) askCounts();
    prepareLayoutIfNeeded();
    return layout_->layoutAttributesForItemAtIndexPath(indexPath);
}

void UICollectionView::layoutSubviews() {
    UIScrollView::layoutSubviews();
    if (!loaded_) askCounts();
    updateVisibleViews();
}

void UICollectionView::layerDidChangeValue(CALayer& layer, const std::string& key, const CAValue& from,
                                           const CAValue& to) {
    UIScrollView::layerDidChangeValue(layer, key, from, to);
    // A new content offset brings items in and out at once.
    if (&layer == this->layer().get() && key == "bounds" && loaded_ && !updating_) updateVisibleViews();
}

// Views whose elements left the bounds go to their reuse queues; elements that
// came in are asked of the data source; every visible view takes its frame.
void UICollectionView::updateVisibleViews() {
    if (updating_ || !dataSource() || !layout_) return;
    updating_ = true;
    prepareLayoutIfNeeded();
    auto elements = layout_->layoutAttributesForElementsInRect(bounds());
    std::set<NSIndexPath> cells;
    std::set<SupplementaryKey> supplementary;
    for (const auto& a : elements) {
        if (a.representedElementCategory == UICollectionElementCategoryCell) cells.insert(a.indexPath);
        else supplementary.insert({a.representedElementKind, a.indexPath});
    }
    visible_.recycleUnless([&](const NSIndexPath& path) { return cells.count(path) != 0; }, cellQueue_);
    for (auto it = visibleSupplementary_.begin(); it != visibleSupplementary_.end();) {
        if (supplementary.count(it->first)) {
            ++it;
            continue;
        }
        it->second->removeFromSuperview();
        supplementaryQueues_[it->first.first].enqueue(it->second);
        it = visibleSupplementary_.erase(it);
    }
    for (const auto& a : elements) {
        if (a.representedElementCategory == UICollectionElementCategoryCell) showCell(a);
        else showSupplementary(a);
    }
    updating_ = false;
}

void UICollectionView::showCell(const UICollectionViewLayoutAttributes& a) {
    auto cell = visible_.find(a.indexPath);
    if (!cell) {
        cell = dataSource()->cellForItemAtIndexPath(*this, a.indexPath);
        if (!cell) {
            NSLog("UICollectionView: the data source gave no cell for %@", a.indexPath.description());
            return;
        }
        visible_.set(a.indexPath, cell);
        cell->setSelected(selected_ == a.indexPath);
        insertSubview(cell, 0);
        if (auto d = delegate()) d->willDisplayCell(*this, *cell, a.indexPath);
    }
    cell->setFrame(a.frame);
    cell->setHidden(a.hidden);
}

void UICollectionView::showSupplementary(const UICollectionViewLayoutAttributes& a) {
    SupplementaryKey key{a.representedElementKind, a.indexPath};
    auto it = visibleSupplementary_.find(key);
    if (it == visibleSupplementary_.end()) {
        auto view = dataSource()->viewForSupplementaryElementOfKind(*this, a.representedElementKind, a.indexPath);
        if (!view) return;
        addSubview(view);
        it = visibleSupplementary_.emplace(key, view).first;
    }
    it->second->setFrame(a.frame);
}

// ---------------------------------------------------------------- selection

std::vector<NSIndexPath> UICollectionView::indexPathsForSelectedItems() const {
    if (!selected_) return {};
    return {*selected_};
}

void UICollectionView::selectItemAtIndexPath(const std::optional<NSIndexPath>& indexPath, bool) {
    if (selected_)
        if (auto old = cellForItemAtIndexPath(*selected_)) old->setSelected(false);
    selected_.reset();
    if (!indexPath || !validIndexPath(*indexPath)) return;
    selected_ = indexPath;
    if (auto cell = cellForItemAtIndexPath(*indexPath)) cell->setSelected(true);
}

void UICollectionView::deselectItemAtIndexPath(const NSIndexPath& indexPath, bool) {
    if (selected_ != indexPath) return;
    selected_.reset();
    if (auto cell = cellForItemAtIndexPath(indexPath)) cell->setSelected(false);
}

void UICollectionView::selectByTouch(const NSIndexPath& indexPath) {
    auto d = delegate();
    if (d && !d->shouldSelectItemAtIndexPath(*this, indexPath)) return;
    if (selected_ && *selected_ != indexPath) {
        NSIndexPath old = *selected_;
        deselectItemAtIndexPath(old, false);
        if (d) d->didDeselectItemAtIndexPath(*this, old);
    }
    selectItemAtIndexPath(indexPath, false);
    if (d) d->didSelectItemAtIndexPath(*this, indexPath);
}

// ---------------------------------------------------------------- touches

void UICollectionView::touchesBegan(const UITouchSet& touches, UIEvent* event) {
    if (tracker_.began(touches, *this) && !allowsSelection_) tracker_.cancel();
    UIScrollView::touchesBegan(touches, event);
}

void UICollectionView::touchesMoved(const UITouchSet& touches, UIEvent* event) {
    tracker_.moved(touches);
    UIScrollView::touchesMoved(touches, event);
}

void UICollectionView::touchesEnded(const UITouchSet& touches, UIEvent* event) {
    auto cell = tracker_.ended(touches);
    UIScrollView::touchesEnded(touches, event);
    if (!cell) return;
    if (auto path = indexPathForCell(*cell)) selectByTouch(*path);
}

void UICollectionView::touchesCancelled(const UITouchSet& touches, UIEvent* event) {
    tracker_.cancel();
    UIScrollView::touchesCancelled(touches, event);
}
