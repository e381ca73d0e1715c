#include "platform/uikit/UITableView.h"

#include <algorithm>

#include "platform/foundation/NSLog.h"

UITableView::UITableView(CGRect frame, UITableViewStyle style) : UIScrollView(frame), style_(style) {
    setBackgroundColor(CGColorCreateSRGB(1, 1, 1, 1));
    setAlwaysBounceVertical(true);
}

UITableView::~UITableView() = default;

void UITableView::setDelegate(const std::shared_ptr<UITableViewDelegate>& delegate) {
    delegate_ = delegate;
    UIScrollView::setDelegate(delegate);
}

void UITableView::setRowHeight(CGFloat height) {
    rowHeight_ = std::max<CGFloat>(height, 0);
    if (loaded_) reloadData();
}

void UITableView::setSeparatorStyle(UITableViewCellSeparatorStyle style) {
    separatorStyle_ = style;
    for (auto& cell : visible_.cells()) cell->setSeparatorHidden(style == UITableViewCellSeparatorStyleNone);
}

// ---------------------------------------------------------------- data

void UITableView::reloadData() {
    visible_.recycleAll(queue_);
    for (auto& section : sections_)
        if (section.headerView) section.headerView->removeFromSuperview();
    selected_.reset();
    computeGeometry();
    setNeedsLayout();
}

void UITableView::computeGeometry() {
    sections_.clear();
    auto source = dataSource();
    auto d = delegate();
    loaded_ = true;
    CGFloat y = 0;
    long count = source ? std::max(source->numberOfSectionsInTableView(*this), 0L) : 0;
    for (long s = 0; s < count; ++s) {
        Section section;
        section.top = y;
        section.headerHeight = std::max<CGFloat>(
            d ? d->heightForHeaderInSection(*this, s).value_or(sectionHeaderHeight_) : sectionHeaderHeight_, 0);
        section.headerView = d && section.headerHeight > 0 ? d->viewForHeaderInSection(*this, s) : nullptr;
        y += section.headerHeight;
        long rows = std::max(source->numberOfRowsInSection(*this, s), 0L);
        section.rowTops.reserve(static_cast<std::size_t>(rows));
        for (long r = 0; r < rows; ++r) {
            CGFloat h = d ? d->heightForRowAtIndexPath(*this, NSIndexPath::indexPathForRow(r, s)).value_or(rowHeight_)
                          : rowHeight_;
            h = std::max<CGFloat>(h, 0);
            section.rowTops.push_back(y);
            section.rowHeights.push_back(h);
            y += h;
        }
        section.footerHeight = std::max<CGFloat>(
            d ? d->heightForFooterInSection(*this, s).value_or(sectionFooterHeight_) : sectionFooterHeight_, 0);
        y += section.footerHeight;
        sections_.push_back(std::move(section));
    }
    contentHeight_ = y;
    setContentSize(CGSizeMake(bounds().size.width, y));
}

long UITableView::numberOfRowsInSection(long section) const {
    if (section < 0 || section >= numberOfSections()) return 0;
    return static_cast<long>(sections_[static_cast<std::size_t>(section)].rowTops.size());
}

bool UITableView::validIndexPath(const NSIndexPath& p) const {
    return p.row() >= 0 && p.row() < numberOfRowsInSection(p.section);
}

// ---------------------------------------------------------------- reuse

void UITableView::registerClass(const std::string& identifier, std::function<UITableViewCellPtr()> factory) {
    queue_.registerFactory(identifier, std::move(factory));
}

void UITableView::registerNib(const UINibPtr& nib, const std::string& identifier) { queue_.registerNib(identifier, nib); }

UITableViewCellPtr UITableView::dequeueReusableCellWithIdentifier(const std::string& identifier) {
    return queue_.dequeue(identifier);
}

UITableViewCellPtr UITableView::dequeueReusableCellWithIdentifier(const std::string& identifier,
                                                                  const NSIndexPath& indexPath) {
    auto cell = queue_.dequeue(identifier);
    if (!cell) {
        NSLog("unable to dequeue a cell with identifier %@ - must register a nib or a class for the identifier",
              identifier);
        return nullptr;
    }
    CGRect row = rectForRowAtIndexPath(indexPath);
    if (!CGRectIsEmpty(row)) cell->setFrame(row);
    return cell;
}

