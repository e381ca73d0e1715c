#pragma once
// Filling a poster cell of the grids (MovieCollectionCell, and the search
// screen's MovieSearchCollectionCell, both with `movieTitle` and
// `moviePoster`): the title, the poster loaded from its URL over the
// placeholder "movie_thumb.png", and the slide a cell makes when it comes into
// view while the grid is dragged or decelerating (0.2 s down to a translation
// of (0, 50), then at once 0.3 s back to the identity). A cell made while the
// grid is at rest shows without animation.
//
// The poster view reads as "<title> poster" to accessibility (and in the
// device screen's tree) once that title's poster has arrived; while the
// placeholder shows it has no label.
//
// Main thread only.
#include <memory>
#include <string>

#include "platform/uikit/UICollectionViewCell.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UIScrollView.h"

inline constexpr const char* kPosterPlaceholderImage = "movie_thumb.png";

// "<title> poster": the label of a poster view showing that title's poster.
std::string posterAccessibilityLabel(const std::string& title);

// Shows the title and starts the poster's load (a poster that is no URL
// shows the placeholder alone). Either view may be missing.
void showPoster(const std::shared_ptr<UILabel>& titleLabel, const std::shared_ptr<UIImageView>& posterView,
                const std::string& title, const std::string& posterURL);

// showPoster on a grid cell (PosterCollectionCell: MovieCollectionCell or
// MovieSearchCollectionCell); nothing for another kind of cell.
void showPosterInCell(UICollectionViewCell& cell, const std::string& title, const std::string& posterURL);

// The slide of a cell made while the grid moves; nothing at rest.
void slideInWhileScrolling(UIView& cell, const UIScrollView& grid);
