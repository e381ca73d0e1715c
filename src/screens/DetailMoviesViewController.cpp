// The detail page: life cycle, content, panes, chapters table, leaving.
#include "screens/DetailMoviesViewController.h"

#include "core/AppDelegate.h"
#include "core/NLRestClient.h"
#include "imagecache/UIImageViewWebCache.h"
#include "platform/foundation/NSLog.h"
#include "platform/base/ThreadAssertions.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UIGestureRecognizer.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UISystemVersion.h"
#include "platform/uikit/UIWindow.h"
#include "screens/ScreenStyle.h"
#include "ui/layout/LYLayout.h"
#include "ui/progresshud/LOProgressHUD.h"
#include "ui/utilities/NSStringUsedSize.h"

// ------------------------------------------------------------------ life cycle

void DetailMoviesViewController::viewDidLoad() {
    QV_ASSERT_MAIN_THREAD();
    MyViewController::viewDidLoad();
    view()->setBackgroundColor(screenColor()->CGColor());
    const bool tablet = isTablet();
    if (auto back = outlets_.backButton.lock(); back && tablet) back->setHidden(true);
    if (auto cancel = outlets_.cancelButton.lock(); cancel && !tablet) cancel->setHidden(true);
    sizeBannerArea();
    showContentMovie();
}

void DetailMoviesViewController::viewWillAppear(bool animated) {
    QV_ASSERT_MAIN_THREAD();
    MyViewController::viewWillAppear(animated);
    if (!isTablet()) {
        auto application = UIApplication::sharedApplication();
        application->setStatusBarStyle(UIStatusBarStyleLightContent, true);
        if (isOperatingSystemAtLeastVersion({7, 0, 0}))
            setNeedsStatusBarAppearanceUpdate();
        else
            application->setStatusBarHidden(false, true);
    }
    observeDownloads();
    if (!isLoadFirst_) {
        isLoadFirst_ = true;
        showDetailMovies();
        getMovieFavorities();
        auto delegate = AppDelegate::shared();
        if (delegate && delegate->checkShowAdvertising()) {
            showBannerView();
            showInterstitial();
        }
    } else if (!isShowInterstitial_) {
        showInterstitial();  // loads only while ads are on
    }
}

void DetailMoviesViewController::viewWillDisappear(bool animated) {
    MyViewController::viewWillDisappear(animated);
    stopObservingDownloads();
}

bool DetailMoviesViewController::isOnScreen() {
    return isViewLoaded() && view()->window() && isViewVisible();
}

// ------------------------------------------------------------------ content

void DetailMoviesViewController::showDetailMovies() {
    QV_ASSERT_MAIN_THREAD();
    if (!movieCurrent_) {
        NSLog("The detail page was shown without a title to show");
        return;
    }
    LOProgressHUD::showHUDAddedTo(view(), true);
    std::weak_ptr<DetailMoviesViewController> weak = self<DetailMoviesViewController>();
    NLRestClient::sharedClient()->getDetailMovies(
        movieCurrent_->movieID(),
        [weak](const Value& data) {
            auto page = weak.lock();
            if (!page) return;
            page->detailMovie_ = MoviesModel::fromDetailInfo(data);
            page->showContentMovie();
            page->hideOverlay();
        },
        [weak](const NSErrorPtr&) {
            // The page keeps the list record's title and poster; nothing is retried.
            if (auto page = weak.lock()) page->hideOverlay();
        });
}

void DetailMoviesViewController::showContentMovie() {
    QV_ASSERT_MAIN_THREAD();
    const auto& shown = detailMovie_ ? detailMovie_ : movieCurrent_;
    if (shown) {
        if (auto title = outlets_.titleMovieLabel.lock()) title->setText(shown->title());
        if (auto poster = outlets_.thumnailMovie.lock())
            ri_setImageWithURL(poster, NSURL::URLWithString(shown->moviesPoster()), UIImage::imageNamed(kPlaceholderImage));
    }
    if (detailMovie_) {
        if (auto text = outlets_.detailDescription.lock()) text->setText(detailMovie_->descriptionMovie());
        if (auto genre = outlets_.genreMovieLabel.lock()) genre->setText(detailMovie_->genre());
        if (auto rating = outlets_.ratingMovieLabel.lock()) rating->setText(format("%0.1f", detailMovie_->movieRating()));
        if (auto year = outlets_.startYearMovie.lock()) year->setText(format("%u", detailMovie_->movieYear()));
        if (auto state = outlets_.stateMovieLabel.lock()) state->setText(detailMovie_->stateMovie());
    }
    if (auto table = outlets_.chaptersTable.lock()) table->reloadData();
}

