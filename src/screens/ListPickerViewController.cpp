#include "screens/ListPickerViewController.h"

#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIFont.h"

long ListPickerViewController::numberOfRowsInSection(UITableView&, long) { return static_cast<long>(rowCount()); }

UITableViewCellPtr ListPickerViewController::cellForRowAtIndexPath(UITableView&, const NSIndexPath& indexPath) {
    const auto row = static_cast<std::size_t>(indexPath.row());
    auto cell = std::make_shared<UITableViewCell>(UITableViewCellStyleDefault, cellIdentifier_);
    cell->setSelectionStyle(UITableViewCellSelectionStyleNone);
    cell->textLabel()->setText(row < rowCount() ? rowText(row) : std::string());
    cell->textLabel()->setTextColor(UIColor::blackColor()->CGColor());
    cell->textLabel()->setFont(UIFont::systemFontOfSize(15));
    cell->setAccessoryType(isRowChecked(row) ? UITableViewCellAccessoryCheckmark : UITableViewCellAccessoryNone);
    return cell;
}

std::optional<CGFloat> ListPickerViewController::heightForRowAtIndexPath(UITableView&, const NSIndexPath&) {
    return kRowHeight;
}

std::optional<std::size_t> ListPickerViewController::chosenRow(UITableView& tableView, const NSIndexPath& indexPath,
                                                               bool animated) {
    tableView.deselectRowAtIndexPath(indexPath, animated);
    const auto row = static_cast<std::size_t>(indexPath.row());
    if (row >= rowCount()) return std::nullopt;
    return row;
}
