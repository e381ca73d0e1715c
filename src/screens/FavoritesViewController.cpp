#include "screens/FavoritesViewController.h"

#include "core/AppDelegate.h"
#include "core/MoviesModel.h"
#include "platform/coredata/NSFetchRequest.h"
#include "platform/base/ThreadAssertions.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UINavigationBar.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UINib.h"
#include "platform/uikit/UIStoryboard.h"
#include "platform/uikit/UITabBar.h"
#include "platform/uikit/UITabBarController.h"
#include "screens/DetailMoviesViewController.h"
#include "screens/GridCells.h"
#include "screens/GridLayout.h"
#include "screens/MainStoryboard.h"
#include "screens/MovieCollectionCell.h"
#include "screens/ScreenStyle.h"
#include "screens/ScreenAds.h"
#include "ui/layout/LYLayout.h"

// ------------------------------------------------------------------ life cycle

void FavoritesViewController::viewDidLoad() {
    QV_ASSERT_MAIN_THREAD();
    MyViewController::viewDidLoad();
    if (auto navigation = navigationController()) navigation->setNavigationBarHidden(true);
    configurationView();
    auto delegate = AppDelegate::shared();
    if (delegate && delegate->checkShowAdvertising()) showBannerView();
}

void FavoritesViewController::showBannerView() {
    loadConfiguredBanner(bannerView.lock(), self<FavoritesViewController>(), self<FavoritesViewController>());
}

void FavoritesViewController::configurationView() {
    const CGColorRef colour = screenColor()->CGColor();
    if (auto tabs = tabBarController()) tabs->tabBar()->setBarTintColor(colour);
    if (auto navigation = navigationController()) navigation->navigationBar()->setTintColor(colour);
    view()->setBackgroundColor(colour);
    auto grid = collectionView.lock();
    if (grid) grid->setBackgroundColor(colour);
    // On a phone the grid spans its superview; on a tablet the scene places it.
    if (grid && !isTablet()) {
        if (auto superview = grid->superview()) {
            superview->addConstraint(
                layoutLeadingOf(grid)->equalTo()->leadingOf(superview)->multipliedTo(1)->plus(0)->asConstraint());
            superview->addConstraint(
                layoutTrailingOf(grid)->equalTo()->trailingOf(superview)->multipliedTo(1)->plus(0)->asConstraint());
        }
    }
    sizeBannerArea(bannerView.lock(), BannerArea::List);
    moviesFavorites_.clear();
    if (grid) grid->registerNib(UINib::nibWithNibName(kMovieCollectionCellNibName, nullptr), kMovieCollectionCellIdentifier);
}

void FavoritesViewController::viewWillAppear(bool animated) {
    QV_ASSERT_MAIN_THREAD();
    MyViewController::viewWillAppear(animated);
    auto center = NSNotificationCenter::defaultCenter();
    center->removeObserver(this, kRefreshMovieViewNotification);  // never twice
    center->addObserver(self<NSObject>(), [this](const NSNotification& n) { refreshUIMovieView(n); },
                        kRefreshMovieViewNotification);
    setuplayoutCollectionView(UIApplication::sharedApplication()->statusBarOrientation());
    getListMoviesFavorities();
}

void FavoritesViewController::viewWillDisappear(bool animated) {
    QV_ASSERT_MAIN_THREAD();
    MyViewController::viewWillDisappear(animated);
    NSNotificationCenter::defaultCenter()->removeObserver(this, kRefreshMovieViewNotification);
}

void FavoritesViewController::didReceiveMemoryWarning() { MyViewController::didReceiveMemoryWarning(); }

void FavoritesViewController::willRotateToInterfaceOrientation(UIInterfaceOrientation orientation, double) {
    setuplayoutCollectionView(orientation);
}

void FavoritesViewController::setuplayoutCollectionView(UIInterfaceOrientation orientation) {
    if (auto grid = collectionView.lock()) grid->setCollectionViewLayout(makeGridLayout(orientation));
}

