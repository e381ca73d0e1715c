#pragma once
// The sort picker: four rows ("Popular", "Updated", "New", "Rating"), the key in
// force checked, a chosen row handed to the delegate. Its view comes from the
// interface file "ListSortViewController" (a table filling the view and the
// heading label). The grids show it in a popover; it never dismisses itself
// when a row is chosen, only through cancelView.
//
// Main thread only. The delegate is held weakly.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/uikit/UILabel.h"
#include "screens/ListPickerViewController.h"

class UIControl;

// Told of the chosen sort key. The picker calls it only when the delegate
// answers YES from respondsToListSortMoviesByKey.
class ListSortViewDelegate {
public:
    virtual ~ListSortViewDelegate() = default;
    virtual bool respondsToListSortMoviesByKey() const { return false; }
    // The chosen row's text, one of "Popular", "Updated", "New", "Rating".
    virtual void listSortMoviesByKey(const std::string& /*key*/) {}
};

class ListSortViewController : public ListPickerViewController {
public:
    static constexpr const char* kNibName = "ListSortViewController";
    static constexpr const char* kCellIdentifier = "GenresCellIdentifier";

    // initWithNibName:bundle: the view is built from the interface file on first use.
    static std::shared_ptr<ListSortViewController> initWithNibName(const std::string& nibName = kNibName);
    ListSortViewController() : ListPickerViewController(kCellIdentifier) {}

    void viewDidLoad() override;
    // Fills the rows.
    void configurationView();
    // Action: dismisses the picker as a presented controller, animated.
    void cancelView(UIControl* sender);

    const std::vector<std::string>& sortByArray() const { return sortByArray_; }
    std::shared_ptr<ListSortViewDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(const std::shared_ptr<ListSortViewDelegate>& delegate) { delegate_ = delegate; }
    // The key in force (any case); none checks the first row.
    const std::optional<std::string>& sortByCurrent() const { return sortByCurrent_; }
    void setSortByCurrent(std::optional<std::string> key) { sortByCurrent_ = std::move(key); }

    // Outlets, connected by the interface file.
    std::shared_ptr<UILabel> titleLabel() const { return titleLabel_.lock(); }
    std::shared_ptr<UITableView> tableView() const { return tableView_.lock(); }
    std::weak_ptr<UILabel>& titleLabelOutlet() { return titleLabel_; }
    std::weak_ptr<UITableView>& tableViewOutlet() { return tableView_; }

    // The rows: the keys; the checkmark on the key in force.
    std::size_t rowCount() const override { return sortByArray_.size(); }
    std::string rowText(std::size_t row) const override { return sortByArray_[row]; }
    bool isRowChecked(std::size_t row) const override;
    void didSelectRowAtIndexPath(UITableView& tableView, const NSIndexPath& indexPath) override;

private:
    std::vector<std::string> sortByArray_;
    std::weak_ptr<ListSortViewDelegate> delegate_;
    std::optional<std::string> sortByCurrent_;
    std::weak_ptr<UILabel> titleLabel_;
    std::weak_ptr<UITableView> tableView_;
};
