#pragma once
// The TV-shows tab: the catalogue grid over TV shows (BrowseGridController)
// with its own stored sort type ("kStateTVShowFilter"). It sends no
// configuration request: the banner area follows whatever configuration is in
// force when its view loads, and page 1 is asked for at once. A first page
// leaves the content size as the grid made it; a failed one only stops the
// pull-to-refresh indicator and the overlay.
//
// Main thread only.
#include <memory>

#include "screens/BrowseGridController.h"
#include "screens/MovieCollectionCell.h"

inline constexpr const char* kStateTVShowFilter = "kStateTVShowFilter";

class TVShowViewController : public BrowseGridController {
public:
    // Interface element: the header bar.
    std::shared_ptr<UIView> headViewTitle() const { return headViewTitle_.lock(); }
    void setHeadViewTitle(const std::shared_ptr<UIView>& view) { headViewTitle_ = view; }

    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    void viewWillDisappear(bool animated) override;

    void configurationView();
    void getListTHShow() { loadFirstPage(); }
    void loadMoreListTHShow() { loadFurtherPage(); }

protected:
    std::shared_ptr<UIView> headerView() const override { return headViewTitle(); }
    CellKind cellKind() const override { return {kMovieCollectionCellNibName, kMovieCollectionCellIdentifier}; }
    void sendListRequest(const GridPaging::Ticket& ticket, NLRestClient::Success success,
                         NLRestClient::Failure failure) override;
    ReplySteps replySteps() const override { return {false, false, false}; }
    const char* sortDefaultsKey() const override { return kStateTVShowFilter; }

private:
    std::weak_ptr<UIView> headViewTitle_;
};
