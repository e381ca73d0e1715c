#pragma once
// The page of one title. The opening screen makes it from the storyboard "Main"
// ("DetailMoviesViewController" on phones, pushed; "DetailMoviesViewController_iPad"
// on tablets, presented as a form sheet) and sets movieCurrent before showing it.
//
// On its first appearance the page asks the catalogue for the title's detail
// (overlay meanwhile), looks up its favourite record and, when ads are on, fills
// the ad slots. The chapters table lists the detail's chapters; choosing one asks
// for its streams and offers them in the stream picker, shown as a centred
// popover dialog (276 x 220). Play hands the chosen stream's link, unescaped, to
// the application's movie player; Download hands a copy of the chapter carrying
// that link to the download manager (overlay until a download starts, stops or
// finishes). The favourite button adds or removes the title's favourite record
// in the application's object store.
//
// Refusals the user is told of (an "Alert" with "OK"): a stream link that does
// not unescape as UTF-8 to a URL (nothing is played or queued), a chapter the download
// manager does not take, a favourite that could not be stored or removed. A
// favourite whose save fails is taken back out of the shared context (only that
// object's insert or delete); the button always shows what is stored. Adding a
// favourite first looks the title up again, so two pages of one title never
// store it twice.
//
// Ads (ScreenAds.h): a banner area of 320 x 0 with ads off, else 320 x 50 on a
// phone and 468 x 60 on a tablet; on the first appearance with ads on the
// built-in banner unit loads (when "AdvIDBaner" allows banners) and an
// interstitial loads, again on later appearances while none has been received
// and ads are on. Every stream reply with streams counts for the application's
// pacing; a released, ready and unused interstitial covers the page and holds
// that reply's dialog until it closes, otherwise the dialog shows at once.
//
// Catalogue replies and delayed blocks hold the page weakly; a reply that
// arrives after the page left the screen, or after another chapter was chosen,
// only hides its overlay. A reply that lands while the page's own interstitial
// covers it counts for the pacing and takes the dialog that interstitial holds
// (the newest chapter's, shown after the close).
//
// Main thread only (asserted in debug builds).
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "adkit/requests/AKBannerView.h"
#include "adkit/requests/AKInterstitial.h"
#include "core/MoviesFavoritiesModel.h"
#include "core/MoviesModel.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/Value.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UISegmentedControl.h"
#include "platform/uikit/UITableView.h"
#include "platform/uikit/UITextView.h"
#include "screens/ListStreamViewController.h"
#include "screens/MyViewController.h"
#include "ui/popover/FLPopoverController.h"

class UIControl;

