#pragma once
// The poster cell of the movie grid, the TV-show grid and favourites. It is made from the interface
// file "MovieCollectionCell", which registerInterfaceFile registers (at start-up, on
// the main thread); the grids register that file under the reuse identifier
// "MovieCollectionCellIdentifier". The cell holds its poster and title weakly (its
// content view owns them) and shows nothing until a screen fills them.
// Main thread only.
#include <memory>

#include "platform/uikit/UICollectionViewCell.h"

class UIImageView;
class UILabel;

inline constexpr const char* kMovieCollectionCellNibName = "MovieCollectionCell";
inline constexpr const char* kMovieCollectionCellIdentifier = "MovieCollectionCellIdentifier";

class MovieCollectionCell : public UICollectionViewCell {
public:
    using UICollectionViewCell::UICollectionViewCell;

    std::shared_ptr<UILabel> movieTitle() const { return movieTitle_.lock(); }
    void setMovieTitle(const std::shared_ptr<UILabel>& label) { movieTitle_ = label; }
    std::shared_ptr<UIImageView> moviePoster() const { return moviePoster_.lock(); }
    void setMoviePoster(const std::shared_ptr<UIImageView>& imageView) { moviePoster_ = imageView; }

    // Nothing to prepare: the file built everything.
    void awakeFromNib() override {}

    static void registerInterfaceFile();

private:
    std::weak_ptr<UILabel> movieTitle_;
    std::weak_ptr<UIImageView> moviePoster_;
};
