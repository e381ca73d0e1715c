// Protects the lists: the flow layout's justified rows and content size, cells
// made only for what is visible and reused as they scroll out, selection by a
// tap through the window's touch driver, table rows placed by delegate heights
// with the checkmark drawn, and interface-file cells built from the registry.
#include <doctest/doctest.h>

#include <algorithm>
#include <cmath>
#include <set>

#include "platform/uikit/UICollectionView.h"
#include "platform/uikit/UICollectionViewFlowLayout.h"
#include "platform/uikit/UINib.h"
#include "platform/uikit/UITableView.h"
#include "UIKitTestSupport.h"

using namespace uikittest;

namespace {
// A grid cell with a label saying which item it shows.
struct GridCell : UICollectionViewCell {
    std::shared_ptr<UILabel> label = std::make_shared<UILabel>();
    bool awoke = false;
    GridCell() { contentView()->addSubview(label); }
    void awakeFromNib() override { awoke = true; }
};

struct Grid : UICollectionViewDelegateFlowLayout, UICollectionViewDataSource {
    long count = 30;
    std::string identifier = "GridCell";
    std::vector<NSIndexPath> selections;
    std::optional<CGSize> itemSizeAnswer;
    std::optional<UIEdgeInsets> insetAnswer;
    long numberOfItemsInSection(UICollectionView&, long) override { return count; }
    UICollectionViewCellPtr cellForItemAtIndexPath(UICollectionView& view, const NSIndexPath& path) override {
        auto cell = std::dynamic_pointer_cast<GridCell>(view.dequeueReusableCellWithReuseIdentifier(identifier, path));
        if (cell) cell->label->setText(std::to_string(path.item()));
        return cell;
    }
    void didSelectItemAtIndexPath(UICollectionView&, const NSIndexPath& path) override { selections.push_back(path); }
    std::optional<CGSize> sizeForItemAtIndexPath(UICollectionView&, const NSIndexPath&) override { return itemSizeAnswer; }
    std::optional<UIEdgeInsets> insetForSectionAtIndex(UICollectionView&, long) override { return insetAnswer; }
    UICollectionReusableViewPtr viewForSupplementaryElementOfKind(UICollectionView& view, const std::string& kind,
                                                                  const NSIndexPath& path) override {
        return view.dequeueReusableSupplementaryViewOfKind(kind, "Header", path);
    }
};

// The grid of the phone screens: three columns, inset 6, width in single precision.
UICollectionViewFlowLayoutPtr phoneLayout(CGFloat interitem = 0.5) {
    auto layout = std::make_shared<UICollectionViewFlowLayout>();
    float width = (320.0f - 6.0f * 4.0f) / 3.0f;
    layout->setItemSize(CGSizeMake(width, static_cast<float>(width * 1.51f + 30.0f)));
    layout->setSectionInset(UIEdgeInsetsMake(6, 6, 6, 6));
    layout->setMinimumInteritemSpacing(interitem);
    layout->setMinimumLineSpacing(6);
    return layout;
}

struct GridFixture {
    std::shared_ptr<UIWindow> window = visibleWindow({320, 568});
    std::shared_ptr<Grid> grid = std::make_shared<Grid>();
    UICollectionViewPtr view;
    explicit GridFixture(long count, UICollectionViewFlowLayoutPtr layout = phoneLayout()) {
        view = std::make_shared<UICollectionView>(CGRectMake(0, 0, 320, 568), layout);
        view->registerClass<GridCell>("GridCell");
        grid->count = count;
        view->setDataSource(grid);
        view->setDelegate(grid);
        window->addSubview(view);
        view->reloadData();
        window->layoutAndDisplayIfNeeded();
    }
};

bool close(CGFloat a, CGFloat b) { return std::fabs(a - b) < 0.01; }
}  // namespace

