#pragma once
// The movies tab: the catalogue grid over movies (BrowseGridController), and
// the application's first catalogue request, the server configuration.
//
// Loading the view runs configurationView: colours, the phone width
// constraints, an empty record list and the cell file, the stored sort type
// ("kStateMovieFilter") with genre 0, the overlay and the configuration
// request, then pull-to-refresh and infinite scrolling. The configuration
// reply becomes the application's configuration and is cached under
// "kDefaultInfoQuorvane" (without its nulls, so it can be stored); a failure
// falls back to the cached copy, or none. A reply announcing a newer
// "AppVersion" with an "AppLink" the platform can open shows "Update
// Required". Either way the overlay then comes down, the banner area is sized
// and page 1 is asked for.
//
// Main thread only.
#include <memory>

#include "platform/uikit/UIAlertView.h"
#include "platform/uikit/UIGestureRecognizer.h"
#include "screens/BrowseGridController.h"
#include "screens/MovieCollectionCell.h"

inline constexpr const char* kStateMovieFilter = "kStateMovieFilter";

class MovieViewController : public BrowseGridController, public UIAlertViewDelegate {
public:
    // Interface element: the header bar.
    std::shared_ptr<UIView> viewTitle() const { return viewTitle_.lock(); }
    void setViewTitle(const std::shared_ptr<UIView>& view) { viewTitle_ = view; }
    // Held for tapBehindDetected; nothing in the screen sets it.
    const std::shared_ptr<UITapGestureRecognizer>& tapBehindGesture() const { return tapBehindGesture_; }

    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    void viewWillDisappear(bool animated) override;

    void configurationView();
    void setupUIConfig();
    void getListMovies() { loadFirstPage(); }
    void loadMoreListMovies() { loadFurtherPage(); }
    void showRequireUpdateAlert();
    // Closes what the navigation controller presents when the tap lies outside it.
    void tapBehindDetected(UIGestureRecognizer& sender);

    // UIAlertViewDelegate: "Update" (index 1) of the update alert opens "AppLink".
    void clickedButtonAtIndex(UIAlertView& alertView, long buttonIndex) override;

protected:
    std::shared_ptr<UIView> headerView() const override { return viewTitle(); }
    CellKind cellKind() const override { return {kMovieCollectionCellNibName, kMovieCollectionCellIdentifier}; }
    void sendListRequest(const GridPaging::Ticket& ticket, NLRestClient::Success success,
                         NLRestClient::Failure failure) override;
    ReplySteps replySteps() const override { return {true, true, true}; }
    const char* sortDefaultsKey() const override { return kStateMovieFilter; }

private:
    void requestConfiguration();
    void configurationArrived(const Value& configuration);
    void configurationFailed();
    void configurationSettled();

    std::weak_ptr<UIView> viewTitle_;
    std::shared_ptr<UITapGestureRecognizer> tapBehindGesture_;
    std::weak_ptr<LOProgressHUD> configurationOverlay_;
};
