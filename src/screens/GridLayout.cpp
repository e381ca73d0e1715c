#include "screens/GridLayout.h"

#include <algorithm>

#include "platform/uikit/UIScreen.h"
#include "screens/ScreenStyle.h"

bool isLandscapeOrientation(UIInterfaceOrientation orientation) {
    return orientation == UIInterfaceOrientationLandscapeLeft || orientation == UIInterfaceOrientationLandscapeRight;
}

GridMetrics gridMetrics(bool tablet, bool landscape) {
    if (tablet) return GridMetrics{landscape ? 6 : 5, 10, 15};
    return GridMetrics{landscape ? 5 : 3, 6, 6};
}

CGSize gridItemSize(CGFloat width, const GridMetrics& metrics) {
    const float columns = static_cast<float>(metrics.columns);
    const float itemWidth =
        (static_cast<float>(width) - static_cast<float>(metrics.inset) * (columns + 1.0f)) / columns;
    const double itemHeight = static_cast<double>(itemWidth) * 1.51 + 30.0;
    return CGSizeMake(itemWidth, static_cast<float>(itemHeight));
}

CGFloat gridScreenWidth(UIInterfaceOrientation orientation) {
    const CGRect bounds = UIScreen::mainScreen()->bounds();
    const CGFloat shorter = std::min(bounds.size.width, bounds.size.height);
    const CGFloat longer = std::max(bounds.size.width, bounds.size.height);
    return isLandscapeOrientation(orientation) ? longer : shorter;
}

UICollectionViewFlowLayoutPtr makeGridLayout(UIInterfaceOrientation orientation) {
    const GridMetrics metrics = gridMetrics(isTablet(), isLandscapeOrientation(orientation));
    auto layout = std::make_shared<UICollectionViewFlowLayout>();
    layout->setScrollDirection(UICollectionViewScrollDirectionVertical);
    layout->setItemSize(gridItemSize(gridScreenWidth(orientation), metrics));
    layout->setSectionInset(UIEdgeInsets{metrics.inset, metrics.inset, metrics.inset, metrics.inset});
    layout->setMinimumLineSpacing(metrics.lineSpacing);
    layout->setMinimumInteritemSpacing(kGridInteritemSpacing);
    return layout;
}
