#include "screens/PosterGridController.h"

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
#include "screens/ScreenAds.h"
#include "screens/ScreenStyle.h"
#include "ui/infinitescrolling/UIScrollViewSTInfiniteScrolling.h"
#include "ui/layout/LYLayout.h"
#include "ui/progresshud/LOProgressHUD.h"
#include "ui/pulltorefresh/UIScrollViewSTPullToRefresh.h"

#include "core/AppDelegate.h"

PosterGridController::Records recordsOfListReply(const Value& data) {
    PosterGridController::Records records;
    const Value films = data["films"];
    if (!films.isArray()) return records;
    for (const Value& film : *films.arrayRef())
        if (film.isDictionary()) records.push_back(MoviesModel::fromFilmInfo(film));
    return records;
}

// Grid data source and delegate.

long PosterGridController::numberOfItemsInSection(UICollectionView&, long) {
    return static_cast<long>(moviesArray_.size());
}

UICollectionViewCellPtr PosterGridController::cellForItemAtIndexPath(UICollectionView& collectionView,
                                                                     const NSIndexPath& indexPath) {
    auto cell = collectionView.dequeueReusableCellWithReuseIdentifier(cellKind().reuseIdentifier, indexPath);
    if (!cell || indexPath.item() < 0 || static_cast<std::size_t>(indexPath.item()) >= moviesArray_.size()) return cell;
    const auto& record = moviesArray_[static_cast<std::size_t>(indexPath.item())];
    showPosterInCell(*cell, record->title(), record->moviesPoster());
    slideInWhileScrolling(*cell, collectionView);
    return cell;
}

void PosterGridController::didSelectItemAtIndexPath(UICollectionView&, const NSIndexPath& indexPath) {
    if (indexPath.item() < 0 || static_cast<std::size_t>(indexPath.item()) >= moviesArray_.size()) return;
    openDetailPage(moviesArray_[static_cast<std::size_t>(indexPath.item())]);
}

void PosterGridController::openDetailPage(const std::shared_ptr<MoviesModel>& record) {
    auto storyboard = UIStoryboard::storyboardWithName(kMainStoryboardName, nullptr);
    auto navigation = navigationController();
    if (!storyboard || !navigation) return;
    const bool tablet = isTablet();
    auto detail = storyboard->instantiate<DetailMoviesViewController>(tablet ? "DetailMoviesViewController_iPad"
                                                                            : "DetailMoviesViewController");
    if (!detail) return;
    detail->setMovieCurrent(record);
    detail->setModalPresentationStyle(UIModalPresentationFormSheet);
    if (tablet)
        navigation->presentViewController(detail, true);
    else
        navigation->pushViewController(detail, true);
}

// Layout, rotation and the refresh notification.

void PosterGridController::setuplayoutCollectionView() {
    if (auto grid = collectionView())
        grid->setCollectionViewLayout(makeGridLayout(UIApplication::sharedApplication()->statusBarOrientation()), false);
}

void PosterGridController::willRotateToInterfaceOrientation(UIInterfaceOrientation orientation, double) {
    if (auto grid = collectionView()) grid->setCollectionViewLayout(makeGridLayout(orientation), false);
}

void PosterGridController::refreshUIMovieView(const NSNotification&) {
    QV_ASSERT_MAIN_THREAD();
    if (!isTablet() || headerTopConstraint_) return;
    auto header = headerView();
    auto superview = header ? header->superview() : nullptr;
    if (!superview) return;
    headerTopConstraint_ = layoutTopOf(header)->equalTo()->topOf(superview)->multipliedTo(1.0)->plus(0)->asConstraint();
    view()->addConstraint(headerTopConstraint_);
}

void PosterGridController::startObservingRefresh() {
    if (observingRefresh_) return;
    observingRefresh_ = true;
    auto weak = weakSelf<PosterGridController>();
    NSNotificationCenter::defaultCenter()->addObserver(
        self<PosterGridController>(),
        [weak](const NSNotification& notification) {
            if (auto screen = weak.lock()) screen->refreshUIMovieView(notification);
        },
        kRefreshMovieViewNotification);
}

void PosterGridController::stopObservingRefresh() {
    observingRefresh_ = false;
    NSNotificationCenter::defaultCenter()->removeObserver(this, kRefreshMovieViewNotification);
}

// configurationView's shared steps.

void PosterGridController::applyScreenColours() {
    const CGColorRef colour = screenColor()->CGColor();
    if (auto tabBar = tabBarController() ? tabBarController()->tabBar() : nullptr) tabBar->setBarTintColor(colour);
    if (auto navigation = navigationController()) navigation->navigationBar()->setTintColor(colour);
    view()->setBackgroundColor(colour);
    if (auto grid = collectionView()) grid->setBackgroundColor(colour);
}

void PosterGridController::pinGridWidthOnPhones() {
    auto grid = collectionView();
    auto superview = grid ? grid->superview() : nullptr;
    if (isTablet() || !superview) return;
    superview->addConstraint(layoutLeadingOf(grid)->equalTo()->leadingOf(superview)->multipliedTo(1.0)->plus(0)->asConstraint());
    superview->addConstraint(layoutTrailingOf(grid)->equalTo()->trailingOf(superview)->multipliedTo(1.0)->plus(0)->asConstraint());
}

