#include "screens/ListSortViewController.h"

#include "platform/foundation/NSString.h"
#include "platform/foundation/ThreadAssertions.h"
#include "platform/uikit/UINib.h"
#include "screens/PickerRows.h"

std::shared_ptr<ListSortViewController> ListSortViewController::initWithNibName(const std::string& nibName) {
    auto picker = std::make_shared<ListSortViewController>();
    picker->setViewFactory([nibName](UIViewController& owner) -> std::shared_ptr<UIView> {
        auto nib = UINib::nibWithNibName(nibName, nullptr);
        return nib ? nib->instantiateFirst<UIView>(owner.self<NSObject>()) : nullptr;
    });
    return picker;
}

void ListSortViewController::viewDidLoad() {
    QV_ASSERT_MAIN_THREAD();
    UIViewController::viewDidLoad();
    configurationView();
}

void ListSortViewController::configurationView() { sortByArray_ = {"Popular", "Updated", "New", "Rating"}; }

void ListSortViewController::cancelView(UIControl*) { dismissViewControllerAnimated(true, {}); }

bool ListSortViewController::isRowChecked(std::size_t row) const {
    if (row >= sortByArray_.size()) return false;
    if (!sortByCurrent_) return row == 0;
    return uppercaseString(sortByArray_[row]) == uppercaseString(*sortByCurrent_);
}

long ListSortViewController::numberOfRowsInSection(UITableView&, long) { return static_cast<long>(sortByArray_.size()); }

UITableViewCellPtr ListSortViewController::cellForRowAtIndexPath(UITableView&, const NSIndexPath& indexPath) {
    const auto row = static_cast<std::size_t>(indexPath.row());
    const std::string text = row < sortByArray_.size() ? sortByArray_[row] : std::string();
    return makePickerRow(kCellIdentifier, text, isRowChecked(row));
}

std::optional<CGFloat> ListSortViewController::heightForRowAtIndexPath(UITableView&, const NSIndexPath&) {
    return kPickerRowHeight;
}

void ListSortViewController::didSelectRowAtIndexPath(UITableView& tableView, const NSIndexPath& indexPath) {
    tableView.deselectRowAtIndexPath(indexPath, true);
    const auto row = static_cast<std::size_t>(indexPath.row());
    if (row >= sortByArray_.size()) return;
    auto keep = self<ListSortViewController>();  // the delegate may close the picker
    if (auto d = delegate(); d && d->respondsToListSortMoviesByKey()) d->listSortMoviesByKey(sortByArray_[row]);
}
