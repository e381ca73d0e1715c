#include "screens/GridCells.h"

#include "imagecache/UIImageViewWebCache.h"
#include "platform/foundation/NSURL.h"
#include "platform/uikit/UIImage.h"
#include "screens/PosterCollectionCell.h"

void showPoster(const std::shared_ptr<UILabel>& titleLabel, const std::shared_ptr<UIImageView>& posterView,
                const std::string& title, const std::string& posterURL) {
    if (titleLabel) titleLabel->setText(title);
    if (!posterView) return;
    posterView->setAccessibilityLabel("");
    // A reused cell drops its previous title's load here, before the placeholder shows.
    const NSURLPtr url = NSURL::URLWithString(posterURL);
    std::weak_ptr<UIImageView> weakView = posterView;
    setImageWithURL(posterView, url, UIImage::imageNamed(kPosterPlaceholderImage),
                    [weakView, url, label = posterAccessibilityLabel(title)](UIImagePtr image, NSErrorPtr error,
                                                                             RIImageCacheType) {
                        auto view = weakView.lock();
                        if (!view || !image || error) return;
                        // Only the view's current load names it (a reused cell has moved on).
                        const NSURLPtr current = imageURL(*view);
                        if (current && url && current->absoluteString() == url->absoluteString())
                            view->setAccessibilityLabel(label);
                    });
}

std::string posterAccessibilityLabel(const std::string& title) { return title + " poster"; }

void showPosterInCell(UICollectionViewCell& cell, const std::string& title, const std::string& posterURL) {
    if (auto* poster = dynamic_cast<PosterCollectionCell*>(&cell))
        showPoster(poster->movieTitle(), poster->moviePoster(), title, posterURL);
}

void slideInWhileScrolling(UIView& cell, const UIScrollView& grid) {
    if (!grid.isDragging() && !grid.isDecelerating()) return;
    auto slid = cell.weakSelf<UIView>();
    UIView::animateWithDuration(0.2, [slid] {
        if (auto view = slid.lock()) view->setTransform(CGAffineTransformMakeTranslation(0, 50));
    });
    UIView::animateWithDuration(0.3, [slid] {
        if (auto view = slid.lock()) view->setTransform(CGAffineTransformIdentity);
    });
}
