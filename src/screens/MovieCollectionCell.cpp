#include "screens/MovieCollectionCell.h"

void MovieCollectionCell::registerInterfaceFile() { registerInterfaceFileOf<MovieCollectionCell>(kMovieCollectionCellNibName); }
