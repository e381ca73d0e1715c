#include "platform/uikit/UICollectionViewFlowLayout.h"

#include <algorithm>

#include "platform/uikit/UICollectionView.h"

namespace {
// Widths computed in single precision may overshoot the row by a hair.
constexpr CGFloat kFitTolerance = 0.01;
}  // namespace

UICollectionViewFlowLayout::SectionMetrics UICollectionViewFlowLayout::metricsForSection(UICollectionView& view,
                                                                                         long section) const {
    SectionMetrics m{sectionInset_, interitem_, line_, headerSize_};
    if (auto d = std::dynamic_pointer_cast<UICollectionViewDelegateFlowLayout>(view.delegate())) {
        m.inset = d->insetForSectionAtIndex(view, section).value_or(m.inset);
        m.interitem = d->minimumInteritemSpacingForSectionAtIndex(view, section).value_or(m.interitem);
        m.line = d->minimumLineSpacingForSectionAtIndex(view, section).value_or(m.line);
        m.header = d->referenceSizeForHeaderInSection(view, section).value_or(m.header);
    }
    return m;
}

void UICollectionViewFlowLayout::prepareLayout() {
    headers_.clear();
    items_.clear();
    contentSize_ = CGSizeZero;
    auto view = collectionView();
    if (!view) return;
    CGFloat y = 0;
    for (long s = 0; s < view->numberOfSections(); ++s) y = layoutSection(*view, s, y);
    contentSize_ = CGSizeMake(view->bounds().size.width, y);
}

// Lays out one section from `top`; answers where the next one starts.
CGFloat UICollectionViewFlowLayout::layoutSection(UICollectionView& view, long section, CGFloat top) {
    SectionMetrics m = metricsForSection(view, section);
    CGFloat width = view.bounds().size.width;
    UICollectionViewLayoutAttributes header;
    header.indexPath = NSIndexPath::indexPathForItem(0, section);
    header.representedElementCategory = UICollectionElementCategorySupplementaryView;
    header.representedElementKind = UICollectionElementKindSectionHeader;
    header.frame = CGRectMake(0, top, width, std::max<CGFloat>(m.header.height, 0));
    headers_.push_back(header);
    CGFloat y = top + header.frame.size.height;

    long count = view.numberOfItemsInSection(section);
    items_.emplace_back(static_cast<std::size_t>(std::max(count, 0L)));
    if (count <= 0) return y;
    y += m.inset.top;
    auto flowDelegate = std::dynamic_pointer_cast<UICollectionViewDelegateFlowLayout>(view.delegate());
    std::vector<CGSize> sizes;
    for (long i = 0; i < count; ++i) {
        CGSize size = itemSize_;
        if (flowDelegate)
            size = flowDelegate->sizeForItemAtIndexPath(view, NSIndexPath::indexPathForItem(i, section)).value_or(size);
        sizes.push_back(CGSizeMake(std::max<CGFloat>(size.width, 0), std::max<CGFloat>(size.height, 0)));
    }
    CGFloat available = std::max<CGFloat>(width - m.inset.left - m.inset.right, 0);
    std::size_t first = 0;
    while (first < sizes.size()) {
        // As many items as fit with the minimum spacing (at least one).
        std::size_t n = 1;
        CGFloat used = sizes[first].width;
        while (first + n < sizes.size() && used + m.interitem + sizes[first + n].width <= available + kFitTolerance) {
            used += m.interitem + sizes[first + n].width;
            ++n;
        }
        bool last = first + n == sizes.size();
        bool full = !last || used + m.interitem + sizes[first + n - 1].width > available + kFitTolerance;
        placeRow(sizes, first, n, full, m, available, y, section);
        CGFloat rowHeight = 0;
        for (std::size_t i = first; i < first + n; ++i) rowHeight = std::max(rowHeight, sizes[i].height);
        y += rowHeight;
        first += n;
        if (first < sizes.size()) y += m.line;
    }
    return y + m.inset.bottom;
}

void UICollectionViewFlowLayout::placeRow(const std::vector<CGSize>& sizes, std::size_t first, std::size_t count,
                                          bool full, const SectionMetrics& m, CGFloat available, CGFloat top,
                                          long section) {
    CGFloat used = 0, rowHeight = 0;
    for (std::size_t i = first; i < first + count; ++i) {
        used += sizes[i].width;
        rowHeight = std::max(rowHeight, sizes[i].height);
    }
    CGFloat spacing = m.interitem;
    if (full && count > 1) spacing = std::max<CGFloat>((available - used) / static_cast<CGFloat>(count - 1), m.interitem);
    CGFloat x = m.inset.left;
    auto& attributes = items_[static_cast<std::size_t>(section)];
    for (std::size_t i = first; i < first + count; ++i) {
        auto& a = attributes[i];
        a.indexPath = NSIndexPath::indexPathForItem(static_cast<long>(i), section);
        a.frame = CGRectMake(x, top + (rowHeight - sizes[i].height) / 2, sizes[i].width, sizes[i].height);
        x += sizes[i].width + spacing;
    }
}

std::vector<UICollectionViewLayoutAttributes>
UICollectionViewFlowLayout::layoutAttributesForElementsInRect(CGRect rect) const {
    std::vector<UICollectionViewLayoutAttributes> found;
    for (std::size_t s = 0; s < items_.size(); ++s) {
        if (s < headers_.size() && headers_[s].frame.size.height > 0 && CGRectIntersectsRect(headers_[s].frame, rect))
            found.push_back(headers_[s]);
        for (const auto& a : items_[s])
            if (a.frame.size.width > 0 && a.frame.size.height > 0 && CGRectIntersectsRect(a.frame, rect))
                found.push_back(a);
    }
    return found;
}

std::optional<UICollectionViewLayoutAttributes>
UICollectionViewFlowLayout::layoutAttributesForItemAtIndexPath(const NSIndexPath& p) const {
    if (p.section < 0 || p.section >= static_cast<long>(items_.size())) return std::nullopt;
    const auto& section = items_[static_cast<std::size_t>(p.section)];
    if (p.item() < 0 || p.item() >= static_cast<long>(section.size())) return std::nullopt;
    return section[static_cast<std::size_t>(p.item())];
}

std::optional<UICollectionViewLayoutAttributes>
UICollectionViewFlowLayout::layoutAttributesForSupplementaryViewOfKind(const std::string& kind,
                                                                       const NSIndexPath& p) const {
    if (kind != UICollectionElementKindSectionHeader || p.section < 0 ||
        p.section >= static_cast<long>(headers_.size()))
        return std::nullopt;
    return headers_[static_cast<std::size_t>(p.section)];
}
