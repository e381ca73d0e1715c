#pragma once
// The genre picker (storyboard "Main", identifier "ListGenresViewController"):
// the genres of the shipped list "MovieGenresData.json" in file order, every row
// whose id is the genre in force checked, a chosen genre or a cancel handed to
// the delegate. Phones push it (its back button cancels); tablets show it in a
// popover of 320 x 480 (its cancel button cancels). It never dismisses itself.
//
// A genre list that is missing, not JSON or not a list leaves the picker empty;
// entries that are not objects are skipped.
//
// Main thread only. The delegate is held weakly.
#include <cstdint>
#include <memory>
#include <vector>

#include "core/GenresModel.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UILabel.h"
#include "screens/ListPickerViewController.h"

class UIControl;

// Each call is made only when the delegate answers YES from the matching respondsTo.
class ListGenresViewDelegate {
public:
    virtual ~ListGenresViewDelegate() = default;
    virtual bool respondsToDidSelectGenresModel() const { return false; }
    virtual void didSelectGenresModel(const std::shared_ptr<GenresModel>& /*genre*/) {}
    virtual bool respondsToDissmissListGenres() const { return false; }
    virtual void dissmissListGenres() {}
};

class ListGenresViewController : public ListPickerViewController {
public:
    static constexpr const char* kStoryboardIdentifier = "ListGenresViewController";
    static constexpr const char* kCellIdentifier = "GenresCellIdentifier";

    ListGenresViewController() : ListPickerViewController(kCellIdentifier) {}

    void viewDidLoad() override;
    // Heading, device-specific chrome and the genre list.
    void configurationView();
    // Action of the back and cancel buttons: tells the delegate dissmissListGenres.
    void cancelView(UIControl* sender);

    const std::vector<std::shared_ptr<GenresModel>>& genresArray() const { return genresArray_; }
    std::int32_t genresIDCurrent() const { return genresIDCurrent_; }
    void setGenresIDCurrent(std::int32_t id) { genresIDCurrent_ = id; }
    std::shared_ptr<ListGenresViewDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(const std::shared_ptr<ListGenresViewDelegate>& delegate) { delegate_ = delegate; }

    // Outlets.
    struct Outlets {
        std::weak_ptr<UITableView> genresTable;
        std::weak_ptr<UILabel> titleLabel;
        std::weak_ptr<UIView> headViewTitle;
        std::weak_ptr<UIButton> backButton;
        std::weak_ptr<UIButton> cancelButton;
    };
    Outlets& outlets() { return outlets_; }
    std::shared_ptr<UITableView> genresTable() const { return outlets_.genresTable.lock(); }
    std::shared_ptr<UILabel> titleLabel() const { return outlets_.titleLabel.lock(); }
    std::shared_ptr<UIView> headViewTitle() const { return outlets_.headViewTitle.lock(); }
    std::shared_ptr<UIButton> backButton() const { return outlets_.backButton.lock(); }
    std::shared_ptr<UIButton> cancelButton() const { return outlets_.cancelButton.lock(); }

    // The rows: the genres' names; the checkmark on every genre of the id in force.
    std::size_t rowCount() const override { return genresArray_.size(); }
    std::string rowText(std::size_t row) const override { return genresArray_[row]->name(); }
    bool isRowChecked(std::size_t row) const override;
    void didSelectRowAtIndexPath(UITableView& tableView, const NSIndexPath& indexPath) override;

private:
    void configureForTablet();
    std::vector<std::shared_ptr<GenresModel>> genresArray_;
    std::int32_t genresIDCurrent_ = 0;
    std::weak_ptr<ListGenresViewDelegate> delegate_;
    Outlets outlets_;
};
