#pragma once
// The poster grid's flow layout, shared by every screen that shows the grid
// cells (movies, TV shows, search, favourites): a fixed number of columns per
// device and orientation, square insets, the item size computed from the
// screen's width as the device computes it (the width in single precision,
// the height from that width in double precision, then back to single).
//
//   device, orientation   columns  inset  line spacing
//   phone, portrait          3       6         6
//   phone, landscape         5       6         6
//   tablet, portrait         5      10        15
//   tablet, landscape        6      10        15
//
// The width W is the main screen's shorter side in portrait and its longer
// side in landscape (orientations 3 and 4; anything else is portrait), so the
// layout is right whichever way the screen reports its bounds. The minimum
// spacing between items is 0.5: the flow layout justifies full rows, so the
// columns land exactly on the insets.
//
// Main thread only.
#include "platform/graphics/CGGeometry.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UICollectionViewFlowLayout.h"

struct GridMetrics {
    int columns = 3;
    CGFloat inset = 6;
    CGFloat lineSpacing = 6;
};

inline constexpr CGFloat kGridInteritemSpacing = 0.5;

bool isLandscapeOrientation(UIInterfaceOrientation orientation);
GridMetrics gridMetrics(bool tablet, bool landscape);
// The item size for a screen `width` points wide (W above).
CGSize gridItemSize(CGFloat width, const GridMetrics& metrics);
// W for the orientation: the main screen's shorter or longer side.
CGFloat gridScreenWidth(UIInterfaceOrientation orientation);

// A new vertical flow layout for the device (isTablet()) and the orientation.
UICollectionViewFlowLayoutPtr makeGridLayout(UIInterfaceOrientation orientation);
