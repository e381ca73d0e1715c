#pragma once
// The search screen: a search bar over the poster grid (PosterGridController)
// with infinite scrolling, pushed by the movie and TV-show grids. The keyboard
// comes up when the view loads; the search button asks for page 1 of a
// keyword of at least 8 characters (UTF-16 units, as the platform counts
// them) and shows the alert "Key search must be at least 8 characters in
// length." for a shorter one. While the keyboard is up a single tap on the
// screen hides it (and reaches nothing below: the recogniser takes the touch).
//
// A new search while one is in flight supersedes it; further pages always
// ask for the keyword of the results shown, whatever the bar holds since.
//
// Main thread only.
#include <memory>
#include <optional>
#include <string>

#include "platform/uikit/UIGestureRecognizer.h"
#include "platform/uikit/UISearchBar.h"
#include "screens/MovieSearchCollectionCell.h"
#include "screens/PosterGridController.h"

inline constexpr std::size_t kMinimumSearchKeyLength = 8;

class SearchMovieViewController : public PosterGridController, public UISearchBarDelegate {
public:
    // Interface elements.
    std::shared_ptr<UIView> viewTitle() const { return viewTitle_.lock(); }
    void setViewTitle(const std::shared_ptr<UIView>& view) { viewTitle_ = view; }
    std::shared_ptr<UISearchBar> searchBar() const { return searchBar_.lock(); }
    void setSearchBar(const std::shared_ptr<UISearchBar>& bar) { searchBar_ = bar; }

    // The keyword of the last search started; nullopt before the first.
    const std::optional<std::string>& keySearch() const { return keySearch_; }
    // The keyword of the results shown (further pages ask for it).
    const std::optional<std::string>& shownKeyword() const { return shownKeyword_; }
    const std::shared_ptr<UITapGestureRecognizer>& tapSingle() const { return tapSingle_; }

    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    void viewWillDisappear(bool animated) override;

    void configurationView();
    void getListMovies() { loadFirstPage(); }
    void loadMoreListMovies();
    void addKeyboardNotifications();
    void removeKeyboardNotifications();
    void keyboardWillShow(const NSNotification& notification);
    void keyboardWillHide(const NSNotification& notification);
    void dismissKeyboard(UIGestureRecognizer& sender);
    void backView(UIView& sender);

    // UISearchBarDelegate.
    void searchBarSearchButtonClicked(UISearchBar& searchBar) override;
    void searchBarCancelButtonClicked(UISearchBar& searchBar) override;

protected:
    std::shared_ptr<UIView> headerView() const override { return viewTitle(); }
    CellKind cellKind() const override {
        return {kMovieSearchCollectionCellNibName, kMovieSearchCollectionCellIdentifier};
    }
    void sendListRequest(const GridPaging::Ticket& ticket, NLRestClient::Success success,
                         NLRestClient::Failure failure) override;
    ReplySteps replySteps() const override { return {true, true, false}; }
    void firstPageShown(const GridPaging::Ticket& ticket) override;

private:
    std::weak_ptr<UIView> viewTitle_;
    std::weak_ptr<UISearchBar> searchBar_;
    std::optional<std::string> keySearch_;
    std::optional<std::string> requestedKeyword_;  // of the first page in flight
    std::optional<std::string> shownKeyword_;
    std::shared_ptr<UITapGestureRecognizer> tapSingle_;
    bool observingKeyboard_ = false;
};