void FavoritesViewController::refreshUIMovieView(const NSNotification&) {
    if (!isTablet() || headingPin_) return;
    auto heading = viewTitle.lock();
    auto superview = heading ? heading->superview() : nullptr;
    if (!superview) return;
    headingPin_ = layoutTopOf(heading)->equalTo()->topOf(superview)->multipliedTo(1)->plus(0)->asConstraint();
    view()->addConstraint(headingPin_);
}

// ------------------------------------------------------------------ the list

std::vector<std::shared_ptr<MoviesFavoritiesModel>> FavoritesViewController::fetchFavorites() const {
    std::vector<std::shared_ptr<MoviesFavoritiesModel>> out;
    auto delegate = AppDelegate::shared();
    auto context = delegate ? delegate->managedObjectContext() : nullptr;
    if (!context) return out;
    NSErrorPtr error;  // a failed fetch leaves the grid empty
    for (const auto& object :
         context->executeFetchRequest(NSFetchRequest::fetchRequestWithEntityName("MoviesFavoritiesModel"), &error))
        if (auto record = std::dynamic_pointer_cast<MoviesFavoritiesModel>(object)) out.push_back(record);
    return out;
}

void FavoritesViewController::getListMoviesFavorities() {
    QV_ASSERT_MAIN_THREAD();
    moviesFavorites_.clear();
    // Newest first: each record goes in front of the ones before it.
    for (const auto& record : fetchFavorites()) moviesFavorites_.insert(moviesFavorites_.begin(), record);
    if (auto grid = collectionView.lock()) grid->reloadData();
}

void FavoritesViewController::loadMoreListMoviesFavorities() {
    QV_ASSERT_MAIN_THREAD();
    for (const auto& record : fetchFavorites()) moviesFavorites_.push_back(record);
    if (auto grid = collectionView.lock()) grid->reloadData();
}

// ------------------------------------------------------------------ the grid

long FavoritesViewController::numberOfSectionsInCollectionView(UICollectionView&) { return 1; }

long FavoritesViewController::numberOfItemsInSection(UICollectionView&, long) {
    return static_cast<long>(moviesFavorites_.size());
}

UICollectionViewCellPtr FavoritesViewController::cellForItemAtIndexPath(UICollectionView& grid,
                                                                        const NSIndexPath& indexPath) {
    auto cell = grid.dequeueReusableCellWithReuseIdentifier(kMovieCollectionCellIdentifier, indexPath);
    if (!cell || indexPath.item() < 0 || indexPath.item() >= static_cast<long>(moviesFavorites_.size())) return cell;
    const auto& record = moviesFavorites_[static_cast<std::size_t>(indexPath.item())];
    showPosterInCell(*cell, record->title(), record->moviesPoster());
    slideInWhileScrolling(*cell, grid);
    return cell;
}

void FavoritesViewController::didSelectItemAtIndexPath(UICollectionView&, const NSIndexPath& indexPath) {
    QV_ASSERT_MAIN_THREAD();
    if (indexPath.item() < 0 || indexPath.item() >= static_cast<long>(moviesFavorites_.size())) return;
    const auto& record = moviesFavorites_[static_cast<std::size_t>(indexPath.item())];
    auto movie = std::make_shared<MoviesModel>();
    movie->setMovieID(record->movieID().intValue());
    movie->setTitle(record->title());
    movie->setMoviesPoster(record->moviesPoster());
    movie->setMovieRating(record->movieRating().floatValue());
    movie->setMovieYear(static_cast<std::uint32_t>(record->movieYear().intValue()));

    const bool tablet = isTablet();
    auto storyboard = UIStoryboard::storyboardWithName(kMainStoryboardName, nullptr);
    auto detail = storyboard ? storyboard->instantiate<DetailMoviesViewController>(
                                   tablet ? "DetailMoviesViewController_iPad" : "DetailMoviesViewController")
                             : nullptr;
    auto navigation = navigationController();
    if (!detail || !navigation) return;
    detail->setMovieCurrent(movie);
    detail->setModalPresentationStyle(UIModalPresentationFormSheet);
    if (tablet) navigation->presentViewController(detail, true);
    else navigation->pushViewController(detail, true);
}
