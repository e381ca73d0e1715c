#include "screens/ListStreamViewController.h"

#include "platform/foundation/ThreadAssertions.h"
#include "screens/PickerRows.h"

namespace {
// A stream's row text: its "name" (nothing for an entry that is not a dictionary).
std::string streamName(const Value& stream) { return stream.isDictionary() ? stream["name"].stringValue() : ""; }
}  // namespace

void ListStreamViewController::viewDidLoad() {
    QV_ASSERT_MAIN_THREAD();
    UIViewController::viewDidLoad();
    if (streamCount() > 0) streammSelect_ = streamArray_[0];
}

std::size_t ListStreamViewController::streamCount() const { return streamArray_.isArray() ? streamArray_.count() : 0; }

bool ListStreamViewController::isRowChecked(std::size_t row) const {
    if (row >= streamCount() || !streammSelect_.isDictionary()) return false;
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

long ListStreamViewController::numberOfRowsInSection(UITableView&, long) { return static_cast<long>(streamCount()); }

UITableViewCellPtr ListStreamViewController::cellForRowAtIndexPath(UITableView&, const NSIndexPath& indexPath) {
    const auto row = static_cast<std::size_t>(indexPath.row());
    const std::string text = row < streamCount() ? streamName(streamArray_[row]) : std::string();
    return makePickerRow(kCellIdentifier, text, isRowChecked(row));
}

std::optional<CGFloat> ListStreamViewController::heightForRowAtIndexPath(UITableView&, const NSIndexPath&) {
    return kPickerRowHeight;
}

void ListStreamViewController::didSelectRowAtIndexPath(UITableView& tableView, const NSIndexPath& indexPath) {
    const auto row = static_cast<std::size_t>(indexPath.row());
    if (row >= streamCount()) return;
    streammSelect_ = streamArray_[row];
    tableView.deselectRowAtIndexPath(indexPath, false);
    tableView.reloadData();
}
