#include "screens/ListGenresViewController.h"

#include "platform/foundation/NSLog.h"
#include "platform/base/ThreadAssertions.h"
#include "platform/uikit/UINavigationBar.h"
#include "platform/uikit/UINavigationController.h"
#include "screens/ScreenStyle.h"

namespace {
// The heading's tint on a tablet: red 0, green 125/255, blue 1.
CGColorRef tabletHeadingColor() { return UIColor::colorWithRed(0, 125.0 / 255.0, 1, 1)->CGColor(); }
}  // namespace

void ListGenresViewController::viewDidLoad() {
    QV_ASSERT_MAIN_THREAD();
    if (auto navigation = navigationController()) navigation->navigationBar()->setBackgroundColor(screenColor()->CGColor());
    UIViewController::viewDidLoad();
    configurationView();
    if (isTablet()) setPreferredContentSize(CGSizeMake(320, 480));
}

void ListGenresViewController::configurationView() {
    if (auto label = titleLabel()) label->setText("List Genres");
    if (isTablet()) {
        configureForTablet();
    } else if (auto cancel = cancelButton()) {
        cancel->setHidden(true);
    }
    genresArray_.clear();
    NSErrorPtr error;
    genresArray_ = GenresModel::loadGenreList(&error);
    // The list stays empty (or holds only the usable entries); the user sees no message.
    if (error) NSLog("The genre list could not be read: %@", error->localizedDescription());
}

void ListGenresViewController::configureForTablet() {
    if (auto back = backButton()) back->setHidden(true);
    const CGFloat width = view()->bounds().size.width;
    if (auto head = headViewTitle()) {
        head->setFrame(CGRectMake(0, 0, width, 44));
        head->setBackgroundColor(UIColor::whiteColor()->CGColor());
    }
    if (auto table = genresTable()) table->setFrame(CGRectMake(0, 44, width, 436));
    if (auto label = titleLabel()) label->setTextColor(tabletHeadingColor());
    if (auto cancel = cancelButton()) cancel->setTitleColor(tabletHeadingColor(), UIControlStateNormal);
}

void ListGenresViewController::cancelView(UIControl*) {
    auto keep = self<ListGenresViewController>();  // the delegate may close the picker
    if (auto d = delegate(); d && d->respondsToDissmissListGenres()) d->dissmissListGenres();
}

bool ListGenresViewController::isRowChecked(std::size_t row) const {
    return row < genresArray_.size() && genresArray_[row]->genresID() == genresIDCurrent_;
}

void ListGenresViewController::didSelectRowAtIndexPath(UITableView& tableView, const NSIndexPath& indexPath) {
    auto row = chosenRow(tableView, indexPath, true);
    if (!row) return;
    auto keep = self<ListGenresViewController>();  // the delegate may close the picker
    auto genre = genresArray_[*row];
    if (auto d = delegate(); d && d->respondsToDidSelectGenresModel()) d->didSelectGenresModel(genre);
}
