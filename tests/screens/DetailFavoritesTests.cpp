// Protects the favourite button of the detail page against the real store file: a favourite
// survives a restart and its removal deletes it, two pages of one title never store it twice, and
// a save the store refuses gives the alert, leaves the button as stored and takes back only the
// favourite's own change, so the download manager's pending records are saved later as ever.
#include <doctest/doctest.h>

#include "DetailTestApp.h"
#include "core/DownloadManager.h"
#include "core/MoviesDownloadModel.h"
#include "platform/coredata/NSEntityDescription.h"
#include "platform/uikit/UIAlertView.h"
#include "platform/uikit/UIApplication.h"

using namespace screentest;

namespace {

bool selected(const std::shared_ptr<DetailMoviesViewController>& page) {
    auto button = page->outlets().movieFavoritiesButton.lock();
    REQUIRE(button);
    return button->isSelected();
}

std::vector<std::shared_ptr<NSManagedObject>> favoritesInFile() { return storedRows("MoviesFavoritiesModel"); }

template <class T>
bool pendingOfEntity(const std::vector<std::shared_ptr<NSManagedObject>>& objects) {
    for (const auto& o : objects)
        if (std::dynamic_pointer_cast<T>(o)) return true;
    return false;
}

void closeAll(Stage& stage) {
    for (auto& navigation : stage.shell.navigations) {
        navigation->dismissViewControllerAnimated(false);
        navigation->popToRootViewControllerAnimated(false);
    }
    settle();
}

}  // namespace

TEST_CASE("a favourite is stored with the list record's fields, survives a restart and is deleted by the button") {
    Stage stage(false);
    auto movie = stage.firstMovie();
    {
        auto page = stage.open(movie);
        CHECK_FALSE(selected(page));
        stage.finger.tapId("movieFavoritiesButton");
        CHECK(selected(page));
        auto rows = favoritesInFile();
        REQUIRE(rows.size() == 1);
        CHECK(rows[0]->valueForKey("movieID").intValue() == movie->movieID());
        CHECK(rows[0]->valueForKey("title").stringValue() == movie->title());
        CHECK(rows[0]->valueForKey("moviesPoster").stringValue() == movie->moviesPoster());
        CHECK(rows[0]->valueForKey("movieRating").floatValue() == movie->movieRating());
        CHECK(rows[0]->valueForKey("movieYear").intValue() == static_cast<int>(movie->movieYear()));
        CHECK(rows[0]->valueForKey("descriptionMovie").isNull());
        closeAll(stage);
    }

    // A restart: a new delegate opens a new context on the same store file.
    auto restarted = std::make_shared<AppDelegate>();
    restarted->setWindow(stage.shell.window);
    UIApplication::sharedApplication()->setDelegate(restarted);
    REQUIRE(restarted->managedObjectContext() != stage.app.delegate->managedObjectContext());
    auto page = stage.open(movie);
    CHECK(selected(page));
    stage.finger.tapId("movieFavoritiesButton");
    CHECK_FALSE(selected(page));
    CHECK(favoritesInFile().empty());
    stage.finger.tapId("movieFavoritiesButton");
    CHECK(selected(page));
    CHECK(favoritesInFile().size() == 1);
    CHECK(UIAlertView::visibleAlerts().empty());
}

TEST_CASE("two pages of one title never store it twice, and a page whose record another page removed shows it removed") {
    Stage stage(false);
    auto movie = stage.firstMovie();
    auto first = stage.open(movie, 0);
    auto second = stage.open(movie, 1);
    CHECK_FALSE(selected(second));

    stage.shell.tabBar->setSelectedIndex(0);
    settle();
    stage.finger.tapId("movieFavoritiesButton");
    CHECK(selected(first));

    stage.shell.tabBar->setSelectedIndex(1);
    settle();
    CHECK_FALSE(selected(second));  // it looked when it opened
    stage.finger.tapId("movieFavoritiesButton");
    CHECK(selected(second));
    CHECK(favoritesInFile().size() == 1);  // adopted, not stored again
    CHECK(second->movieFavorities() == first->movieFavorities());

    stage.finger.tapId("movieFavoritiesButton");
    CHECK_FALSE(selected(second));
    CHECK(favoritesInFile().empty());

    stage.shell.tabBar->setSelectedIndex(0);
    settle();
    stage.finger.tapId("movieFavoritiesButton");  // the record is gone already
    CHECK_FALSE(selected(first));
    CHECK(favoritesInFile().empty());
    CHECK(UIAlertView::visibleAlerts().empty());
}

TEST_CASE("a read-only store gives the favourite's alert, leaves the button as stored and the download manager's changes pending") {
    Stage stage(false);
    auto movie = stage.firstMovie();
    const Value chapter = stage.fetchDetail(movie->movieID())["chapters"][0];
    auto context = stage.app.delegate->managedObjectContext();
    // A download record whose progress the download manager has not saved yet.
    auto record = std::dynamic_pointer_cast<MoviesDownloadModel>(
        NSEntityDescription::insertNewObjectForEntityForName("MoviesDownloadModel", context));
    REQUIRE(record);
    record->setTitle("Earlier");
    record->setLinkUrl("http://127.0.0.1:9/earlier.mp4");
    REQUIRE(context->save(nullptr));
    record->setPercentDownload(42);

    auto page = stage.open(movie);
    struct Case {
        const char* name;
        bool storedBefore;
        const char* message;
    };
    const Case cases[] = {
        {"adding", false, DetailMoviesViewController::kAddFavoriteFailed},
        {"removing", true, DetailMoviesViewController::kRemoveFavoriteFailed},
    };
    int saves = 0;
    float pendingPercent = 42;
    for (const auto& c : cases) {
        const std::string name = c.name;
        CAPTURE(name);
        REQUIRE(selected(page) == c.storedBefore);
        stage.app.reopenStore(true);
        stage.finger.tapId("movieFavoritiesButton");
        auto alerts = UIAlertView::visibleAlerts();
        REQUIRE(alerts.size() == 1);
        CHECK(alerts[0]->title() == "Alert");
        CHECK(alerts[0]->message() == c.message);
        CHECK(alerts[0]->buttonTitleAtIndex(0) == "OK");
        CHECK(selected(page) == c.storedBefore);
        // Only the favourite's own change was taken back.
        CHECK_FALSE(pendingOfEntity<MoviesFavoritiesModel>(context->insertedObjects()));
        CHECK_FALSE(pendingOfEntity<MoviesFavoritiesModel>(context->deletedObjects()));
        CHECK(record->isUpdated());
        stage.finger.tapAlertButton("OK");

        // The store can be written again: the download manager's next save succeeds.
        stage.app.reopenStore(false);
        Value queued = chapter.copy();
        queued.setObject("link", stage.catalogue.server().origin() + "/media/" + std::to_string(chapter["id"].intValue()) + "-" +
                                     std::to_string(++saves) + ".mp4");
        REQUIRE(DownloadManager::downloadManager()->startDownloadMovies(queued));
        CHECK_FALSE(context->hasChanges());
        auto downloads = storedRows("MoviesDownloadModel");
        CHECK(downloads.size() == static_cast<std::size_t>(1 + saves));
        CHECK(downloads[0]->valueForKey("percentDownload").floatValue() == pendingPercent);
        CHECK(favoritesInFile().size() == (c.storedBefore ? 1u : 0u));

        if (!c.storedBefore) {
            stage.finger.tapId("movieFavoritiesButton");  // stored now, for the removal
            REQUIRE(favoritesInFile().size() == 1);
            pendingPercent = 43;
            record->setPercentDownload(pendingPercent);
        }
    }
}