TEST_CASE("the flow layout justifies full rows, leaves the last one at the left and sizes the content at once") {
    const CGFloat width = (320.0f - 24.0f) / 3.0f, height = static_cast<float>(width * 1.51f + 30.0f);
    REQUIRE(close(width, 98.6667));
    REQUIRE(close(height, 178.9867));
    const CGFloat pitch = height + 6;
    struct Case {
        const char* name;
        long count;
        CGFloat interitem;
        std::vector<std::pair<long, CGPoint>> origins;  // item -> expected origin
        CGFloat contentHeight;
    };
    const Case cases[] = {
        {"30 items, spacing 6",
         30,
         6,
         {{0, {6, 6}}, {1, {110.6667, 6}}, {2, {215.3333, 6}}, {4, {110.6667, 6 + pitch}}, {29, {215.3333, 6 + 9 * pitch}}},
         6 + 10 * height + 9 * 6 + 6},
        {"30 items, the screens' spacing 0.5 still spreads full rows",
         30,
         0.5,
         {{3, {6, 6 + pitch}}, {5, {215.3333, 6 + pitch}}, {29, {215.3333, 6 + 9 * pitch}}},
         6 + 10 * height + 9 * 6 + 6},
        {"32 items: the last row keeps the minimum spacing from the left",
         32,
         0.5,
         {{30, {6, 6 + 10 * pitch}}, {31, {6 + width + 0.5, 6 + 10 * pitch}}},
         6 + 11 * height + 10 * 6 + 6},
        {"no items: no insets either", 0, 6, {}, 0},
    };
    for (const auto& c : cases) {
        CAPTURE(std::string(c.name));
        auto layout = phoneLayout(c.interitem);
        auto view = std::make_shared<UICollectionView>(CGRectMake(0, 0, 320, 568), layout);
        auto grid = std::make_shared<Grid>();
        grid->count = c.count;
        view->setDataSource(grid);
        view->reloadData();
        // No layout pass yet: the content size is known right after reloadData.
        CHECK(close(view->contentSize().width, 320));
        CHECK(close(view->contentSize().height, c.contentHeight));
        for (auto& [item, origin] : c.origins) {
            CAPTURE(item);
            auto a = view->layoutAttributesForItemAtIndexPath(NSIndexPath::indexPathForItem(item, 0));
            REQUIRE(a);
            CHECK(close(a->frame.origin.x, origin.x));
            CHECK(close(a->frame.origin.y, origin.y));
            CHECK(close(a->frame.size.width, width));
        }
        // Every justified row ends at the right inset.
        if (c.count >= 3) {
            auto third = view->layoutAttributesForItemAtIndexPath(NSIndexPath::indexPathForItem(2, 0));
            CHECK(close(CGRectGetMaxX(third->frame), 314));
        }
        CHECK_FALSE(view->layoutAttributesForItemAtIndexPath(NSIndexPath::indexPathForItem(c.count, 0)));
    }

    // The delegate's answers take the place of the layout's properties; a
    // header comes before the section's inset.
    auto layout = phoneLayout(6);
    layout->setHeaderReferenceSize(CGSizeMake(0, 40));
    auto view = std::make_shared<UICollectionView>(CGRectMake(0, 0, 320, 568), layout);
    auto grid = std::make_shared<Grid>();
    grid->count = 3;
    grid->itemSizeAnswer = CGSizeMake(100, 50);
    grid->insetAnswer = UIEdgeInsetsMake(10, 10, 10, 10);
    view->setDataSource(grid);
    view->setDelegate(grid);
    view->reloadData();
    // Two fit in 300 points: the full row spreads to both insets; the third starts a row.
    const std::pair<long, CGPoint> expected[] = {{0, {10, 50}}, {1, {210, 50}}, {2, {10, 106}}};
    for (auto& [item, origin] : expected) {
        CAPTURE(item);
        auto a = view->layoutAttributesForItemAtIndexPath(NSIndexPath::indexPathForItem(item, 0));
        REQUIRE(a);
        CHECK(a->frame == CGRectMake(origin.x, origin.y, 100, 50));
    }
    CHECK(close(view->contentSize().height, 40 + 10 + 50 + 6 + 50 + 10));

    // The header view stands above the section, the collection's width.
    view->registerClassForSupplementaryViewOfKind(UICollectionElementKindSectionHeader, "Header",
                                                  [] { return std::make_shared<UICollectionReusableView>(); });
    view->registerClass<GridCell>("GridCell");
    view->layoutIfNeeded();
    auto header = view->supplementaryViewForElementKind(UICollectionElementKindSectionHeader,
                                                        NSIndexPath::indexPathForItem(0, 0));
    REQUIRE(header);
    CHECK(header->frame() == CGRectMake(0, 0, 320, 40));
    CHECK(header->reuseIdentifier() == "Header");
    CHECK(view->visibleCells().size() == 3);
}

