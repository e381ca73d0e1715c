#include "screens/ListStreamViewController.h"

#include "platform/base/ThreadAssertions.h"

namespace {
// A stream's row text: its "name" (nothing for an entry that is not a dictionary).
std::string streamName(const Value& stream) { return stream.isDictionary() ? stream["name"].stringValue() : ""; }
}  // namespace

void ListStreamViewController::viewDidLoad() {
    QV_ASSERT_MAIN_THREAD();
    UIViewController::viewDidLoad();
    if (rowCount() > 0) streammSelect_ = streamArray_[0];
}

std::size_t ListStreamViewController::rowCount() const { return streamArray_.isArray() ? streamArray_.count() : 0; }

std::string ListStreamViewController::rowText(std::size_t row) const { return streamName(streamArray_[row]); }

bool ListStreamViewController::isRowChecked(std::size_t row) const {
    if (row >= rowCount() || !streammSelect_.isDictionary()) return false;
    return streamName(streamArray_[row]) == streamName(streammSelect_);
}

void ListStreamViewController::playVideo(UIControl*) {
    auto keep = self<ListStreamViewController>();  // the delegate closes the dialog
    if (auto d = delegate(); d && d->respondsToListStreamViewPlayStream()) d->listStreamViewPlayStream(streammSelect_);
}

void ListStreamViewController::downloadVideo(UIControl*) {
    auto keep = self<ListStreamViewController>();
    if (auto d = delegate(); d && d->respondsToListStreamViewDownloadStream())
        d->listStreamViewDownloadStream(streammSelect_);
}

void ListStreamViewController::cancelView(UIControl*) {
    auto keep = self<ListStreamViewController>();
    if (auto d = delegate(); d && d->respondsToListStreamViewCancelView()) d->listStreamViewCancelView();
}

void ListStreamViewController::didSelectRowAtIndexPath(UITableView& tableView, const NSIndexPath& indexPath) {
    auto row = chosenRow(tableView, indexPath, false);
    if (!row) return;
    streammSelect_ = streamArray_[*row];
    tableView.reloadData();
}