class DetailMoviesViewController : public MyViewController,
                                   public FLPopoverControllerDelegate,
                                   public ListStreamViewDelegate,
                                   public UITextViewDelegate,
                                   public UITableViewDataSource,
                                   public UITableViewDelegate,
                                   public AKBannerViewDelegate,
                                   public AKInterstitialDelegate {
public:
    static constexpr const char* kPhoneIdentifier = "DetailMoviesViewController";
    static constexpr const char* kTabletIdentifier = "DetailMoviesViewController_iPad";
    static constexpr const char* kChapterCellIdentifier = "ChapterCellIdentifier";
    static constexpr const char* kPlaceholderImage = "movie_thumb.png";
    static constexpr CGFloat kDialogWidth = 276;
    static constexpr CGFloat kDialogHeight = 220;

    // Life cycle.
    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    void viewWillDisappear(bool animated) override;
    void didReceiveMemoryWarning() override { MyViewController::didReceiveMemoryWarning(); }
    bool prefersStatusBarHidden() const override { return false; }
    UIStatusBarStyle preferredStatusBarStyle() const override { return UIStatusBarStyleLightContent; }

    // Own operations.
    void showDetailMovies();
    void showContentMovie();
    void getMovieFavorities();
    void getListStreammByChapter(const Value& chapter);
    void dismissPopover();

    // Actions of the storyboard's controls.
    void backView(UIControl* sender);
    void changeFunctions(UIControl* sender);
    void checkFavorities(UIControl* sender);

    // Download notifications: each hides the page's overlay.
    void startDownloadMovie(const NSNotification& notification);
    void stopDownloadMovie(const NSNotification& notification);
    void finishDownloadMovie(const NSNotification& notification);

    // The interstitial's events. Receipt sets isShowInterstitial, failure clears
    // it (each with its log line). Presentation must start within the main-loop
    // pass that presented it, else the held stream dialog shows at once and a
    // fresh interstitial loads (the used one serves no later release). When the
    // interstitial that held a stream reply's dialog is about to close, a fresh
    // one starts loading, the grids are told to refresh, and half a second later
    // that reply's own chapter and streams are offered, unless the page has left
    // the screen or another chapter was chosen meanwhile. A close that holds no
    // reply opens nothing.
    void interstitialDidReceiveAd(AKInterstitial& interstitial) override;
    void interstitialDidFailToReceiveAdWithError(AKInterstitial& interstitial, const NSErrorPtr& error) override;
    void interstitialWillPresentScreen(AKInterstitial& interstitial) override;
    void interstitialWillDismissScreen(AKInterstitial& interstitial) override;
    // The interstitial loading now or last loaded; null before the first load.
    const std::shared_ptr<AKInterstitial>& interstitial() const { return interstitial_; }

    // Properties.
    const std::shared_ptr<MoviesModel>& movieCurrent() const { return movieCurrent_; }
    void setMovieCurrent(std::shared_ptr<MoviesModel> movie) { movieCurrent_ = std::move(movie); }
    // Built from the detail reply; null until it arrives.
    const std::shared_ptr<MoviesModel>& detailMovie() const { return detailMovie_; }
    const std::shared_ptr<FLPopoverController>& popoverController() const { return popoverController_; }
    const Value& chapterCurrent() const { return chapterCurrent_; }
    const std::shared_ptr<MoviesFavoritiesModel>& movieFavorities() const { return movieFavorities_; }
    const Value& listStreamMovie() const { return listStreamMovie_; }
    bool isLoadFirst() const { return isLoadFirst_; }
    bool isShowInterstitial() const { return isShowInterstitial_; }

    // Outlets, connected by the scene (weakly: the view tree owns them).
    struct Outlets {
        std::weak_ptr<AKBannerView> bannerView;
        std::weak_ptr<UIButton> movieFavoritiesButton;
        std::weak_ptr<UIView> headViewTitle;
        std::weak_ptr<UIButton> backButton;
        std::weak_ptr<UIButton> cancelButton;
        std::weak_ptr<UIImageView> thumnailMovie;
        std::weak_ptr<UILabel> titleMovieLabel;
        std::weak_ptr<UISegmentedControl> functionSegment;
        std::weak_ptr<UITableView> chaptersTable;
        std::weak_ptr<UITextView> detailDescription;
        std::weak_ptr<UIView> detailView;
        std::weak_ptr<UILabel> startYearMovie;
        std::weak_ptr<UILabel> stateMovieLabel;
        std::weak_ptr<UILabel> ratingMovieLabel;
        std::weak_ptr<UILabel> genreMovieLabel;
    };
    Outlets& outlets() { return outlets_; }
    const Outlets& outlets() const { return outlets_; }

    // UITableViewDataSource and UITableViewDelegate (chaptersTable).
    long numberOfRowsInSection(UITableView& tableView, long section) override;
    UITableViewCellPtr cellForRowAtIndexPath(UITableView& tableView, const NSIndexPath& indexPath) override;
    std::optional<CGFloat> heightForRowAtIndexPath(UITableView& tableView, const NSIndexPath& indexPath) override;
    void didSelectRowAtIndexPath(UITableView& tableView, const NSIndexPath& indexPath) override;
    // The row height of a chapter title: 44, or more for a title that wraps at 280.
    static CGFloat chapterRowHeight(const std::string& title);

    // ListStreamViewDelegate.
    bool respondsToListStreamViewPlayStream() const override { return true; }
    void listStreamViewPlayStream(const Value& stream) override;
    bool respondsToListStreamViewDownloadStream() const override { return true; }
    void listStreamViewDownloadStream(const Value& stream) override;
    bool respondsToListStreamViewCancelView() const override { return true; }
    void listStreamViewCancelView() override;

    // UITextViewDelegate: the description is never edited.
    bool textViewShouldBeginEditing(UITextView&) override { return false; }

    // The texts of the refusals.
    static constexpr const char* kAddFavoriteFailed = "Failed to add favorites to this movie. Please retry again.";
    static constexpr const char* kRemoveFavoriteFailed = "Failed to favorite this movie. Please retry again.";
    static constexpr const char* kBadStreamLink =
        "This stream cannot be opened: its address is not valid. Please choose another stream.";
    static constexpr const char* kDownloadRefused = "This chapter cannot be downloaded. Please choose another stream.";

private:
    // The chapters of the detail reply (an empty list until it arrives).
    std::size_t chapterCount() const;
    Value chapterAt(std::size_t index) const;
    // The page's view is in a window and on view.
    bool isOnScreen();
    // The same steps now and after an interstitial.
    void showStreamDialog();
    void showStreamDialog(const Value& chapter, const Value& streams);
    // The stream's link with its percent escapes replaced as UTF-8; nullopt
    // (and the user told) when it does not unescape to a URL with a scheme and a host.
    std::optional<std::string> playableLink(const Value& stream) const;
    void hideOverlay();
    void observeDownloads();
    void stopObservingDownloads();
    std::shared_ptr<NSManagedObjectContext> favoritesContext() const;
    std::shared_ptr<MoviesFavoritiesModel> storedFavorite() const;
    void addFavorite(const std::shared_ptr<NSManagedObjectContext>& context);
    void removeFavorite();
    void showFavoriteState();

    // The ad slots (DetailMoviesAds.cpp). The banner area is sized while the view loads.
    void sizeBannerArea();
    void showBannerView();        // the built-in banner unit, when "AdvIDBaner" is long enough
    void showInterstitial();      // a new interstitial loads (nothing while ads are off)
    std::shared_ptr<AKRequest> createRequest();
    // Presents the loaded interstitial, holding the reply's dialog until it
    // closes; NO (the dialog shows now) when it is missing, not ready or used.
    bool displayInterstitial();
    // The dialog of the reply an interstitial holds; the chapter choice it belongs to.
    struct HeldDialog {
        Value chapter;
        Value streams;
        std::uint64_t choice = 0;
        std::weak_ptr<AKInterstitial> interstitial;
        bool presenting = false;
    };
    // Whether the dialog held back is the one this interstitial holds.
    bool holdsDialogFor(const AKInterstitial& interstitial) const;
    // The dialog held back, when the interstitial did not start presenting.
    void releaseUnpresentedDialog(std::uint64_t choice);
    // The interstitial holding a dialog covers the page, which is still in its window.
    bool isCoveredByInterstitial();
    // The reply of the current chapter takes the dialog the interstitial holds.
    void holdDialogUnderInterstitial();

    std::shared_ptr<FLPopoverController> popoverController_;
    Value chapterCurrent_;
    std::shared_ptr<MoviesFavoritiesModel> movieFavorities_;
    bool isLoadFirst_ = false;
    bool isShowInterstitial_ = false;
    std::shared_ptr<AKInterstitial> interstitial_;
    std::optional<HeldDialog> heldDialog_;
    std::uint64_t chapterChoice_ = 0;  // grows with every chapter chosen
    Value listStreamMovie_;
    std::shared_ptr<MoviesModel> movieCurrent_;
    std::shared_ptr<MoviesModel> detailMovie_;
    Outlets outlets_;
    bool observingDownloads_ = false;
};