TEST_CASE("scrolling a grid of 90 items makes cells only for what is visible and reuses the ones that left") {
    GridFixture f(90);
    auto& view = *f.view;
    REQUIRE(view.visibleCells().size() == 12);  // four rows show, the fourth in part
    CHECK(view.cellForItemAtIndexPath(NSIndexPath::indexPathForItem(11, 0)));
    CHECK_FALSE(view.cellForItemAtIndexPath(NSIndexPath::indexPathForItem(12, 0)));

    std::size_t mostVisible = 0;
    view.beginDragging();
    CGFloat bottom = view.maximumContentOffset().y;
    REQUIRE(bottom > 4900);  // thirty rows less one screen
    for (CGFloat y = 0; y <= bottom; y += 37) {
        view.dragToContentOffset(CGPointMake(0, y));
        mostVisible = std::max(mostVisible, view.visibleCells().size());
        // Each visible cell stands where the layout puts its item and shows it.
        for (auto& path : view.indexPathsForVisibleItems()) {
            auto cell = std::dynamic_pointer_cast<GridCell>(view.cellForItemAtIndexPath(path));
            REQUIRE(cell);
            CHECK(cell->frame() == view.layoutAttributesForItemAtIndexPath(path)->frame);
            CHECK(cell->label->text() == std::to_string(path.item()));
            CHECK(cell->superview().get() == &view);
            CHECK(view.indexPathForCell(*cell) == path);
        }
    }
    view.dragToContentOffset(CGPointMake(0, bottom));
    view.endDragging();
    CHECK(mostVisible <= 15);
    CHECK(view.reuseQueue().madeCount() <= mostVisible + 3);
    // At the end, the first items are off screen and their cells went to be reused.
    CHECK_FALSE(view.cellForItemAtIndexPath(NSIndexPath::indexPathForItem(0, 0)));
    CHECK(view.cellForItemAtIndexPath(NSIndexPath::indexPathForItem(89, 0)));
    std::size_t reused = 0;
    for (auto& cell : view.visibleCells()) reused += cell->reuseCount() > 0;
    CHECK(reused > 0);
    CHECK(view.subviews().size() == view.visibleCells().size());
}

TEST_CASE("a tap through the window's touch driver selects the item under the finger, a drag does not") {
    GridFixture f(90);
    auto& view = *f.view;
    view.setContentOffset(CGPointMake(0, 1000));
    const NSIndexPath target = NSIndexPath::indexPathForItem(19, 0);  // row 6, third column
    auto cell = view.cellForItemAtIndexPath(target);
    REQUIRE(cell);
    CGPoint inWindow = view.convertPointToView(CGPointMake(CGRectGetMidX(cell->frame()), CGRectGetMidY(cell->frame())),
                                               f.window.get());
    auto touch = f.window->touchBegan(inWindow);
    REQUIRE(touch);
    CHECK(cell->isHighlighted());
    f.window->touchEnded(touch, inWindow);
    CHECK_FALSE(cell->isHighlighted());
    REQUIRE(f.grid->selections.size() == 1);
    CHECK(f.grid->selections[0] == target);
    CHECK(cell->isSelected());
    CHECK(view.indexPathsForSelectedItems() == std::vector<NSIndexPath>{target});
    CHECK(view.indexPathForItemAtPoint(view.convertPointFromView(inWindow, f.window.get())) == target);

    // A finger that drags scrolls and selects nothing.
    auto drag = f.window->touchBegan(inWindow);
    REQUIRE(drag);
    f.window->touchMoved(drag, CGPointMake(inWindow.x, inWindow.y - 80));
    f.window->touchEnded(drag, CGPointMake(inWindow.x, inWindow.y - 80));
    CHECK(f.grid->selections.size() == 1);
    CHECK(view.contentOffset().y > 1000);

    // Selection by code tells the delegate nothing; reloadData forgets it.
    view.selectItemAtIndexPath(NSIndexPath::indexPathForItem(20, 0), false);
    CHECK(f.grid->selections.size() == 1);
    CHECK_FALSE(cell->isSelected());
    view.reloadData();
    CHECK(view.indexPathsForSelectedItems().empty());
}

