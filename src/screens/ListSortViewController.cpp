#include "screens/ListSortViewController.h"

#include "platform/foundation/NSString.h"
#include "platform/base/ThreadAssertions.h"
#include "platform/uikit/UINib.h"

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

void ListSortViewController::didSelectRowAtIndexPath(UITableView& tableView, const NSIndexPath& indexPath) {
    auto row = chosenRow(tableView, indexPath, true);
    if (!row) return;
    auto keep = self<ListSortViewController>();  // the delegate may close the picker
    if (auto d = delegate(); d && d->respondsToListSortMoviesByKey()) d->listSortMoviesByKey(sortByArray_[*row]);
}
