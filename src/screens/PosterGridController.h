#pragma once
// What the movie grid, the TV-show grid and the search screen share: a grid of
// poster cells over pages of catalogue records, the grid layout redone on
// appearance and rotation, the cells, the detail page a tapped cell opens,
// the banner area, the refresh notification and the paging of the list
// requests with their replies.
//
// Paging (GridPaging.h): every first page takes a new generation; a reply or
// failure of an older generation is dropped, and a superseded request's
// overlay comes down or its footer stops as it is superseded, so at most one
// overlay is up. A failed further page steps `indexPage` back and stops the
// infinite-scrolling indicator, so the next scroll to the end asks again.
// Catalogue callbacks hold the screen weakly.
//
// Life: the screen's scene connects the outlets; a subclass's viewDidLoad
// runs its configurationView. viewWillAppear/viewWillDisappear of the
// subclasses bracket the observation of "kRefreshMovieViewNotification".
//
// Main thread only.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "adkit/requests/AKBannerView.h"
#include "core/MoviesModel.h"
#include "core/NLRestClient.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/uikit/NSLayoutConstraint.h"
#include "platform/uikit/UICollectionView.h"
#include "screens/GridPaging.h"
#include "screens/MyViewController.h"

class LOProgressHUD;

class PosterGridController : public MyViewController,
                             public UICollectionViewDataSource,
                             public UICollectionViewDelegate,
                             public AKBannerViewDelegate {
public:
    using Records = std::vector<std::shared_ptr<MoviesModel>>;

    // Interface elements (non-owning; the view hierarchy owns them).
    std::shared_ptr<UICollectionView> collectionView() const { return collectionView_.lock(); }
    void setCollectionView(const std::shared_ptr<UICollectionView>& view) { collectionView_ = view; }
    std::shared_ptr<AKBannerView> bannerView() const { return bannerView_.lock(); }
    void setBannerView(const std::shared_ptr<AKBannerView>& view) { bannerView_ = view; }

    // State.
    const Records& moviesArray() const { return moviesArray_; }
    const GridPaging& paging() const { return paging_; }
    std::int32_t indexPage() const { return paging_.indexPage(); }
    bool isLoadItem() const { return paging_.isLoadItem(); }
    bool isLoadMoreItem() const { return paging_.isLoadMoreItem(); }

    // Grid data source and delegate.
    long numberOfSectionsInCollectionView(UICollectionView&) override { return 1; }
    long numberOfItemsInSection(UICollectionView& collectionView, long section) override;
    UICollectionViewCellPtr cellForItemAtIndexPath(UICollectionView& collectionView,
                                                   const NSIndexPath& indexPath) override;
    void didSelectItemAtIndexPath(UICollectionView& collectionView, const NSIndexPath& indexPath) override;

    // A new grid layout for the status bar's orientation.
    void setuplayoutCollectionView();
    // A new grid layout for the orientation the interface turns to (the base
    // class is not told).
    void willRotateToInterfaceOrientation(UIInterfaceOrientation orientation, double duration) override;
    // On a tablet, pins the header's top to its superview's top; the
    // constraint is added once, however many notifications come. Nothing on a phone.
    void refreshUIMovieView(const NSNotification& notification);
    // The constraint refreshUIMovieView added, or null.
    const std::shared_ptr<NSLayoutConstraint>& headerTopConstraint() const { return headerTopConstraint_; }

    // Loads the configured banner unit into the banner area (ScreenAds.h);
    // the screen is the banner's root view controller and delegate.
    void showBannerView();

protected:
    // The header bar refreshUIMovieView pins.
    virtual std::shared_ptr<UIView> headerView() const = 0;
    // The cells' interface file and the reuse identifier they are registered under.
    struct CellKind {
        const char* nibName;
        const char* reuseIdentifier;
    };
    virtual CellKind cellKind() const = 0;
    // The catalogue request for the ticket's page.
    virtual void sendListRequest(const GridPaging::Ticket& ticket, NLRestClient::Success success,
                                 NLRestClient::Failure failure) = 0;

    // What the replies do besides the common steps.
    struct ReplySteps {
        bool growContentAfterFirstPage = true;    // a short page leaves room to pull (+50)
        bool growContentAfterFailure = true;      // a failed first page: the view's size
        bool showPullToRefreshAfterFailure = false;
    };
    virtual ReplySteps replySteps() const { return {}; }
    // Told after a first page replaced the records (the search screen keeps its keyword).
    virtual void firstPageShown(const GridPaging::Ticket& /*ticket*/) {}

    // configurationView's shared steps: the screen colour on the bars, the
    // view and the grid; on phones the grid's leading and trailing edges
    // pinned to its superview's.
    void applyScreenColours();
    void pinGridWidthOnPhones();
    // The banner area: 320 x 0 with ads off, else the device's list banner size.
    void sizeBannerArea();
    // A new empty record list and the cells' interface file registered.
    void prepareRecordsAndCells();

    // Page 1, unless a list request is in flight (the `isLoadItem` guard).
    void loadFirstPage();
    // Page 1 now: whatever is in flight is superseded.
    void reloadFirstPage();
    // The next page, when more exist and nothing is in flight.
    void loadFurtherPage();

    void startObservingRefresh();
    void stopObservingRefresh();

private:
    void firstPageArrived(const GridPaging::Ticket& ticket, const Value& data);
    void firstPageFailed(const GridPaging::Ticket& ticket);
    void furtherPageArrived(const GridPaging::Ticket& ticket, const Value& data);
    void furtherPageFailed(const GridPaging::Ticket& ticket);
    void send(const GridPaging::Ticket& ticket);
    void followMoreFlag(bool more, bool firstPage);
    void showListOverlay();
    void hideListOverlay();
    void openDetailPage(const std::shared_ptr<MoviesModel>& record);

    std::weak_ptr<UICollectionView> collectionView_;
    std::weak_ptr<AKBannerView> bannerView_;
    Records moviesArray_;
    GridPaging paging_;
    std::weak_ptr<LOProgressHUD> listOverlay_;
    std::shared_ptr<NSLayoutConstraint> headerTopConstraint_;
    bool observingRefresh_ = false;
};

// Records of a list reply's "films", in reply order.
PosterGridController::Records recordsOfListReply(const Value& data);
