#pragma once
// A scrolling list of rows in sections (the plain style). The data source
// answers the counts and makes the cells; the delegate answers heights and
// hears selections. Answers a delegate may leave out are optional values:
// nullopt means "not implemented" and the table's own property counts.
//
// Geometry: reloadData asks the counts and heights at once, computes each row's
// place (sections one after another: header height, rows, footer height) and
// sets contentSize (the table's width, the sum of the heights). Cells: only the
// rows inside the bounds have cells; the layout pass (and every change of the
// content offset, at once) asks the data source for rows that came into view
// and moves rows that went out to the reuse queue (their identifier's) off the
// table. cellForRowAtIndexPath answers the visible cell or null.
//
// Reuse: registerClass / registerNib make cells for an identifier when the
// queue has none waiting; dequeueReusableCellWithIdentifier answers a waiting
// cell (prepareForReuse called), else a registered new one, else null.
//
// Selection (single): a tap on a row through the touch driver highlights it
// while the finger is down, selects it on lifting (unless the finger moved
// farther than kListTapSlop, which scrolls instead) and tells the delegate
// didSelectRowAtIndexPath (a row selected before hears didDeselect first).
// selectRowAtIndexPath / deselectRowAtIndexPath by code tell the delegate
// nothing. reloadData forgets the selection.
//
// Main thread only. The data source and delegate are held weakly.
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "platform/uikit/NSIndexPath.h"
#include "platform/uikit/UIListTouchTracker.h"
#include "platform/uikit/UIListVisibleCells.h"
#include "platform/uikit/UIReusableViewQueue.h"
#include "platform/uikit/UIScrollView.h"
#include "platform/uikit/UITableViewCell.h"

class UITableView;

enum UITableViewStyle : long { UITableViewStylePlain = 0, UITableViewStyleGrouped = 1 };

enum UITableViewScrollPosition : long {
    UITableViewScrollPositionNone = 0,
    UITableViewScrollPositionTop = 1,
    UITableViewScrollPositionMiddle = 2,
    UITableViewScrollPositionBottom = 3,
};

enum UITableViewCellSeparatorStyle : long {
    UITableViewCellSeparatorStyleNone = 0,
    UITableViewCellSeparatorStyleSingleLine = 1,
};

class UITableViewDataSource {
public:
    virtual ~UITableViewDataSource() = default;
    virtual long numberOfSectionsInTableView(UITableView& /*tableView*/) { return 1; }
    virtual long numberOfRowsInSection(UITableView& tableView, long section) = 0;
    // A null cell leaves the row empty (logged).
    virtual UITableViewCellPtr cellForRowAtIndexPath(UITableView& tableView, const NSIndexPath& indexPath) = 0;
};

class UITableViewDelegate : public UIScrollViewDelegate {
public:
    virtual std::optional<CGFloat> heightForRowAtIndexPath(UITableView&, const NSIndexPath&) { return std::nullopt; }
    virtual std::optional<CGFloat> heightForHeaderInSection(UITableView&, long /*section*/) { return std::nullopt; }
    virtual std::optional<CGFloat> heightForFooterInSection(UITableView&, long /*section*/) { return std::nullopt; }
    // A view shown in the section's header space (its height from above).
    virtual std::shared_ptr<UIView> viewForHeaderInSection(UITableView&, long /*section*/) { return nullptr; }
    virtual bool shouldHighlightRowAtIndexPath(UITableView&, const NSIndexPath&) { return true; }
    virtual void willDisplayCell(UITableView&, UITableViewCell&, const NSIndexPath&) {}
    virtual void didSelectRowAtIndexPath(UITableView&, const NSIndexPath&) {}
    virtual void didDeselectRowAtIndexPath(UITableView&, const NSIndexPath&) {}
};

class UITableView : public UIScrollView {
public:
    explicit UITableView(CGRect frame = CGRectZero, UITableViewStyle style = UITableViewStylePlain);
    ~UITableView() override;

    UITableViewStyle style() const { return style_; }

    std::shared_ptr<UITableViewDataSource> dataSource() const { return dataSource_.lock(); }
    void setDataSource(const std::shared_ptr<UITableViewDataSource>& dataSource) { dataSource_ = dataSource; }
    std::shared_ptr<UITableViewDelegate> delegate() const { return delegate_.lock(); }
    // Also the scroll view's delegate.
    void setDelegate(const std::shared_ptr<UITableViewDelegate>& delegate);

