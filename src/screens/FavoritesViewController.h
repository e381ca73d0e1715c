#pragma once
// The favourites tab: the titles stored as favourites, newest first, as a grid
// of the poster cells the movie grid uses, rebuilt each time the tab is shown;
// a tapped title opens its detail page (pushed on a phone, presented as a form
// sheet on a tablet). Favourites are added and removed on the detail page only.
//
// While the screen is visible it observes "kRefreshMovieViewNotification"; on a
// tablet the first one pins the heading's top to the top of the screen's view
// (once: later ones find it pinned).
//
// Main thread only.
#include <memory>
#include <vector>

#include "core/MoviesFavoritiesModel.h"
#include "adkit/requests/AKBannerView.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/uikit/NSLayoutConstraint.h"
#include "platform/uikit/UICollectionView.h"
#include "screens/MyViewController.h"

class FavoritesViewController : public MyViewController,
                                public UICollectionViewDataSource,
                                public UICollectionViewDelegate,
                                public AKBannerViewDelegate {
public:
    // Interface elements of the scene, not owned.
    std::weak_ptr<UIView> viewTitle;
    std::weak_ptr<UICollectionView> collectionView;
    std::weak_ptr<AKBannerView> bannerView;

    // Life cycle.
    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    void viewWillDisappear(bool animated) override;
    void didReceiveMemoryWarning() override;
    void willRotateToInterfaceOrientation(UIInterfaceOrientation orientation, double duration) override;

    // Own operations.
    void configurationView();
    void setuplayoutCollectionView(UIInterfaceOrientation orientation);
    void getListMoviesFavorities();
    void loadMoreListMoviesFavorities();
    void refreshUIMovieView(const NSNotification& notification);

    // UICollectionViewDataSource and UICollectionViewDelegate.
    long numberOfSectionsInCollectionView(UICollectionView& collectionView) override;
    long numberOfItemsInSection(UICollectionView& collectionView, long section) override;
    UICollectionViewCellPtr cellForItemAtIndexPath(UICollectionView& collectionView,
                                                   const NSIndexPath& indexPath) override;
    void didSelectItemAtIndexPath(UICollectionView& collectionView, const NSIndexPath& indexPath) override;

    // The grid's items in display order.
    const std::vector<std::shared_ptr<MoviesFavoritiesModel>>& moviesFavorites() const { return moviesFavorites_; }

private:
    std::vector<std::shared_ptr<MoviesFavoritiesModel>> fetchFavorites() const;
    // Loads the configured banner unit into bannerView (ScreenAds.h).
    void showBannerView();

    std::vector<std::shared_ptr<MoviesFavoritiesModel>> moviesFavorites_;
    std::shared_ptr<NSLayoutConstraint> headingPin_;  // added on the first refresh on a tablet
};
