#include "screens/MovieCollectionCell.h"

#include "platform/uikit/UINib.h"
#include "screens/PosterCellContent.h"

void MovieCollectionCell::registerInterfaceFile() {
    UINib::registerNibFactory(kMovieCollectionCellNibName, [](const std::shared_ptr<NSObject>&) {
        const CGRect frame = CGRectMake(0, 0, kPosterCellDesignWidth, kPosterCellDesignHeight);
        auto cell = std::make_shared<MovieCollectionCell>(frame);
        const PosterCellContent content = addPosterCellContent(cell->contentView());
        cell->setMoviePoster(content.poster);
        cell->setMovieTitle(content.title);
        return UINib::Objects{cell};
    });
}