// ---------------------------------------------------------------- geometry

CGRect UITableView::rectForRowAtIndexPath(const NSIndexPath& p) const {
    if (!validIndexPath(p)) return CGRectZero;
    const auto& s = sections_[static_cast<std::size_t>(p.section)];
    auto r = static_cast<std::size_t>(p.row());
    return CGRectMake(0, s.rowTops[r], bounds().size.width, s.rowHeights[r]);
}

std::vector<NSIndexPath> UITableView::indexPathsForRowsInRect(CGRect rect) const {
    std::vector<NSIndexPath> paths;
    CGFloat top = CGRectGetMinY(rect), bottom = CGRectGetMaxY(rect);
    for (std::size_t s = 0; s < sections_.size(); ++s) {
        const auto& tops = sections_[s].rowTops;
        const auto& heights = sections_[s].rowHeights;
        // The first row ending below the top edge.
        auto first = std::upper_bound(tops.begin(), tops.end(), top) - tops.begin();
        if (first > 0) --first;
        for (auto r = static_cast<std::size_t>(first); r < tops.size() && tops[r] < bottom; ++r)
            if (tops[r] + heights[r] > top && heights[r] > 0)
                paths.push_back(NSIndexPath::indexPathForRow(static_cast<long>(r), static_cast<long>(s)));
    }
    return paths;
}

std::optional<NSIndexPath> UITableView::indexPathForRowAtPoint(CGPoint point) const {
    for (const auto& p : indexPathsForRowsInRect(CGRectMake(point.x, point.y, 0.001, 0.001)))
        if (CGRectContainsPoint(rectForRowAtIndexPath(p), point)) return p;
    return std::nullopt;
}

// ---------------------------------------------------------------- visible rows

UITableViewCellPtr UITableView::cellForRowAtIndexPath(const NSIndexPath& indexPath) const {
    return visible_.find(indexPath);
}

std::optional<NSIndexPath> UITableView::indexPathForCell(const UITableViewCell& cell) const {
    return visible_.indexPathOf(cell);
}

std::vector<UITableViewCellPtr> UITableView::visibleCells() const { return visible_.cells(); }

std::vector<NSIndexPath> UITableView::indexPathsForVisibleRows() const { return visible_.indexPaths(); }

void UITableView::layoutSubviews() {
    UIScrollView::layoutSubviews();
    if (!loaded_) computeGeometry();
    if (contentSize().width != bounds().size.width) setContentSize(CGSizeMake(bounds().size.width, contentHeight_));
    updateVisibleCells();
}

void UITableView::layerDidChangeValue(CALayer& layer, const std::string& key, const CAValue& from, const CAValue& to) {
    UIScrollView::layerDidChangeValue(layer, key, from, to);
    // A new content offset brings rows in and out at once.
    if (&layer == this->layer().get() && key == "bounds" && loaded_ && !updating_) updateVisibleCells();
}

// Rows that left the bounds go to the reuse queue; rows that came in are asked
// of the data source and placed; every visible row takes its current frame.
void UITableView::updateVisibleCells() {
    auto source = dataSource();
    if (!source || updating_) return;
    updating_ = true;
    CGRect visibleRect = bounds();
    auto wanted = indexPathsForRowsInRect(visibleRect);
    visible_.recycleUnless(
        [&](const NSIndexPath& path) { return std::binary_search(wanted.begin(), wanted.end(), path); }, queue_);
    auto d = delegate();
    for (const auto& path : wanted) {
        auto cell = visible_.find(path);
        if (!cell) {
            cell = source->cellForRowAtIndexPath(*this, path);
            if (!cell) {
                NSLog("UITableView: the data source gave no cell for %@", path.description());
                continue;
            }
            visible_.set(path, cell);
            cell->setSelected(selected_ == path);
            cell->setSeparatorHidden(separatorStyle_ == UITableViewCellSeparatorStyleNone);
            insertSubview(cell, 0);
            if (d) d->willDisplayCell(*this, *cell, path);
        }
        cell->setFrame(rectForRowAtIndexPath(path));
    }
    placeHeaders(visibleRect);
    updating_ = false;
}

