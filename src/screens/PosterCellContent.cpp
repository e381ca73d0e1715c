#include "screens/PosterCellContent.h"

#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UILabel.h"

namespace {
constexpr long kAlignCentre = 1;
constexpr long kTruncateTail = 4;
}  // namespace

PosterCellContent addPosterCellContent(const std::shared_ptr<UIView>& contentView) {
    const CGRect box = contentView->bounds();
    const CGFloat posterHeight = box.size.height - kPosterCellTitleHeight;

    PosterCellContent content;
    content.poster = std::make_shared<UIImageView>(CGRectMake(0, 0, box.size.width, posterHeight));
    content.poster->setContentMode(UIViewContentModeScaleAspectFill);
    content.poster->setClipsToBounds(true);
    content.poster->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
    content.poster->setAccessibilityIdentifier("moviePoster");
    contentView->addSubview(content.poster);

    content.title = std::make_shared<UILabel>(CGRectMake(2, posterHeight, box.size.width - 4, kPosterCellTitleHeight));
    content.title->setFont(UIFont::systemFontOfSize(11));
    content.title->setTextColor(UIColor::whiteColor()->CGColor());
    content.title->setTextAlignment(kAlignCentre);
    content.title->setNumberOfLines(2);
    content.title->setLineBreakMode(kTruncateTail);
    content.title->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleTopMargin);
    content.title->setAccessibilityIdentifier("movieTitle");
    contentView->addSubview(content.title);
    return content;
}
