#pragma once
// What the sort, genre and stream pickers share: a table of rows, each a new
// cell of the default style (never one from the table's reuse queue) with no
// selection highlight, its text in black in the system font of 15 points, 44
// points high, with the checkmark accessory on the chosen rows. A picker says
// how many rows it has, their texts and which are checked; choosing a row is
// its own. Main thread only.
#include <optional>
#include <string>

#include "platform/uikit/UITableView.h"
#include "platform/uikit/UIViewController.h"

class ListPickerViewController : public UIViewController, public UITableViewDataSource, public UITableViewDelegate {
public:
    static constexpr CGFloat kRowHeight = 44;

    void didReceiveMemoryWarning() override { UIViewController::didReceiveMemoryWarning(); }

    virtual std::size_t rowCount() const = 0;
    virtual std::string rowText(std::size_t row) const = 0;
    virtual bool isRowChecked(std::size_t row) const = 0;

    // UITableViewDataSource and UITableViewDelegate.
    long numberOfRowsInSection(UITableView& tableView, long section) final;
    UITableViewCellPtr cellForRowAtIndexPath(UITableView& tableView, const NSIndexPath& indexPath) final;
    std::optional<CGFloat> heightForRowAtIndexPath(UITableView& tableView, const NSIndexPath& indexPath) final;

protected:
    // The reuse identifier the picker's rows carry.
    explicit ListPickerViewController(std::string cellIdentifier) : cellIdentifier_(std::move(cellIdentifier)) {}
    // The chosen row when it is one of the picker's, after deselecting it.
    std::optional<std::size_t> chosenRow(UITableView& tableView, const NSIndexPath& indexPath, bool animated);

private:
    std::string cellIdentifier_;
};
