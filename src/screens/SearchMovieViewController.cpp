#include "screens/SearchMovieViewController.h"

#include "core/AppDelegate.h"
#include "platform/foundation/NSString.h"
#include "platform/uikit/UIKeyboard.h"
#include "platform/uikit/UINavigationController.h"
#include "screens/ScreenStyle.h"
#include "ui/infinitescrolling/UIScrollViewSTInfiniteScrolling.h"

namespace {
constexpr long kWhiteSpinner = 1;  // UIActivityIndicatorViewStyleWhite
}

void SearchMovieViewController::viewDidLoad() {
    PosterGridController::viewDidLoad();
    configurationView();
    if (auto bar = searchBar()) bar->becomeFirstResponder();
    auto application = AppDelegate::shared();
    if (application && application->checkShowAdvertising()) showBannerView();
}

void SearchMovieViewController::configurationView() {
    applyScreenColours();
    pinGridWidthOnPhones();
    sizeBannerArea();
    prepareRecordsAndCells();
    auto grid = collectionView();
    if (!grid) return;
    auto weak = weakSelf<SearchMovieViewController>();
    addInfiniteScrollingWithActionHandler(grid, [weak] {
        auto screen = weak.lock();
        auto scrolled = screen ? screen->collectionView() : nullptr;
        if (!scrolled) return;
        if (auto footer = infiniteScrollingView(*scrolled)) footer->setActivityIndicatorViewStyle(kWhiteSpinner);
        if (screen->isLoadMoreItem() && screen->shownKeyword()) screen->loadMoreListMovies();
    });
}

void SearchMovieViewController::loadMoreListMovies() {
    if (shownKeyword_) loadFurtherPage();
}

void SearchMovieViewController::viewWillAppear(bool animated) {
    PosterGridController::viewWillAppear(animated);
    startObservingRefresh();
    setuplayoutCollectionView();
    addKeyboardNotifications();
}

void SearchMovieViewController::viewWillDisappear(bool animated) {
    PosterGridController::viewWillDisappear(animated);
    removeKeyboardNotifications();
    stopObservingRefresh();
}

// Searching.

void SearchMovieViewController::searchBarSearchButtonClicked(UISearchBar& bar) {
    bar.resignFirstResponder();
    const std::string text = bar.text();
    if (utf16Length(text) < kMinimumSearchKeyLength) {
        showFailureAlert("Key search must be at least 8 characters in length.");
        return;
    }
    keySearch_ = text;
    reloadFirstPage();  // a search in flight is superseded
}

void SearchMovieViewController::searchBarCancelButtonClicked(UISearchBar& bar) {
    bar.setText("");
    bar.resignFirstResponder();
}

void SearchMovieViewController::sendListRequest(const GridPaging::Ticket& ticket, NLRestClient::Success success,
                                                NLRestClient::Failure failure) {
    if (ticket.firstPage) requestedKeyword_ = keySearch_;
    const std::optional<std::string>& keyword = ticket.firstPage ? requestedKeyword_ : shownKeyword_;
    NLRestClient::sharedClient()->searchMoviesWithKey(keyword.value_or(std::string()), ticket.page, std::move(success),
                                                      std::move(failure));
}

void SearchMovieViewController::firstPageShown(const GridPaging::Ticket&) { shownKeyword_ = requestedKeyword_; }

// The keyboard and the tap that hides it.

void SearchMovieViewController::addKeyboardNotifications() {
    if (observingKeyboard_) return;
    observingKeyboard_ = true;
    auto center = NSNotificationCenter::defaultCenter();
    auto weak = weakSelf<SearchMovieViewController>();
    center->addObserver(
        self<SearchMovieViewController>(),
        [weak](const NSNotification& note) {
            if (auto screen = weak.lock()) screen->keyboardWillShow(note);
        },
        UIKeyboardWillShowNotification);
    center->addObserver(
        self<SearchMovieViewController>(),
        [weak](const NSNotification& note) {
            if (auto screen = weak.lock()) screen->keyboardWillHide(note);
        },
        UIKeyboardWillHideNotification);
}

void SearchMovieViewController::removeKeyboardNotifications() {
    observingKeyboard_ = false;
    auto center = NSNotificationCenter::defaultCenter();
    center->removeObserver(this, UIKeyboardWillShowNotification);
    center->removeObserver(this, UIKeyboardWillHideNotification);
}

void SearchMovieViewController::keyboardWillShow(const NSNotification&) {
    if (!tapSingle_) {
        auto weak = weakSelf<SearchMovieViewController>();
        tapSingle_ = std::make_shared<UITapGestureRecognizer>(self<SearchMovieViewController>(),
                                                              [weak](UIGestureRecognizer& sender) {
                                                                  if (auto screen = weak.lock())
                                                                      screen->dismissKeyboard(sender);
                                                              });
        tapSingle_->setNumberOfTapsRequired(1);
    } else {
        view()->removeGestureRecognizer(tapSingle_);
    }
    view()->addGestureRecognizer(tapSingle_);
}

void SearchMovieViewController::keyboardWillHide(const NSNotification&) {
    if (tapSingle_) view()->removeGestureRecognizer(tapSingle_);
}

void SearchMovieViewController::dismissKeyboard(UIGestureRecognizer&) {
    if (auto bar = searchBar()) bar->resignFirstResponder();
    if (tapSingle_) view()->removeGestureRecognizer(tapSingle_);
}

void SearchMovieViewController::backView(UIView&) {
    if (auto navigation = navigationController()) navigation->popViewControllerAnimated(true);
}