    // The height of rows, headers and footers the delegate does not answer.
    CGFloat rowHeight() const { return rowHeight_; }
    void setRowHeight(CGFloat height);
    CGFloat sectionHeaderHeight() const { return sectionHeaderHeight_; }
    void setSectionHeaderHeight(CGFloat height) { sectionHeaderHeight_ = height; }
    CGFloat sectionFooterHeight() const { return sectionFooterHeight_; }
    void setSectionFooterHeight(CGFloat height) { sectionFooterHeight_ = height; }
    UITableViewCellSeparatorStyle separatorStyle() const { return separatorStyle_; }
    void setSeparatorStyle(UITableViewCellSeparatorStyle style);
    bool allowsSelection() const { return allowsSelection_; }
    void setAllowsSelection(bool allows) { allowsSelection_ = allows; }

    void reloadData();
    long numberOfSections() const { return static_cast<long>(sections_.size()); }
    long numberOfRowsInSection(long section) const;

    // Reuse.
    void registerClass(const std::string& identifier, std::function<UITableViewCellPtr()> factory);
    // A class made with the default style, or with its own constructor when it
    // takes no arguments (a subclass that fixes its style).
    template <class Cell>
    void registerClass(const std::string& identifier) {
        registerClass(identifier, []() -> UITableViewCellPtr {
            if constexpr (std::is_default_constructible_v<Cell>) return std::make_shared<Cell>();
            else return std::make_shared<Cell>(UITableViewCellStyleDefault, std::string());
        });
    }
    void registerNib(const UINibPtr& nib, const std::string& identifier);
    UITableViewCellPtr dequeueReusableCellWithIdentifier(const std::string& identifier);
    // The same, sized for the row; logs and answers null when nothing is
    // registered under the identifier.
    UITableViewCellPtr dequeueReusableCellWithIdentifier(const std::string& identifier, const NSIndexPath& indexPath);
    const UIReusableViewQueue<UITableViewCell>& reuseQueue() const { return queue_; }

    // Geometry (content coordinates).
    CGRect rectForRowAtIndexPath(const NSIndexPath& indexPath) const;  // CGRectZero for no such row
    std::optional<NSIndexPath> indexPathForRowAtPoint(CGPoint point) const;
    std::vector<NSIndexPath> indexPathsForRowsInRect(CGRect rect) const;

    // Visible rows.
    UITableViewCellPtr cellForRowAtIndexPath(const NSIndexPath& indexPath) const;
    std::optional<NSIndexPath> indexPathForCell(const UITableViewCell& cell) const;
    std::vector<UITableViewCellPtr> visibleCells() const;  // in row order
    std::vector<NSIndexPath> indexPathsForVisibleRows() const;

    // Selection by code (the delegate hears nothing).
    std::optional<NSIndexPath> indexPathForSelectedRow() const { return selected_; }
    void selectRowAtIndexPath(const std::optional<NSIndexPath>& indexPath, bool animated,
                              UITableViewScrollPosition scrollPosition);
    void deselectRowAtIndexPath(const NSIndexPath& indexPath, bool animated);
    void scrollToRowAtIndexPath(const NSIndexPath& indexPath, UITableViewScrollPosition position, bool animated);

    void layoutSubviews() override;
    void touchesBegan(const UITouchSet& touches, UIEvent* event) override;
    void touchesMoved(const UITouchSet& touches, UIEvent* event) override;
    void touchesEnded(const UITouchSet& touches, UIEvent* event) override;
    void touchesCancelled(const UITouchSet& touches, UIEvent* event) override;
    void layerDidChangeValue(CALayer& layer, const std::string& key, const CAValue& from, const CAValue& to) override;

private:
    struct Section {
        CGFloat top = 0, headerHeight = 0, footerHeight = 0;
        std::vector<CGFloat> rowTops;  // content y of each row
        std::vector<CGFloat> rowHeights;
        std::shared_ptr<UIView> headerView;
    };
    void computeGeometry();
    void updateVisibleCells();
    void placeHeaders(CGRect visible);
    void selectByTouch(const NSIndexPath& indexPath);
    bool validIndexPath(const NSIndexPath& indexPath) const;

    UITableViewStyle style_;
    std::weak_ptr<UITableViewDataSource> dataSource_;
    std::weak_ptr<UITableViewDelegate> delegate_;
    CGFloat rowHeight_ = 44;
    CGFloat sectionHeaderHeight_ = 0;
    CGFloat sectionFooterHeight_ = 0;
    UITableViewCellSeparatorStyle separatorStyle_ = UITableViewCellSeparatorStyleSingleLine;
    bool allowsSelection_ = true;
    bool loaded_ = false;     // counts asked at least once
    bool updating_ = false;   // inside updateVisibleCells (offset changes from it wait)
    std::vector<Section> sections_;
    CGFloat contentHeight_ = 0;
    UIListVisibleCells<UITableViewCell> visible_;
    std::optional<NSIndexPath> selected_;
    UIReusableViewQueue<UITableViewCell> queue_;
    UIListTouchTracker<UITableViewCell> tracker_;
};
using UITableViewPtr = std::shared_ptr<UITableView>;