void PosterGridController::sizeBannerArea() { ::sizeBannerArea(bannerView(), BannerArea::List); }

void PosterGridController::showBannerView() {
    loadConfiguredBanner(bannerView(), self<PosterGridController>(), self<PosterGridController>());
}

void PosterGridController::prepareRecordsAndCells() {
    moviesArray_.clear();
    if (auto grid = collectionView())
        grid->registerNib(UINib::nibWithNibName(cellKind().nibName, nullptr), cellKind().reuseIdentifier);
}

// Paging.

void PosterGridController::loadFirstPage() {
    if (paging_.isLoadItem()) return;
    reloadFirstPage();
}

void PosterGridController::reloadFirstPage() {
    QV_ASSERT_MAIN_THREAD();
    GridPaging::Phase superseded = GridPaging::Phase::Idle;
    const GridPaging::Ticket ticket = paging_.beginFirstPage(&superseded);
    if (superseded == GridPaging::Phase::LoadingFirst) hideListOverlay();
    if (superseded == GridPaging::Phase::LoadingFurther)
        if (auto grid = collectionView())
            if (auto footer = infiniteScrollingView(*grid)) footer->stopAnimating();
    showListOverlay();
    send(ticket);
}

void PosterGridController::loadFurtherPage() {
    QV_ASSERT_MAIN_THREAD();
    if (auto ticket = paging_.beginFurtherPage()) send(*ticket);
}

void PosterGridController::send(const GridPaging::Ticket& ticket) {
    auto weak = weakSelf<PosterGridController>();
    sendListRequest(
        ticket,
        [weak, ticket](const Value& data) {
            auto screen = weak.lock();
            if (!screen) return;
            if (ticket.firstPage)
                screen->firstPageArrived(ticket, data);
            else
                screen->furtherPageArrived(ticket, data);
        },
        [weak, ticket](const NSErrorPtr&) {
            auto screen = weak.lock();
            if (!screen) return;
            if (ticket.firstPage)
                screen->firstPageFailed(ticket);
            else
                screen->furtherPageFailed(ticket);
        });
}

void PosterGridController::followMoreFlag(bool more, bool firstPage) {
    auto grid = collectionView();
    if (!grid) return;
    if (more) {
        if (auto footer = infiniteScrollingView(*grid)) footer->stopAnimating();
        if (firstPage) setShowsInfiniteScrolling(*grid, true);
    } else {
        setShowsInfiniteScrolling(*grid, false);
    }
}

void PosterGridController::firstPageArrived(const GridPaging::Ticket& ticket, const Value& data) {
    const bool more = data["more"].boolValue();
    if (!paging_.finish(ticket, more)) return;  // superseded: a newer first page is on its way
    followMoreFlag(more, true);
    moviesArray_ = recordsOfListReply(data);
    firstPageShown(ticket);
    if (auto grid = collectionView()) {
        if (auto header = pullToRefreshView(*grid)) header->stopAnimating();
        grid->reloadData();
        const CGRect frame = grid->frame();
        if (replySteps().growContentAfterFirstPage && grid->contentSize().height < frame.size.height)
            grid->setContentSize(CGSizeMake(frame.size.width, frame.size.height + 50));
    }
    hideListOverlay();
}

void PosterGridController::firstPageFailed(const GridPaging::Ticket& ticket) {
    if (!paging_.fail(ticket)) return;
    const ReplySteps steps = replySteps();
    if (auto grid = collectionView()) {
        if (auto header = pullToRefreshView(*grid)) header->stopAnimating();
        if (steps.showPullToRefreshAfterFailure) setShowsPullToRefresh(*grid, true);
        if (steps.growContentAfterFailure && grid->contentSize().height < grid->frame().size.height)
            grid->setContentSize(view()->frame().size);
    }
    hideListOverlay();
}

void PosterGridController::furtherPageArrived(const GridPaging::Ticket& ticket, const Value& data) {
    const bool more = data["more"].boolValue();
    if (!paging_.finish(ticket, more)) return;
    followMoreFlag(more, false);
    for (auto& record : recordsOfListReply(data)) moviesArray_.push_back(std::move(record));
    if (auto grid = collectionView()) grid->reloadData();
    hideListOverlay();
}

void PosterGridController::furtherPageFailed(const GridPaging::Ticket& ticket) {
    if (!paging_.fail(ticket)) return;  // indexPage is back on the last page shown
    if (auto grid = collectionView())
        if (auto footer = infiniteScrollingView(*grid)) footer->stopAnimating();
    hideListOverlay();
}

void PosterGridController::showListOverlay() {
    listOverlay_ = LOProgressHUD::showHUDAddedTo(view(), true);
}

void PosterGridController::hideListOverlay() {
    if (auto overlay = listOverlay_.lock()) overlay->hide(true);
    listOverlay_.reset();
}
