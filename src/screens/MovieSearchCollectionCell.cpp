#include "screens/MovieSearchCollectionCell.h"

#include "platform/uikit/UINib.h"
#include "screens/PosterCellContent.h"

void MovieSearchCollectionCell::registerInterfaceFile() {
    UINib::registerNibFactory(kMovieSearchCollectionCellNibName, [](const std::shared_ptr<NSObject>&) {
        const CGRect frame = CGRectMake(0, 0, kPosterCellDesignWidth, kPosterCellDesignHeight);
        auto cell = std::make_shared<MovieSearchCollectionCell>(frame);
        const PosterCellContent content = addPosterCellContent(cell->contentView());
        cell->setMoviePoster(content.poster);
        cell->setMovieTitle(content.title);
        return UINib::Objects{cell};
    });
}