void UITableView::placeHeaders(CGRect visible) {
    for (auto& s : sections_) {
        if (!s.headerView) continue;
        CGRect frame = CGRectMake(0, s.top, bounds().size.width, s.headerHeight);
        if (CGRectIntersectsRect(frame, visible)) {
            s.headerView->setFrame(frame);
            if (s.headerView->superview().get() != this) addSubview(s.headerView);
        } else if (s.headerView->superview().get() == this) {
            s.headerView->removeFromSuperview();
        }
    }
}

// ---------------------------------------------------------------- selection

void UITableView::selectRowAtIndexPath(const std::optional<NSIndexPath>& indexPath, bool,
                                       UITableViewScrollPosition scrollPosition) {
    if (selected_)
        if (auto old = cellForRowAtIndexPath(*selected_)) old->setSelected(false);
    selected_.reset();
    if (!indexPath || !validIndexPath(*indexPath)) return;
    selected_ = indexPath;
    if (auto cell = cellForRowAtIndexPath(*indexPath)) cell->setSelected(true);
    if (scrollPosition != UITableViewScrollPositionNone) scrollToRowAtIndexPath(*indexPath, scrollPosition, false);
}

void UITableView::deselectRowAtIndexPath(const NSIndexPath& indexPath, bool) {
    if (selected_ != indexPath) return;
    selected_.reset();
    if (auto cell = cellForRowAtIndexPath(indexPath)) cell->setSelected(false);
}

void UITableView::scrollToRowAtIndexPath(const NSIndexPath& indexPath, UITableViewScrollPosition position,
                                         bool animated) {
    CGRect row = rectForRowAtIndexPath(indexPath);
    if (!validIndexPath(indexPath)) return;
    CGFloat height = bounds().size.height;
    CGFloat y = contentOffset().y;
    switch (position) {
    case UITableViewScrollPositionTop: y = row.origin.y; break;
    case UITableViewScrollPositionMiddle: y = CGRectGetMidY(row) - height / 2; break;
    case UITableViewScrollPositionBottom: y = CGRectGetMaxY(row) - height; break;
    case UITableViewScrollPositionNone:
        if (row.origin.y < y) y = row.origin.y;
        else if (CGRectGetMaxY(row) > y + height) y = CGRectGetMaxY(row) - height;
        break;
    }
    setContentOffset(clampedContentOffset(CGPointMake(contentOffset().x, y)), animated);
}

void UITableView::selectByTouch(const NSIndexPath& indexPath) {
    auto d = delegate();
    if (selected_ && *selected_ != indexPath) {
        NSIndexPath old = *selected_;
        deselectRowAtIndexPath(old, false);
        if (d) d->didDeselectRowAtIndexPath(*this, old);
    }
    selectRowAtIndexPath(indexPath, false, UITableViewScrollPositionNone);
    if (d) d->didSelectRowAtIndexPath(*this, indexPath);
}

// ---------------------------------------------------------------- touches

void UITableView::touchesBegan(const UITouchSet& touches, UIEvent* event) {
    if (auto cell = tracker_.began(touches, *this)) {
        auto path = indexPathForCell(*cell);
        auto d = delegate();
        if (!allowsSelection_ || !path || (d && !d->shouldHighlightRowAtIndexPath(*this, *path))) tracker_.cancel();
    }
    UIScrollView::touchesBegan(touches, event);
}

void UITableView::touchesMoved(const UITouchSet& touches, UIEvent* event) {
    tracker_.moved(touches);
    UIScrollView::touchesMoved(touches, event);
}

void UITableView::touchesEnded(const UITouchSet& touches, UIEvent* event) {
    auto cell = tracker_.ended(touches);
    UIScrollView::touchesEnded(touches, event);
    if (!cell) return;
    if (auto path = indexPathForCell(*cell)) selectByTouch(*path);
}

void UITableView::touchesCancelled(const UITouchSet& touches, UIEvent* event) {
    tracker_.cancel();
    UIScrollView::touchesCancelled(touches, event);
}
