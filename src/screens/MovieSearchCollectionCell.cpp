#include "screens/MovieSearchCollectionCell.h"

#include "platform/uikit/UINib.h"
#include "screens/PosterCellContent.h"

void MovieSearchCollectionCell::registerInterfaceFile() {
    UINib::registerNibFactory(kMovieSearchCollectionCellNibName, [](const std::shared_ptr<NSObject>&) {
        auto cell = std::make_shared<MovieSearchCollectionCell>(CGRectMake(0, 0, kPosterCellDesignWidth, kPosterCellDesignHeight));
        const PosterCellContent content = addPosterCellContent(cell->contentView());
        cell->setMoviePoster(content.poster);
        cell->setMovieTitle(content.title);
        return UINib::Objects{cell};
    });
}