TEST_CASE("an interface file registered by name builds the cells of a collection") {
    int built = 0;
    UINib::registerNibFactory("TestGridCell", [&built](const std::shared_ptr<NSObject>&) {
        ++built;
        auto cell = std::make_shared<GridCell>();
        cell->label->setAccessibilityIdentifier("movieTitle");
        return UINib::Objects{cell};
    });
    CHECK_FALSE(UINib::nibWithNibName("NoSuchFile", nullptr));
    auto nib = UINib::nibWithNibName("TestGridCell", nullptr);
    REQUIRE(nib);

    GridFixture f(0);
    f.grid->identifier = "FromFile";
    f.grid->count = 6;
    f.view->registerNib(nib, "FromFile");
    f.view->reloadData();
    f.window->layoutAndDisplayIfNeeded();
    REQUIRE(f.view->visibleCells().size() == 6);
    CHECK(built == 6);
    for (auto& c : f.view->visibleCells()) {
        auto cell = std::dynamic_pointer_cast<GridCell>(c);
        REQUIRE(cell);
        CHECK(cell->awoke);
        CHECK(cell->reuseIdentifier() == "FromFile");
        CHECK(cell->label->accessibilityIdentifier() == "movieTitle");
    }
    // Nothing registered under an identifier: no cell, logged, the place stays empty.
    CHECK_FALSE(f.view->dequeueReusableCellWithReuseIdentifier("Unregistered", NSIndexPath::indexPathForItem(0, 0)));
    UINib::unregisterNibFactory("TestGridCell");
    CHECK_FALSE(UINib::nibWithNibName("TestGridCell", nullptr));
}

namespace {
// Rows of three heights; the selected row carries the checkmark.
struct CountingRow : UITableViewCell {
    static inline int preparedTotal = 0;
    CountingRow() : UITableViewCell(UITableViewCellStyleSubtitle) {}
    void prepareForReuse() override {
        UITableViewCell::prepareForReuse();
        ++preparedTotal;
    }
};

struct Rows : UITableViewDataSource, UITableViewDelegate {
    long count = 40;
    bool viaRegistration = false;
    std::optional<NSIndexPath> chosen;
    std::vector<NSIndexPath> selections;
    int prepared = 0;
    static CGFloat height(long row) { return 30 + 10 * (row % 3); }
    long numberOfRowsInSection(UITableView&, long) override { return count; }
    UITableViewCellPtr cellForRowAtIndexPath(UITableView& table, const NSIndexPath& path) override {
        auto cell = viaRegistration ? table.dequeueReusableCellWithIdentifier("Row", path)
                                    : table.dequeueReusableCellWithIdentifier("Row");
        if (!cell) cell = std::make_shared<UITableViewCell>(UITableViewCellStyleSubtitle, "Row");
        cell->textLabel()->setText("Row " + std::to_string(path.row()));
        cell->detailTextLabel()->setText("detail");
        cell->setAccessoryType(chosen == path ? UITableViewCellAccessoryCheckmark : UITableViewCellAccessoryNone);
        return cell;
    }
    std::optional<CGFloat> heightForRowAtIndexPath(UITableView&, const NSIndexPath& path) override {
        return height(path.row());
    }
    void didSelectRowAtIndexPath(UITableView& table, const NSIndexPath& path) override {
        selections.push_back(path);
        chosen = path;
        table.deselectRowAtIndexPath(path, false);
        table.reloadData();
    }
};
}  // namespace

