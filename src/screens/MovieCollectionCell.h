#pragma once
// The poster cell of the movie grid, the TV-show grid and favourites (PosterCollectionCell.h says
// what it shows), made from the interface file "MovieCollectionCell", which
// registerInterfaceFile registers at start-up (main thread). The grids register
// that file under the reuse identifier "MovieCollectionCellIdentifier".
#include "screens/PosterCollectionCell.h"

inline constexpr const char* kMovieCollectionCellNibName = "MovieCollectionCell";
inline constexpr const char* kMovieCollectionCellIdentifier = "MovieCollectionCellIdentifier";

class MovieCollectionCell : public PosterCollectionCell {
public:
    using PosterCollectionCell::PosterCollectionCell;
    static void registerInterfaceFile();
};
