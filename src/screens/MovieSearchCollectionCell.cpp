#include "screens/MovieSearchCollectionCell.h"

void MovieSearchCollectionCell::registerInterfaceFile() { registerInterfaceFileOf<MovieSearchCollectionCell>(kMovieSearchCollectionCellNibName); }
