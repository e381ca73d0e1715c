#include "screens/PosterCollectionCell.h"

#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UILabel.h"

namespace {
constexpr long kAlignCentre = 1;
constexpr long kTruncateTail = 4;
}  // namespace

void PosterCollectionCell::addPosterAndTitle() {
    const auto& content = contentView();
    const CGRect box = content->bounds();
    const CGFloat posterHeight = box.size.height - kTitleHeight;

    auto poster = std::make_shared<UIImageView>(CGRectMake(0, 0, box.size.width, posterHeight));
    poster->setContentMode(UIViewContentModeScaleAspectFill);
    poster->setClipsToBounds(true);
    poster->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
    poster->setAccessibilityIdentifier("moviePoster");
    content->addSubview(poster);
    setMoviePoster(poster);

    auto title = std::make_shared<UILabel>(CGRectMake(2, posterHeight, box.size.width - 4, kTitleHeight));
    title->setFont(UIFont::systemFontOfSize(11));
    title->setTextColor(UIColor::whiteColor()->CGColor());
    title->setTextAlignment(kAlignCentre);
    title->setNumberOfLines(2);
    title->setLineBreakMode(kTruncateTail);
    title->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleTopMargin);
    title->setAccessibilityIdentifier("movieTitle");
    content->addSubview(title);
    setMovieTitle(title);
}