TEST_CASE("a table places rows by the delegate's heights, reuses them by identifier and checks the row tapped") {
    auto window = visibleWindow({320, 480});
    auto rows = std::make_shared<Rows>();
    auto table = std::make_shared<UITableView>(CGRectMake(0, 0, 320, 480));
    table->setDataSource(rows);
    table->setDelegate(rows);
    window->addSubview(table);
    table->reloadData();
    CGFloat total = 0;
    for (long r = 0; r < rows->count; ++r) total += Rows::height(r);
    CHECK(table->contentSize() == CGSizeMake(320, total));  // at once, before any layout pass
    window->layoutAndDisplayIfNeeded();

    // Rows stand one under the other by their heights; only those on screen have cells.
    CGFloat y = 0;
    long shown = 0;
    for (long r = 0; r < rows->count; ++r) {
        CAPTURE(r);
        auto path = NSIndexPath::indexPathForRow(r, 0);
        CHECK(table->rectForRowAtIndexPath(path) == CGRectMake(0, y, 320, Rows::height(r)));
        auto cell = table->cellForRowAtIndexPath(path);
        CHECK(static_cast<bool>(cell) == (y < 480));
        if (cell) {
            ++shown;
            CHECK(cell->frame() == CGRectMake(0, y, 320, Rows::height(r)));
            CHECK(table->indexPathForCell(*cell) == path);
            CHECK(cell->textLabel()->text() == "Row " + std::to_string(r));
        }
        y += Rows::height(r);
    }
    CHECK(table->visibleCells().size() == static_cast<std::size_t>(shown));
    CHECK(table->indexPathForRowAtPoint(CGPointMake(10, 75)) == NSIndexPath::indexPathForRow(2, 0));  // 30 + 40 = 70
    CHECK_FALSE(table->indexPathForRowAtPoint(CGPointMake(10, total + 1)));

    // Scrolling to the end reuses the cells that left (one identifier, no more made).
    std::size_t firstCells = table->visibleCells().size();
    std::set<UITableViewCell*> made;
    for (CGFloat offset = 0; offset <= table->maximumContentOffset().y; offset += 25) {
        table->setContentOffset(CGPointMake(0, offset));
        for (auto& cell : table->visibleCells()) made.insert(cell.get());
    }
    CHECK(made.size() <= firstCells + 2);
    CHECK(table->reuseQueue().waitingCount() <= 2);
    CHECK_FALSE(table->cellForRowAtIndexPath(NSIndexPath::indexPathForRow(0, 0)));
    CHECK(table->cellForRowAtIndexPath(NSIndexPath::indexPathForRow(rows->count - 1, 0)));
    table->setContentOffset(CGPointZero);

    // A tap on row 3 selects it through the delegate, which checks it.
    const auto target = NSIndexPath::indexPathForRow(3, 0);
    CGRect rowRect = table->rectForRowAtIndexPath(target);
    CGPoint tap = CGPointMake(100, CGRectGetMidY(rowRect));
    REQUIRE(window->tap(tap));
    REQUIRE(rows->selections.size() == 1);
    CHECK(rows->selections[0] == target);
    CHECK_FALSE(table->indexPathForSelectedRow());  // the delegate deselected it
    window->layoutAndDisplayIfNeeded();
    auto checked = table->cellForRowAtIndexPath(target);
    REQUIRE(checked);
    CHECK(checked->accessoryType() == UITableViewCellAccessoryCheckmark);

    // The checkmark is drawn in the tint colour at the right end of the row; the
    // row above has none.
    auto image = window->snapshotImage(2);
    const CGFloat tickX = 320 - kTableViewCellAccessoryWidth + 18 + 2.5;
    CHECK(near(probe(image, tickX, CGRectGetMidY(rowRect) - 0.5, 2), 0, 122, 255, 255, 40));
    CGRect above = table->rectForRowAtIndexPath(NSIndexPath::indexPathForRow(2, 0));
    CHECK(near(probe(image, tickX, CGRectGetMidY(above) - 0.5, 2), 255, 255, 255));

    // Selection by code shows the selected background and tells the delegate nothing.
    table->selectRowAtIndexPath(NSIndexPath::indexPathForRow(1, 0), false, UITableViewScrollPositionNone);
    CHECK(rows->selections.size() == 1);
    CHECK(table->cellForRowAtIndexPath(NSIndexPath::indexPathForRow(1, 0))->isSelected());
    CHECK(table->indexPathForSelectedRow() == NSIndexPath::indexPathForRow(1, 0));
}

TEST_CASE("a table's registered cell class is made only when none waits, and waiting cells are prepared for reuse") {
    auto window = visibleWindow({320, 200});
    auto rows = std::make_shared<Rows>();
    rows->viaRegistration = true;
    auto table = std::make_shared<UITableView>(CGRectMake(0, 0, 320, 200));
    table->registerClass<CountingRow>("Row");
    table->setDataSource(rows);
    table->setDelegate(rows);
    window->addSubview(table);
    table->reloadData();
    window->layoutAndDisplayIfNeeded();
    CountingRow::preparedTotal = 0;
    std::size_t firstMade = table->reuseQueue().madeCount();
    CHECK(firstMade == table->visibleCells().size());
    table->setContentOffset(CGPointMake(0, table->maximumContentOffset().y));
    // Rows far below reused the cells that left: nothing new was made.
    CHECK(table->reuseQueue().madeCount() <= firstMade + 1);
    CHECK(CountingRow::preparedTotal >= static_cast<int>(table->visibleCells().size()) - 1);
    for (auto& cell : table->visibleCells()) {
        CHECK(dynamic_cast<CountingRow*>(cell.get()));
        CHECK(cell->reuseIdentifier() == "Row");
        CHECK(cell->frame() == table->rectForRowAtIndexPath(*table->indexPathForCell(*cell)));
    }
    // Nothing registered: logged and null.
    CHECK_FALSE(table->dequeueReusableCellWithIdentifier("Other", NSIndexPath::indexPathForRow(0, 0)));
}
