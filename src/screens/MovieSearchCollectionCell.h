#pragma once
// The poster cell of the search screen (PosterCollectionCell.h says
// what it shows), made from the interface file "MovieSearchCollectionCell", which
// registerInterfaceFile registers at start-up (main thread). The grids register
// that file under the reuse identifier "MovieSearchCollectionCellIdentifier".
#include "screens/PosterCollectionCell.h"

inline constexpr const char* kMovieSearchCollectionCellNibName = "MovieSearchCollectionCell";
inline constexpr const char* kMovieSearchCollectionCellIdentifier = "MovieSearchCollectionCellIdentifier";

class MovieSearchCollectionCell : public PosterCollectionCell {
public:
    using PosterCollectionCell::PosterCollectionCell;
    static void registerInterfaceFile();
};
