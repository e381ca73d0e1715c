#pragma once
// What the two grid cells show, laid out the same way: the poster filling the
// cell above a title strip of up to two white lines. The subviews follow the
// cell's size (autoresizing): the poster takes the width and every point of
// height but the strip's, the strip keeps its height at the bottom.
// Main thread only.
#include <memory>

#include "platform/graphics/CGGeometry.h"

class UIImageView;
class UILabel;
class UIView;

// The size the interface files give their cells (the grids resize them).
inline constexpr CGFloat kPosterCellDesignWidth = 100;
inline constexpr CGFloat kPosterCellDesignHeight = 181;
// The height of the title strip under the poster.
inline constexpr CGFloat kPosterCellTitleHeight = 30;

struct PosterCellContent {
    std::shared_ptr<UIImageView> poster;  // accessibilityIdentifier "moviePoster"
    std::shared_ptr<UILabel> title;       // accessibilityIdentifier "movieTitle"
};

// Adds the poster and the title to the cell's content view, empty.
PosterCellContent addPosterCellContent(const std::shared_ptr<UIView>& contentView);
