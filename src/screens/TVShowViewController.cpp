#include "screens/TVShowViewController.h"

#include "core/AppDelegate.h"
#include "platform/uikit/UINavigationController.h"

void TVShowViewController::viewDidLoad() {
    BrowseGridController::viewDidLoad();
    configurationView();
    auto application = AppDelegate::shared();
    if (application && application->checkShowAdvertising()) showBannerView();
}

void TVShowViewController::configurationView() {
    applyScreenColours();
    pinGridWidthOnPhones();
    sizeBannerArea();
    prepareRecordsAndCells();
    readSortAndGenre();
    getListTHShow();
    installPullAndInfiniteScrolling();
}

void TVShowViewController::viewWillAppear(bool animated) {
    BrowseGridController::viewWillAppear(animated);
    startObservingRefresh();
    setuplayoutCollectionView();
    if (auto navigation = navigationController()) navigation->setNavigationBarHidden(true);
}

void TVShowViewController::viewWillDisappear(bool animated) {
    BrowseGridController::viewWillDisappear(animated);
    stopObservingRefresh();
}

void TVShowViewController::sendListRequest(const GridPaging::Ticket& ticket, NLRestClient::Success success,
                                           NLRestClient::Failure failure) {
    NLRestClient::sharedClient()->getListTVShowWithType(moviesType(), moviesGenres(), ticket.page, std::move(success),
                                                        std::move(failure));
}