void DetailMoviesViewController::hideOverlay() {
    if (isViewLoaded()) LOProgressHUD::hideHUDForView(view(), true);
}

// ------------------------------------------------------------------ panes and leaving

void DetailMoviesViewController::changeFunctions(UIControl* sender) {
    auto segment = dynamic_cast<UISegmentedControl*>(sender);
    if (!segment) segment = outlets_.functionSegment.lock().get();
    const bool description = segment && segment->selectedSegmentIndex() == 0;
    if (auto table = outlets_.chaptersTable.lock()) table->setHidden(description);
    if (auto text = outlets_.detailDescription.lock()) text->setHidden(!description);
}

void DetailMoviesViewController::backView(UIControl*) {
    QV_ASSERT_MAIN_THREAD();
    auto keep = self<DetailMoviesViewController>();
    if (isTablet()) {
        if (auto presented = presentedViewController()) {
            auto window = presented->isViewLoaded() ? presented->view()->window() : nullptr;
            if (window && !window->gestureRecognizers().empty())
                window->removeGestureRecognizer(window->gestureRecognizers().back());
        }
        dismissViewControllerAnimated(true, {});
    } else if (auto navigation = navigationController()) {
        navigation->popViewControllerAnimated(true);
    }
}

// ------------------------------------------------------------------ chapters

std::size_t DetailMoviesViewController::chapterCount() const {
    if (!detailMovie_ || !detailMovie_->chapters().isArray()) return 0;
    return detailMovie_->chapters().count();
}

Value DetailMoviesViewController::chapterAt(std::size_t index) const {
    return index < chapterCount() ? detailMovie_->chapters()[index] : Value();
}

CGFloat DetailMoviesViewController::chapterRowHeight(const std::string& title) {
    const CGFloat measured = usedSizeForWidth(title, 280, UIFont::systemFontOfSize(15)).height;
    return measured > 22 ? measured - 22 + 44 : 44;
}

long DetailMoviesViewController::numberOfRowsInSection(UITableView&, long) { return static_cast<long>(chapterCount()); }

UITableViewCellPtr DetailMoviesViewController::cellForRowAtIndexPath(UITableView&, const NSIndexPath& indexPath) {
    auto cell = std::make_shared<UITableViewCell>(UITableViewCellStyleDefault, kChapterCellIdentifier);
    cell->setSelectionStyle(UITableViewCellSelectionStyleGray);
    cell->setBackgroundColor(UIColor::clearColor()->CGColor());
    auto label = cell->textLabel();
    label->setText(chapterAt(static_cast<std::size_t>(indexPath.row()))["title"].stringValue());
    label->setTextColor(UIColor::whiteColor()->CGColor());
    label->setFont(UIFont::systemFontOfSize(15));
    label->setNumberOfLines(0);
    return cell;
}

std::optional<CGFloat> DetailMoviesViewController::heightForRowAtIndexPath(UITableView&, const NSIndexPath& indexPath) {
    return chapterRowHeight(chapterAt(static_cast<std::size_t>(indexPath.row()))["title"].stringValue());
}

void DetailMoviesViewController::didSelectRowAtIndexPath(UITableView& tableView, const NSIndexPath& indexPath) {
    tableView.deselectRowAtIndexPath(indexPath, false);
    dismissPopover();
    const auto row = static_cast<std::size_t>(indexPath.row());
    if (row >= chapterCount()) return;
    chapterCurrent_ = chapterAt(row);
    ++chapterChoice_;
    getListStreammByChapter(chapterCurrent_);
}
