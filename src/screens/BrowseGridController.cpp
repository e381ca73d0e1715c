#include "screens/BrowseGridController.h"

#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/uikit/UIAppearance.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UIPopoverController.h"
#include "platform/uikit/UIStoryboard.h"
#include "screens/MainStoryboard.h"
#include "screens/ScreenStyle.h"
#include "ui/popover/FLPopoverThemeAppearance.h"
#include "ui/infinitescrolling/UIScrollViewSTInfiniteScrolling.h"
#include "ui/pulltorefresh/UIScrollViewSTPullToRefresh.h"

namespace {

constexpr long kWhiteSpinner = 1;  // UIActivityIndicatorViewStyleWhite
constexpr CGSize kSortPopoverSize{150, 176};

std::string lowerCased(const std::string& text) {
    std::string lower = text;
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return lower;
}

// Light gray on the sort popover's chrome, for every popover made afterwards.
// The shared default theme is made first: making it records its own colours
// on the appearance proxy, which would otherwise cover these on the first
// popover of the process.
void colourPopoverChrome() {
    (void)FLPopoverDefaultTheme();
    using Chrome = UIAppearance<FLPopoverBackgroundView>;
    const UIColorPtr grey = UIColor::lightGrayColor();
    Chrome::set("fillTopColor", grey, &FLPopoverBackgroundView::setFillTopColor);
    Chrome::set("fillBottomColor", grey, &FLPopoverBackgroundView::setFillBottomColor);
    Chrome::set("outerStrokeColor", grey, &FLPopoverBackgroundView::setOuterStrokeColor);
    Chrome::set("innerStrokeColor", grey, &FLPopoverBackgroundView::setInnerStrokeColor);
}

}  // namespace

void BrowseGridController::readSortAndGenre() {
    const auto stored = NSUserDefaults::standardUserDefaults()->stringForKey(sortDefaultsKey());
    moviesType_ = stored && !stored->empty() ? *stored : std::string("popular");
    moviesGenres_ = 0;
}

void BrowseGridController::installPullAndInfiniteScrolling() {
    auto grid = collectionView();
    if (!grid) return;
    auto weak = weakSelf<BrowseGridController>();
    addPullToRefreshWithActionHandler(grid, [weak] {
        if (auto screen = weak.lock()) screen->pullToRefresh();
    });
    // Light text and arrow: the header sits on the dark screen colour.
    if (auto header = pullToRefreshView(*grid)) {
        header->setTextColor(UIColor::lightGrayColor());
        header->setArrowColor(UIColor::lightGrayColor());
    }
    addInfiniteScrollingWithActionHandler(grid, [weak] {
        auto screen = weak.lock();
        auto scrolled = screen ? screen->collectionView() : nullptr;
        if (!scrolled) return;
        if (auto footer = infiniteScrollingView(*scrolled)) footer->setActivityIndicatorViewStyle(kWhiteSpinner);
        if (screen->isLoadMoreItem()) screen->loadFurtherPage();
    });
}

void BrowseGridController::pullToRefresh() {
    auto grid = collectionView();
    if (!grid) return;
    if (auto header = pullToRefreshView(*grid)) header->setActivityIndicatorViewStyle(kWhiteSpinner);
    // A further page in flight would leave the pulled spinner turning: page 1 takes its place.
    if (paging().phase() == GridPaging::Phase::LoadingFurther)
        reloadFirstPage();
    else
        loadFirstPage();
}

// The sort popover.

void BrowseGridController::typeSelect(UIView& sender) {
    colourPopoverChrome();
    if (popoverController_) {
        popoverController_->dismissPopoverAnimated(true);
        popoverController_.reset();
        return;
    }
    auto picker = ListSortViewController::initWithNibName(ListSortViewController::kNibName);
    if (!picker) return;
    picker->setDelegate(self<BrowseGridController>());
    picker->setSortByCurrent(moviesType_);
    auto popover = FLPopoverController::initWithContentViewController(picker);
    popover->setDelegate(self<BrowseGridController>());
    popover->setPassthroughViews({sender.self<UIView>()});
    popover->setPopoverLayoutMargins(UIEdgeInsets{10, 10, 10, 10});
    popover->setWantsDefaultContentAppearance(false);
    popover->theme()->setArrowHeight(13);
    popover->theme()->setArrowBase(25);
    picker->view()->setFrame(CGRectMake(0, 0, kSortPopoverSize.width, kSortPopoverSize.height));
    popover->setPopoverContentSize(kSortPopoverSize);
    popoverController_ = popover;
    popover->presentPopoverFromRect(sender.bounds(), sender.self<UIView>(), FLArrowDirectionAny, true,
                                    FLAnimationOptionFadeWithScale);
}

void BrowseGridController::listSortMoviesByKey(const std::string& key) {
    moviesType_ = lowerCased(key);
    auto defaults = NSUserDefaults::standardUserDefaults();
    if (!defaults->setObject(Value(moviesType_), sortDefaultsKey()) || !defaults->synchronize())
        NSLog("The sort type %@ was not stored", moviesType_);  // it still applies to this screen
    if (popoverController_) popoverController_->dismissPopoverAnimated(true);
    popoverController_.reset();
    reloadFirstPage();
}

void BrowseGridController::popoverControllerDidPresentPopover(FLPopoverController&) {
    NSLog("popoverControllerDidPresentPopover");
}

void BrowseGridController::popoverControllerDidDismissPopover(FLPopoverController&) { popoverController_.reset(); }

void BrowseGridController::popoverControllerWillTranslatePopoverWithYOffset(FLPopoverController&, float* offset) {
    if (offset) *offset = 0;
}

// The genre picker.

void BrowseGridController::genresSelect(UIView& sender) {
    auto storyboard = UIStoryboard::storyboardWithName(kMainStoryboardName, nullptr);
    auto picker = storyboard ? storyboard->instantiate<ListGenresViewController>(
                                   ListGenresViewController::kStoryboardIdentifier)
                             : nullptr;
    if (!picker) return;
    picker->setDelegate(self<BrowseGridController>());
    picker->setGenresIDCurrent(moviesGenres_);
    if (isTablet()) {
        auto anchor = sender.superview();
        if (!anchor) return;
        popoverIPad_ = UIPopoverController::initWithContentViewController(picker);
        popoverIPad_->presentPopoverFromRect(sender.frame(), anchor, UIPopoverArrowDirectionAny, true);
    } else if (auto navigation = navigationController()) {
        navigation->pushViewController(picker, true);
    }
}

void BrowseGridController::closeGenrePicker() {
    if (isTablet()) {
        if (popoverIPad_) popoverIPad_->dismissPopoverAnimated(true);
    } else if (auto navigation = navigationController()) {
        navigation->popViewControllerAnimated(true);
    }
}

void BrowseGridController::didSelectGenresModel(const std::shared_ptr<GenresModel>& genre) {
    closeGenrePicker();
    if (!genre) return;
    moviesGenres_ = genre->genresID();
    if (auto title = movieTitle()) title->setText(genre->name());
    reloadFirstPage();
}

void BrowseGridController::dissmissListGenres() { closeGenrePicker(); }

// Search.

void BrowseGridController::searchMovies(UIView&) {
    auto storyboard = UIStoryboard::storyboardWithName(kMainStoryboardName, nullptr);
    auto search = storyboard ? storyboard->instantiateViewControllerWithIdentifier("SearchMovieViewController") : nullptr;
    auto navigation = navigationController();
    if (search && navigation) navigation->pushViewController(search, true);
}
