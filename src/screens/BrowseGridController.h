#pragma once
// The catalogue grids (movies and TV shows): a PosterGridController with a
// header that names the chosen genre, the sort popover, the genre picker,
// the search screen, pull-to-refresh and infinite scrolling, and the sort
// type kept in user defaults under the screen's own key.
//
// Sort popover: the chrome is light gray every time it is asked for; a tap
// on the sort control while the popover is up closes it (the control passes
// touches through the popover's overlay); a choice stores the key in lower
// case, closes the popover and loads page 1 of it. Genre picker: pushed on a
// phone, in the platform's popover on a tablet; a choice names the genre in
// the header and loads its page 1. A choice supersedes whatever list request
// is in flight.
//
// Pull-to-refresh always ends: a pull while a further page is in flight
// supersedes it with page 1; a pull while page 1 is in flight waits for it.
//
// Main thread only.
#include <memory>
#include <string>

#include "screens/ListGenresViewController.h"
#include "screens/ListSortViewController.h"
#include "screens/PosterGridController.h"
#include "ui/popover/FLPopoverController.h"

class UILabel;
class UIPopoverController;

class BrowseGridController : public PosterGridController,
                             public ListGenresViewDelegate,
                             public ListSortViewDelegate,
                             public FLPopoverControllerDelegate {
public:
    // Interface element: the header's title, the chosen genre's name.
    std::shared_ptr<UILabel> movieTitle() const { return movieTitle_.lock(); }
    void setMovieTitle(const std::shared_ptr<UILabel>& label) { movieTitle_ = label; }

    const std::string& moviesType() const { return moviesType_; }
    std::int32_t moviesGenres() const { return moviesGenres_; }
    const std::shared_ptr<FLPopoverController>& popoverController() const { return popoverController_; }
    const std::shared_ptr<UIPopoverController>& popoverIPad() const { return popoverIPad_; }

    // Actions of the header's controls.
    void genresSelect(UIView& sender);
    void typeSelect(UIView& sender);
    void searchMovies(UIView& sender);

    // Picker delegates.
    bool respondsToDidSelectGenresModel() const override { return true; }
    void didSelectGenresModel(const std::shared_ptr<GenresModel>& genre) override;
    bool respondsToDissmissListGenres() const override { return true; }
    void dissmissListGenres() override;
    bool respondsToListSortMoviesByKey() const override { return true; }
    void listSortMoviesByKey(const std::string& key) override;

    // FLPopoverControllerDelegate.
    bool respondsToShouldDismissPopover() const override { return true; }
    bool popoverControllerShouldDismissPopover(FLPopoverController&) override { return true; }
    bool respondsToDidPresentPopover() const override { return true; }
    void popoverControllerDidPresentPopover(FLPopoverController& popover) override;
    bool respondsToDidDismissPopover() const override { return true; }
    void popoverControllerDidDismissPopover(FLPopoverController& popover) override;
    bool respondsToShouldIgnoreKeyboardBounds() const override { return true; }
    bool popoverControllerShouldIgnoreKeyboardBounds(FLPopoverController&) override { return true; }
    bool respondsToWillTranslatePopover() const override { return true; }
    void popoverControllerWillTranslatePopoverWithYOffset(FLPopoverController&, float* offset) override;

protected:
    // "kStateMovieFilter" or "kStateTVShowFilter".
    virtual const char* sortDefaultsKey() const = 0;

    // moviesType from the stored key ("popular" when missing or empty), genre 0.
    void readSortAndGenre();
    // The pull-to-refresh and infinite-scrolling handlers, white spinners.
    void installPullAndInfiniteScrolling();

private:
    void closeGenrePicker();
    void pullToRefresh();

    std::weak_ptr<UILabel> movieTitle_;
    std::string moviesType_ = "popular";
    std::int32_t moviesGenres_ = 0;
    std::shared_ptr<FLPopoverController> popoverController_;
    std::shared_ptr<UIPopoverController> popoverIPad_;
};
