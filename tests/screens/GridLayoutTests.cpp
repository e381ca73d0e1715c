// Protects the poster grid's layout table: columns, insets and spacings per device and orientation, the item
// sizes computed as the device computes them, and the cells' places in a real collection view.
#include <doctest/doctest.h>

#include <memory>

#include "platform/uikit/UICollectionView.h"
#include "platform/uikit/UIDevice.h"
#include "platform/uikit/UIScreen.h"
#include "screens/GridLayout.h"
#include "screens/GridScreenFixture.h"

namespace {

// Sets the device and the screen for one case and puts them back afterwards.
struct DeviceSetting {
    DeviceSetting(UIUserInterfaceIdiom idiom, CGSize portrait) {
        UIDevice::currentDevice()->setUserInterfaceIdiom(idiom);
        UIScreen::mainScreen()->setBounds(CGRectMake(0, 0, portrait.width, portrait.height));
    }
    ~DeviceSetting() {
        UIDevice::currentDevice()->resetToDefaults();
        UIScreen::mainScreen()->setBounds(CGRectMake(0, 0, 320, 568));
    }
};

class CountingSource : public UICollectionViewDataSource {
public:
    explicit CountingSource(long count) : count_(count) {}
    long numberOfItemsInSection(UICollectionView&, long) override { return count_; }
    UICollectionViewCellPtr cellForItemAtIndexPath(UICollectionView& view, const NSIndexPath& path) override {
        return view.dequeueReusableCellWithReuseIdentifier("cell", path);
    }

private:
    long count_;
};

}  // namespace

TEST_CASE("the grid table gives columns, insets, spacings and item sizes for each device and orientation") {
    struct Row {
        UIUserInterfaceIdiom idiom;
        CGSize screen;
        UIInterfaceOrientation orientation;
        int columns;
        CGFloat inset, line;
        float width, height;
    };
    const Row rows[] = {
        {UIUserInterfaceIdiomPhone, {320, 568}, UIInterfaceOrientationPortrait, 3, 6, 6, 98.6667f, 178.9867f},
        {UIUserInterfaceIdiomPhone, {320, 568}, UIInterfaceOrientationPortraitUpsideDown, 3, 6, 6, 98.6667f, 178.9867f},
        {UIUserInterfaceIdiomPhone, {320, 568}, UIInterfaceOrientationLandscapeLeft, 5, 6, 6, 106.4f, 190.664f},
        {UIUserInterfaceIdiomPhone, {320, 568}, UIInterfaceOrientationLandscapeRight, 5, 6, 6, 106.4f, 190.664f},
        {UIUserInterfaceIdiomPad, {768, 1024}, UIInterfaceOrientationPortrait, 5, 10, 15, 141.6f, 243.816f},
        {UIUserInterfaceIdiomPad, {768, 1024}, UIInterfaceOrientationLandscapeRight, 6, 10, 15, 159.0f, 270.09f},
        // The screen reporting landscape bounds changes nothing: the shorter side is portrait's width.
        {UIUserInterfaceIdiomPad, {1024, 768}, UIInterfaceOrientationPortrait, 5, 10, 15, 141.6f, 243.816f},
    };
    for (const Row& row : rows) {
        CAPTURE(row.idiom);
        CAPTURE(row.orientation);
        DeviceSetting device(row.idiom, row.screen);
        auto layout = makeGridLayout(row.orientation);
        CHECK(layout->scrollDirection() == UICollectionViewScrollDirectionVertical);
        CHECK(layout->sectionInset() == UIEdgeInsets{row.inset, row.inset, row.inset, row.inset});
        CHECK(layout->minimumLineSpacing() == row.line);
        CHECK(layout->minimumInteritemSpacing() == 0.5);
        CHECK(static_cast<float>(layout->itemSize().width) == doctest::Approx(row.width).epsilon(1e-6));
        CHECK(static_cast<float>(layout->itemSize().height) == doctest::Approx(row.height).epsilon(1e-6));
        CHECK(gridMetrics(row.idiom == UIUserInterfaceIdiomPad, isLandscapeOrientation(row.orientation)).columns ==
              row.columns);
    }
    // Single precision for the width, double for the height from it, then back to single.
    const CGSize phone = gridItemSize(320, gridMetrics(false, false));
    CHECK(phone.width == static_cast<double>(296.0f / 3.0f));
    CHECK(phone.height == static_cast<double>(static_cast<float>(static_cast<double>(296.0f / 3.0f) * 1.51 + 30.0)));
}

TEST_CASE("a 320-point phone grid places three columns at x = 6 + column x 104.6667, rows 6 apart") {
    DeviceSetting device(UIUserInterfaceIdiomPhone, {320, 568});
    auto grid = std::make_shared<UICollectionView>(CGRectMake(0, 0, 320, 455), makeGridLayout(UIInterfaceOrientationPortrait));
    grid->registerClass<UICollectionViewCell>("cell");
    auto source = std::make_shared<CountingSource>(30);
    grid->setDataSource(source);
    grid->reloadData();
    gridtest::checkPhoneGridFrames(*grid, 30);
    const double height = static_cast<float>(static_cast<float>(296.0f / 3.0f) * 1.51 + 30.0);
    CHECK(grid->contentSize().height == doctest::Approx(6 + 10 * height + 9 * 6 + 6));
}
