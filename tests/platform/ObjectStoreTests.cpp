// Protects the object store over real SQLite files: fetches, sorting, limits, pending changes, saves and their announcements, rollback and errors.
#include <doctest/doctest.h>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "ObjectStoreFixture.h"
#include "platform/foundation/NSNotificationCenter.h"

extern char** environ;

using namespace storetest;

namespace {

struct ProcessResult {
    int exitCode = -1;
    std::string output;
};

// Runs the store helper as a separate process and waits for its end.
ProcessResult runHelper(const std::vector<std::string>& args) {
    std::string helper = (std::filesystem::path(testsupport::selfExecutable()).parent_path() / "objectstore_helper").string();
    REQUIRE(std::filesystem::exists(helper));
    std::vector<char*> argv;
    argv.push_back(helper.data());
    std::vector<std::string> copies = args;
    for (auto& a : copies) argv.push_back(a.data());
    argv.push_back(nullptr);
    int fds[2];
    REQUIRE(pipe(fds) == 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    pid_t pid = 0;
    int rc = posix_spawn(&pid, helper.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    REQUIRE(rc == 0);
    ProcessResult result;
    char buffer[4096];
    ssize_t n;
    while ((n = read(fds[0], buffer, sizeof buffer)) > 0) result.output.append(buffer, static_cast<std::size_t>(n));
    close(fds[0]);
    int status = 0;
    REQUIRE(waitpid(pid, &status, 0) == pid);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::shared_ptr<NSPredicate> pred(const std::string& format, std::vector<Value> args = {}) {
    auto p = NSPredicate::predicateWithFormat(format, args);
    REQUIRE(p);
    return p;
}

}  // namespace

TEST_CASE("a favourite is found again by its movieID") {
    Fixture f;
    {
        auto s = f.open();
        REQUIRE_MESSAGE(s.store, (s.error ? s.error->description() : ""));
        addFavourite(s.context, 11, "First", 6.1f, 1999);
        addFavourite(s.context, 12, "Second", 7.3f, 2005);
        addFavourite(s.context, 13, "Third", 8.0f, 2012);
        NSErrorPtr error;
        REQUIRE(s.context->save(&error));
        CHECK_FALSE(error);
    }
    // A new stack reads what the first one wrote.
    auto s = f.open();
    REQUIRE(s.store);
    auto found = fetch(s.context, "MoviesFavoritiesModel", pred("movieID == %@", {Value(12)}));
    REQUIRE(found.size() == 1);
    auto movie = found[0];
    CHECK(movie->entityName() == "MoviesFavoritiesModel");
    CHECK(movie->valueForKey("movieID").intValue() == 12);
    CHECK(movie->valueForKey("title") == Value("Second"));
    CHECK(movie->valueForKey("moviesPoster") == Value("http://posters.example/12.jpg"));
    CHECK(movie->valueForKey("movieRating").floatValue() == 7.3f);
    CHECK(movie->valueForKey("movieYear").intValue() == 2005);
    CHECK(movie->valueForKey("descriptionMovie").isNull());
    CHECK(movie->managedObjectContext() == s.context);
    CHECK_FALSE(movie->objectID()->isTemporaryID());
    CHECK(movie->objectID()->storeIdentifier() == s.store->identifier());

    CHECK(fetch(s.context, "MoviesFavoritiesModel", pred("movieID == %@", {Value(14)})).empty());
    CHECK(fetch(s.context, "MoviesFavoritiesModel", pred("movieRating == %@", {Value(7.3)})).size() == 1);
}

TEST_CASE("fetches without sort descriptors keep insertion order") {
    Fixture f;
    auto s = f.open();
    REQUIRE(s.store);
    addFavourite(s.context, 5, "five");
    addFavourite(s.context, 3, "three");
    REQUIRE(s.context->save(nullptr));
    addFavourite(s.context, 9, "nine");
    REQUIRE(s.context->save(nullptr));
    CHECK(movieIDs(fetch(s.context, "MoviesFavoritiesModel")) == std::vector<int>{5, 3, 9});

    auto three = fetch(s.context, "MoviesFavoritiesModel", pred("movieID == 3"));
    REQUIRE(three.size() == 1);
    s.context->deleteObject(three[0]);
    addFavourite(s.context, 1, "one");
    // Unsaved: the deletion is left out and the new object comes last.
    CHECK(movieIDs(fetch(s.context, "MoviesFavoritiesModel")) == std::vector<int>{5, 9, 1});
    REQUIRE(s.context->save(nullptr));
    // An update does not move a record.
    fetch(s.context, "MoviesFavoritiesModel", pred("movieID == 5"))[0]->setValueForKey("title", "five again");
    REQUIRE(s.context->save(nullptr));
    addFavourite(s.context, 3, "three is back");
    REQUIRE(s.context->save(nullptr));

    auto other = f.open();
    CHECK(movieIDs(fetch(other.context, "MoviesFavoritiesModel")) == std::vector<int>{5, 9, 1, 3});
    CHECK(fetch(other.context, "MoviesFavoritiesModel")[0]->valueForKey("title") == Value("five again"));
}

TEST_CASE("sort descriptors and the fetch limit shape the result") {
    Fixture f;
    auto s = f.open();
    REQUIRE(s.store);
    addFavourite(s.context, 1, "b", 5.0);
    addFavourite(s.context, 2, "a", 9.0);
    addFavourite(s.context, 3, "c", 7.0);
    REQUIRE(s.context->save(nullptr));
    auto unsaved = addFavourite(s.context, 4, "d", 8.0);
    unsaved->setValueForKey("movieRating", Value());

    auto request = NSFetchRequest::fetchRequestWithEntityName("MoviesFavoritiesModel");
    request->setSortDescriptors({NSSortDescriptor::sortDescriptorWithKey("movieRating", false)});
    NSErrorPtr error;
    CHECK(movieIDs(s.context->executeFetchRequest(request, &error)) == std::vector<int>{2, 3, 1, 4});
    request->setSortDescriptors({NSSortDescriptor::sortDescriptorWithKey("movieRating", true)});
    CHECK(movieIDs(s.context->executeFetchRequest(request, &error)) == std::vector<int>{4, 1, 3, 2});
    request->setFetchLimit(2);
    CHECK(movieIDs(s.context->executeFetchRequest(request, &error)) == std::vector<int>{4, 1});
    request->setSortDescriptors({});
    CHECK(movieIDs(s.context->executeFetchRequest(request, &error)) == std::vector<int>{1, 2});
    CHECK_FALSE(error);

    request->setSortDescriptors({NSSortDescriptor::sortDescriptorWithKey("rank", true)});
    CHECK(s.context->executeFetchRequest(request, &error).empty());
    REQUIRE(error);
    CHECK(error->code() == NSCoreDataError);
}

TEST_CASE("pending changes take part in fetches") {
    Fixture f;
    auto s = f.open();
    REQUIRE(s.store);
    auto kept = addFavourite(s.context, 1, "kept", 5.0, 1990);
    auto removed = addFavourite(s.context, 2, "removed", 5.0, 1990);
    auto changed = addFavourite(s.context, 3, "changed", 5.0, 1990);
    REQUIRE(s.context->save(nullptr));

    auto fresh = addFavourite(s.context, 4, "fresh", 5.0, 1990);
    auto freshOther = addFavourite(s.context, 5, "other year", 5.0, 2020);
    s.context->deleteObject(removed);
    changed->setValueForKey("movieYear", 2020);

    auto in1990 = pred("movieYear == %@", {Value(1990)});
    CHECK(movieIDs(fetch(s.context, "MoviesFavoritiesModel", in1990)) == std::vector<int>{1, 4});
    CHECK(movieIDs(fetch(s.context, "MoviesFavoritiesModel", pred("movieYear == 2020"))) == std::vector<int>{3, 5});
    CHECK(movieIDs(fetch(s.context, "MoviesFavoritiesModel")) == std::vector<int>{1, 3, 4, 5});

    // Without pending changes only the store's content counts.
    auto request = NSFetchRequest::fetchRequestWithEntityName("MoviesFavoritiesModel");
    request->setIncludesPendingChanges(false);
    request->setPredicate(in1990);
    CHECK(movieIDs(s.context->executeFetchRequest(request, nullptr)).size() == 3);

    // A deleted object that was never saved just leaves.
    s.context->deleteObject(fresh);
    CHECK_FALSE(fresh->managedObjectContext());
    CHECK(movieIDs(fetch(s.context, "MoviesFavoritiesModel", in1990)) == std::vector<int>{1});
    REQUIRE(s.context->save(nullptr));
    auto other = f.open();
    CHECK(movieIDs(fetch(other.context, "MoviesFavoritiesModel")) == std::vector<int>{1, 3, 5});
    CHECK(kept->managedObjectContext() == s.context);
    CHECK(freshOther->objectID()->primaryKey() > changed->objectID()->primaryKey());
}

TEST_CASE("object state and hasChanges follow inserts updates deletes and saves") {
    Fixture f;
    auto s = f.open();
    REQUIRE(s.store);
    CHECK_FALSE(s.context->hasChanges());
    CHECK(s.context->save(nullptr));  // nothing to do

    auto movie = addFavourite(s.context, 1, "one");
    CHECK(s.context->hasChanges());
    CHECK(movie->isInserted());
    CHECK_FALSE(movie->isUpdated());
    CHECK(movie->objectID()->isTemporaryID());
    auto temporary = movie->objectID()->URIRepresentation();
    REQUIRE(s.context->save(nullptr));
    CHECK_FALSE(s.context->hasChanges());
    CHECK_FALSE(movie->isInserted());
    CHECK_FALSE(movie->objectID()->isTemporaryID());
    CHECK(movie->objectID()->URIRepresentation() != temporary);
    CHECK(movie->objectID()->URIRepresentation() ==
          "x-coredata://" + s.store->identifier() + "/MoviesFavoritiesModel/p" +
              std::to_string(movie->objectID()->primaryKey()));

    movie->setValueForKey("title", "renamed");
    CHECK(s.context->hasChanges());
    CHECK(movie->isUpdated());
    CHECK(movie->changedValues()["title"] == Value("renamed"));
    CHECK(s.context->updatedObjects().size() == 1);
    movie->setValueForKey("title", "one");  // back to the saved value
    CHECK_FALSE(movie->isUpdated());
    CHECK_FALSE(s.context->hasChanges());
    movie->setValueForKey("movieYear", 1977);
    REQUIRE(s.context->save(nullptr));
    CHECK_FALSE(movie->isUpdated());

    s.context->deleteObject(movie);
    CHECK(movie->isDeleted());
    CHECK(s.context->hasChanges());
    CHECK(s.context->deletedObjects().size() == 1);
    REQUIRE(s.context->save(nullptr));
    CHECK_FALSE(s.context->hasChanges());
    CHECK_FALSE(movie->managedObjectContext());
    CHECK(fetch(s.context, "MoviesFavoritiesModel").empty());
    CHECK(fetch(f.open().context, "MoviesFavoritiesModel").empty());
}

TEST_CASE("a successful save is announced with the saved objects") {
    Fixture f;
    auto s = f.open();
    REQUIRE(s.store);
    auto old = addFavourite(s.context, 1, "old");
    REQUIRE(s.context->save(nullptr));
    Value info;
    auto token = NSNotificationCenter::defaultCenter()->addObserverForName(
        NSManagedObjectContextDidSaveNotification, s.context, nullptr,
        [&](const NSNotification& n) { info = n.userInfo(); });
    auto added = addFavourite(s.context, 2, "new");
    s.context->deleteObject(old);
    REQUIRE(s.context->save(nullptr));
    NSNotificationCenter::defaultCenter()->removeObserver(token.get());
    REQUIRE(info["inserted"].count() == 1);
    CHECK(info["inserted"][0].object() == added);
    CHECK(info["deleted"][0].object() == old);
    CHECK(info["updated"].count() == 0);
}

TEST_CASE("a row fetched twice is the same object while it is registered") {
    Fixture f;
    {
        auto s = f.open();
        REQUIRE(s.store);
        addFavourite(s.context, 1, "one");
        addFavourite(s.context, 2, "two");
        REQUIRE(s.context->save(nullptr));
    }
    auto s = f.open();
    auto first = fetch(s.context, "MoviesFavoritiesModel");
    auto second = fetch(s.context, "MoviesFavoritiesModel", pred("movieID >= 1"));
    REQUIRE(first.size() == 2);
    REQUIRE(second.size() == 2);
    CHECK(first[0] == second[0]);
    CHECK(first[1] == second[1]);
    CHECK(s.context->registeredObjectCount() == 2);

    // A changed object keeps its unsaved value when its row is fetched again.
    first[0]->setValueForKey("title", "unsaved");
    auto again = fetch(s.context, "MoviesFavoritiesModel", pred("movieID == 1"));
    REQUIRE(again.size() == 1);
    CHECK(again[0] == first[0]);
    CHECK(again[0]->valueForKey("title") == Value("unsaved"));

    // An object nobody holds and that has no changes leaves the context.
    std::weak_ptr<NSManagedObject> gone = first[1];
    first.clear();
    second.clear();
    again.clear();
    CHECK(gone.expired());
    auto refetched = fetch(s.context, "MoviesFavoritiesModel");
    REQUIRE(refetched.size() == 2);
    CHECK(refetched[0]->valueForKey("title") == Value("unsaved"));  // held by the context while changed
    CHECK(refetched[1]->valueForKey("title") == Value("two"));

    // Two contexts give two objects with one identity.
    auto otherContext = std::make_shared<NSManagedObjectContext>();
    otherContext->setPersistentStoreCoordinator(s.coordinator);
    auto other = fetch(otherContext, "MoviesFavoritiesModel", pred("movieID == 2"));
    REQUIRE(other.size() == 1);
    CHECK(other[0] != refetched[1]);
    CHECK(other[0]->objectID()->isEqual(*refetched[1]->objectID()));
}

TEST_CASE("values of a wrong type or for unknown keys are refused") {
    Fixture f;
    auto s = f.open();
    REQUIRE(s.store);
    auto movie = addFavourite(s.context, 1, "one");
    REQUIRE(s.context->save(nullptr));
    LogCapture log;
    CHECK_FALSE(movie->setValueForKey("title", 42));
    CHECK_FALSE(movie->setValueForKey("movieID", "12"));
    CHECK_FALSE(movie->setValueForKey("movieID", 4294967296LL));
    CHECK_FALSE(movie->setValueForKey("movieRating", std::nan("")));
    CHECK_FALSE(movie->setValueForKey("rating", 5));
    CHECK(movie->valueForKey("rating").isNull());
    CHECK(log.lines.size() == 6);
    CHECK(log.contains("not key value coding-compliant for the key \"rating\""));
    CHECK(log.contains("unacceptable value 42 for the attribute \"title\""));
    CHECK(movie->valueForKey("title") == Value("one"));
    CHECK(movie->valueForKey("movieID").intValue() == 1);
    CHECK_FALSE(s.context->hasChanges());

    auto download = NSEntityDescription::insertNewObjectForEntityForName("MoviesDownloadModel", s.context);
    REQUIRE(download);
    CHECK(download->setValueForKey("isDownload", 1));
    CHECK(download->valueForKey("isDownload").type() == Value::Type::Bool);
    CHECK(download->setValueForKey("percentDownload", 42.123456789));
    CHECK(download->valueForKey("percentDownload").doubleValue() == static_cast<double>(42.123456789f));
    CHECK(download->setValueForKey("title", Value()));
    CHECK(download->valueForKey("title").isNull());
}

TEST_CASE("setting a value notifies its observers") {
    Fixture f;
    auto s = f.open();
    REQUIRE(s.store);
    auto movie = addFavourite(s.context, 1, "one");
    std::vector<std::string> seen;
    auto token = movie->observeValueForKey("title", [&](const std::string& key) {
        seen.push_back(key + "=" + movie->valueForKey(key).stringValue());
    });
    movie->setValueForKey("title", "two");
    movie->setValueForKey("title", "two");
    movie->setValueForKey("movieYear", 2000);
    movie->setValueForKey("title", 3);  // refused: no notification
    CHECK(seen == std::vector<std::string>{"title=two", "title=two"});
}

TEST_CASE("rollback drops pending changes") {
    Fixture f;
    auto s = f.open();
    REQUIRE(s.store);
    auto kept = addFavourite(s.context, 1, "kept");
    auto removed = addFavourite(s.context, 2, "removed");
    REQUIRE(s.context->save(nullptr));
    kept->setValueForKey("title", "changed");
    s.context->deleteObject(removed);
    auto added = addFavourite(s.context, 3, "added");
    s.context->rollback();
    CHECK_FALSE(s.context->hasChanges());
    CHECK(kept->valueForKey("title") == Value("kept"));
    CHECK_FALSE(removed->isDeleted());
    CHECK_FALSE(added->managedObjectContext());
    CHECK(movieIDs(fetch(s.context, "MoviesFavoritiesModel")) == std::vector<int>{1, 2});
}

TEST_CASE("unknown entities give no object and a fetch error") {
    Fixture f;
    auto s = f.open();
    REQUIRE(s.store);
    LogCapture log;
    CHECK_FALSE(NSEntityDescription::insertNewObjectForEntityForName("MoviesModel", s.context));
    CHECK(log.contains("MoviesModel"));
    CHECK_FALSE(s.context->hasChanges());
    NSErrorPtr error;
    CHECK(fetch(s.context, "MoviesModel", nullptr, &error).empty());
    REQUIRE(error);
    CHECK(error->domain() == NSCocoaErrorDomain);

    error.reset();
    CHECK(fetch(s.context, "MoviesFavoritiesModel", pred("movieID == %@", {Value("1")}), &error).empty());
    CHECK(error);

    auto lonely = std::make_shared<NSManagedObjectContext>();
    CHECK_FALSE(NSEntityDescription::insertNewObjectForEntityForName("MoviesFavoritiesModel", lonely));
    error.reset();
    CHECK(fetch(lonely, "MoviesFavoritiesModel", nullptr, &error).empty());
    CHECK(error);
}

TEST_CASE("finished downloads are found with isDownload == YES") {
    Fixture f;
    auto s = f.open();
    REQUIRE(s.store);
    for (int i = 0; i < 4; ++i) {
        auto d = NSEntityDescription::insertNewObjectForEntityForName("MoviesDownloadModel", s.context);
        REQUIRE(d);
        d->setValueForKey("title", "Chapter " + std::to_string(i));
        d->setValueForKey("linkUrl", "http://127.0.0.1/v" + std::to_string(i) + ".mp4");
        d->setValueForKey("percentDownload", 0);
        d->setValueForKey("byteDownloading", 0);
        d->setValueForKey("byteDownload", 1);
        d->setValueForKey("isDownload", false);
        d->setValueForKey("linkLocal", AppHome::documents() + "/Chapter " + std::to_string(i) + ".mp4");
    }
    REQUIRE(s.context->save(nullptr));
    auto all = fetch(s.context, "MoviesDownloadModel");
    REQUIRE(all.size() == 4);
    all[3]->setValueForKey("isDownload", true);
    all[1]->setValueForKey("isDownload", true);
    all[1]->setValueForKey("percentDownload", 100.0);
    REQUIRE(s.context->save(nullptr));

    auto other = f.open();
    auto finished = fetch(other.context, "MoviesDownloadModel", pred("isDownload == %@", {Value(true)}));
    REQUIRE(finished.size() == 2);
    CHECK(finished[0]->valueForKey("title") == Value("Chapter 1"));
    CHECK(finished[1]->valueForKey("title") == Value("Chapter 3"));
    CHECK(finished[0]->valueForKey("percentDownload").floatValue() == 100.0f);
    CHECK(finished[0]->valueForKey("isDownload").boolValue());
    CHECK(fetch(other.context, "MoviesDownloadModel", pred("isDownload == NO")).size() == 2);
}

TEST_CASE("predicate values with quotes are bound and never run as SQL") {
    Fixture f;
    auto s = f.open();
    REQUIRE(s.store);
    const std::string tricky = "O'Brien \"the\" movie'); DROP TABLE MoviesFavoritiesModel; --";
    addFavourite(s.context, 1, tricky);
    addFavourite(s.context, 2, "plain");
    REQUIRE(s.context->save(nullptr));

    auto other = f.open();
    auto found = fetch(other.context, "MoviesFavoritiesModel", pred("title == %@", {Value(tricky)}));
    REQUIRE(found.size() == 1);
    CHECK(found[0]->valueForKey("title") == Value(tricky));
    CHECK(fetch(other.context, "MoviesFavoritiesModel", pred("title == %@", {Value("x' OR '1'='1")})).empty());
    {
        LogCapture log;  // a quote cannot end a string early in a format either
        CHECK_FALSE(NSPredicate::predicateWithFormat("title == 'x'' OR 1=1 --'"));
    }
    CHECK(fetch(other.context, "MoviesFavoritiesModel", pred("title == 'x\\' OR 1=1 --'")).empty());
    CHECK(fetch(other.context, "MoviesFavoritiesModel", pred("title == \"plain\"")).size() == 1);
    CHECK(fetch(other.context, "MoviesFavoritiesModel").size() == 2);
}

TEST_CASE("compound predicates select the same objects in the store and in memory") {
    Fixture f;
    {
        auto s = f.open();
        REQUIRE(s.store);
        struct Row {
            int id;
            const char* title;
            double rating;
            int year;
        };
        Row rows[] = {{1, "alpha", 5.5, 1990}, {2, "beta", 7.25, 2000}, {3, "gamma", 9.0, 2010},
                      {4, "delta", 7.25, 1990}, {5, "", 0, 2020},     {6, "zeta", -1.5, 2000}};
        for (const auto& r : rows) addFavourite(s.context, r.id, r.title, r.rating, r.year);
        auto blank = NSEntityDescription::insertNewObjectForEntityForName("MoviesFavoritiesModel", s.context);
        blank->setValueForKey("movieID", 7);  // everything else nil
        REQUIRE(s.context->save(nullptr));
    }
    const std::vector<std::pair<std::string, std::vector<Value>>> cases = {
        {"movieID == %@", {Value(3)}},
        {"movieID != %@", {Value(3)}},
        {"movieRating < %@", {Value(7.25)}},
        {"movieRating <= %@", {Value(7.25)}},
        {"movieRating > 7", {}},
        {"movieRating >= %@", {Value(7)}},
        {"movieYear == 1990 OR movieYear == 2020", {}},
        {"movieYear >= 2000 AND movieRating < 8", {}},
        {"NOT (movieYear < 2000)", {}},
        {"NOT movieRating > 0", {}},
        {"title == nil", {}},
        {"title != nil AND title < %@", {Value("delta")}},
        {"title >= 'beta' OR movieID == 7", {}},
        {"movieYear > movieID", {}},
        {"(movieID < 3 OR movieID > 5) AND NOT title == 'alpha'", {}},
        {"title != %@", {Value("alpha")}},
        {"movieID == %@", {Value(2.5)}},
        {"movieID < %@", {Value(2.5)}},
        {"TRUEPREDICATE AND movieID > 5", {}},
    };
    auto s = f.open();
    auto all = fetch(s.context, "MoviesFavoritiesModel");
    REQUIRE(all.size() == 7);
    for (const auto& [format, args] : cases) {
        CAPTURE(format);
        auto p = pred(format, args);
        std::vector<int> inMemory;
        auto bound = p->boundToEntity(*all[0]->entity(), nullptr);
        REQUIRE(bound);
        for (const auto& o : all)
            if (bound->evaluateWithObject(o)) inMemory.push_back(o->valueForKey("movieID").intValue());
        auto fresh = f.open();  // nothing pending: the store alone decides
        CHECK(movieIDs(fetch(fresh.context, "MoviesFavoritiesModel", p)) == inMemory);
    }
    // Spot checks that the shared answer is the right one.
    CHECK(movieIDs(fetch(f.open().context, "MoviesFavoritiesModel", pred("NOT (movieYear < 2000)"))) ==
          std::vector<int>{2, 3, 5, 6, 7});
    CHECK(movieIDs(fetch(f.open().context, "MoviesFavoritiesModel", pred("title != %@", {Value("alpha")}))) ==
          std::vector<int>{2, 3, 4, 5, 6, 7});
}

TEST_CASE("saved records survive a process restart") {
    Fixture f;
    // Another process writes and ends without closing its store.
    auto child = runHelper({"write", f.storePath, modelPath(), "3"});
    REQUIRE(child.exitCode == 0);
    {
        auto s = f.open();
        REQUIRE_MESSAGE(s.store, (s.error ? s.error->description() : ""));
        auto found = fetch(s.context, "MoviesFavoritiesModel");
        CHECK(movieIDs(found) == std::vector<int>{1, 2, 3});
        REQUIRE(found.size() == 3);
        CHECK(found[1]->valueForKey("title") == Value("Child title 2 'quoted'"));
        CHECK(found[1]->valueForKey("movieRating").floatValue() == 6.5f);
        // This process changes the data; a later process sees the change.
        found[0]->setValueForKey("title", "changed here");
        s.context->deleteObject(found[2]);
        addFavourite(s.context, 40, "added here", 3.25, 1980);
        REQUIRE(s.context->save(nullptr));
    }
    auto dump = runHelper({"dump", f.storePath, modelPath(), "MoviesFavoritiesModel"});
    REQUIRE(dump.exitCode == 0);
    auto records = Value::fromJSON(dump.output);
    REQUIRE(records);
    REQUIRE(records->count() == 3);
    CHECK((*records)[0]["title"] == Value("changed here"));
    CHECK((*records)[1]["movieID"].intValue() == 2);
    CHECK((*records)[2]["movieID"].intValue() == 40);
    CHECK((*records)[2]["movieRating"].doubleValue() == 3.25);
    CHECK((*records)[2]["movieYear"].intValue() == 1980);
}

TEST_CASE("unsaved changes of an ended process are not in the store") {
    Fixture f;
    REQUIRE(runHelper({"write", f.storePath, modelPath(), "1"}).exitCode == 0);
    REQUIRE(runHelper({"write-unsaved", f.storePath, modelPath()}).exitCode == 0);
    auto s = f.open();
    REQUIRE(s.store);
    CHECK(movieIDs(fetch(s.context, "MoviesFavoritiesModel")) == std::vector<int>{1});
}

TEST_CASE("a file that is not a store is refused by addPersistentStore") {
    Fixture f;
    const std::string garbage = "This is a plain text file and no database at all.\n" + std::string(2000, 'x');
    writeFile(f.storePath, garbage);
    auto s = f.open();
    CHECK_FALSE(s.store);
    REQUIRE(s.error);
    CHECK(s.error->domain() == NSCocoaErrorDomain);
    CHECK(s.error->code() == NSFileReadCorruptFileError);
    CHECK(s.error->userInfo()[NSFilePathErrorKey] == Value(f.storePath));
    REQUIRE(s.error->underlyingError());
    CHECK(s.error->underlyingError()->domain() == NSSQLiteErrorDomain);
    CHECK(s.error->underlyingError()->code() == 26);  // not a database
    CHECK(readFile(f.storePath) == garbage);  // left as it was
    // Without a store, saving reports an error instead of losing data silently.
    addFavourite(s.context, 1, "one");
    NSErrorPtr error;
    CHECK_FALSE(s.context->save(&error));
    CHECK(error);
    CHECK(s.context->hasChanges());
}

TEST_CASE("a damaged store file is refused by addPersistentStore") {
    Fixture f;
    {
        auto s = f.open();
        REQUIRE(s.store);
        for (int i = 0; i < 400; ++i) addFavourite(s.context, i, std::string(300, static_cast<char>('a' + i % 26)));
        REQUIRE(s.context->save(nullptr));
    }
    std::string bytes = readFile(f.storePath);
    REQUIRE(bytes.size() > 16 * 4096);
    for (std::size_t i = 8 * 4096; i < 12 * 4096; ++i) bytes[i] = '\xff';
    writeFile(f.storePath, bytes);
    auto s = f.open();
    CHECK_FALSE(s.store);
    REQUIRE(s.error);
    CHECK(s.error->domain() == NSCocoaErrorDomain);
    CHECK(s.error->code() == NSFileReadCorruptFileError);
}

TEST_CASE("stores that cannot be opened report why") {
    Fixture f;
    REQUIRE(f.model);
    auto coordinator = std::make_shared<NSPersistentStoreCoordinator>(f.model);
    NSErrorPtr error;
    CHECK_FALSE(coordinator->addPersistentStoreWithType("Binary", "", f.storePath, Value(), &error));
    REQUIRE(error);
    CHECK(error->code() == NSPersistentStoreInvalidTypeError);

    error.reset();
    CHECK_FALSE(coordinator->addPersistentStoreWithType(NSSQLiteStoreType, "", f.home.path() + "/missing/dir/Q.sqlite",
                                                        Value(), &error));
    REQUIRE(error);
    CHECK(error->code() == NSFileReadUnknownError);

    error.reset();
    auto store = coordinator->addPersistentStoreWithType(NSSQLiteStoreType, "", "file://" + f.storePath, Value(), &error);
    REQUIRE(store);
    CHECK_FALSE(coordinator->addPersistentStoreWithType(NSSQLiteStoreType, "", f.storePath, Value(), &error));
    CHECK(error);
    CHECK(coordinator->persistentStores().size() == 1);
    CHECK(coordinator->removePersistentStore(store, nullptr));
    CHECK(coordinator->persistentStores().empty());
}

TEST_CASE("a save that runs out of space fails and leaves the store consistent") {
    Fixture f;
    { REQUIRE(f.open().store); }  // creates the file
    // The database may not grow beyond the pages it has now.
    Value options = migrationOptions();
    options.setObject(NSSQLitePragmasOption, Value{{"max_page_count", 1}});
    auto s = f.open(options);
    REQUIRE_MESSAGE(s.store, (s.error ? s.error->description() : ""));
    auto first = addFavourite(s.context, 1, "small");
    REQUIRE(s.context->save(nullptr));

    // The same save changes a record and adds a small one before the large one.
    first->setValueForKey("title", "renamed");
    auto small = addFavourite(s.context, 3, "small too");
    auto huge = addFavourite(s.context, 2, std::string(1 << 20, 'h'));
    NSErrorPtr error;
    CHECK_FALSE(s.context->save(&error));
    REQUIRE(error);
    CHECK(error->domain() == NSCocoaErrorDomain);
    CHECK(error->code() == NSFileWriteOutOfSpaceError);
    CHECK(error->userInfo()[NSSQLiteErrorDomainKey].intValue() == 13);
    // Nothing of the failed save was applied: the changes are still pending...
    CHECK(s.context->hasChanges());
    CHECK(first->isUpdated());
    CHECK(huge->isInserted());
    CHECK(small->isInserted());
    CHECK(small->objectID()->isTemporaryID());
    {
        // ...and the file holds what the last good save wrote.
        auto reader = f.open();
        REQUIRE(reader.store);
        auto stored = fetch(reader.context, "MoviesFavoritiesModel");
        CHECK(movieIDs(stored) == std::vector<int>{1});
        CHECK(stored[0]->valueForKey("title") == Value("small"));
    }

    // The caller drops the large object and saves the rest.
    s.context->deleteObject(huge);
    REQUIRE(s.context->save(&error));
    CHECK_FALSE(small->objectID()->isTemporaryID());

    auto other = f.open();
    REQUIRE(other.store);  // passes the integrity check
    auto stored = fetch(other.context, "MoviesFavoritiesModel");
    CHECK(movieIDs(stored) == std::vector<int>{1, 3});
    CHECK(stored[0]->valueForKey("title") == Value("renamed"));
}

TEST_CASE("a save after the store file was removed is reported as failed") {
    Fixture f;
    auto s = f.open();
    REQUIRE(s.store);
    auto movie = addFavourite(s.context, 1, "one");
    REQUIRE(s.context->save(nullptr));
    std::filesystem::remove(f.storePath);
    movie->setValueForKey("title", "lost?");
    NSErrorPtr error;
    CHECK_FALSE(s.context->save(&error));
    REQUIRE(error);
    CHECK(error->domain() == NSCocoaErrorDomain);
    CHECK(error->code() == NSPersistentStoreSaveError);
    REQUIRE(error->underlyingError());
    CHECK(error->underlyingError()->domain() == NSSQLiteErrorDomain);
    CHECK(s.context->hasChanges());
    CHECK(movie->isUpdated());
}

TEST_CASE("a read-only store refuses to save") {
    Fixture f;
    {
        auto s = f.open();
        REQUIRE(s.store);
        addFavourite(s.context, 1, "one");
        REQUIRE(s.context->save(nullptr));
    }
    Value options{{NSReadOnlyPersistentStoreOption, true}};
    auto s = f.open(options);
    REQUIRE_MESSAGE(s.store, (s.error ? s.error->description() : ""));
    CHECK(movieIDs(fetch(s.context, "MoviesFavoritiesModel")) == std::vector<int>{1});
    addFavourite(s.context, 2, "two");
    NSErrorPtr error;
    CHECK_FALSE(s.context->save(&error));
    REQUIRE(error);
    CHECK(error->code() == NSFileWriteNoPermissionError);
    CHECK(movieIDs(fetch(f.open().context, "MoviesFavoritiesModel")) == std::vector<int>{1});
}

TEST_CASE("a model that adds attributes migrates the store and keeps its rows") {
    Fixture f;
    const char* version1 = R"({"name": "Quorvane", "entities": [
        {"name": "MoviesFavoritiesModel", "attributes": [
            {"name": "movieID", "type": "integer32"}, {"name": "title", "type": "string"},
            {"name": "moviesPoster", "type": "string"}, {"name": "movieRating", "type": "float"}]}]})";
    auto oldModel = NSManagedObjectModel::modelWithJSON(version1);
    REQUIRE(oldModel);
    {
        Stack s(f.storePath, oldModel);
        REQUIRE(s.store);
        for (int id : {8, 4}) {
            auto o = NSEntityDescription::insertNewObjectForEntityForName("MoviesFavoritiesModel", s.context);
            o->setValueForKey("movieID", id);
            o->setValueForKey("title", "old " + std::to_string(id));
            o->setValueForKey("movieRating", 4.5);
        }
        REQUIRE(s.context->save(nullptr));
    }
    std::string before = readFile(f.storePath);

    SUBCASE("without the migration options the store is refused and left alone") {
        auto s = f.open(Value::dictionary());
        CHECK_FALSE(s.store);
        REQUIRE(s.error);
        CHECK(s.error->code() == NSPersistentStoreIncompatibleVersionHashError);
        CHECK(readFile(f.storePath) == before);
        Stack again(f.storePath, oldModel, Value::dictionary());
        CHECK(again.store);
    }
    SUBCASE("with them the new columns are added") {
        {
            auto s = f.open();
            REQUIRE_MESSAGE(s.store, (s.error ? s.error->description() : ""));
            auto rows = fetch(s.context, "MoviesFavoritiesModel");
            CHECK(movieIDs(rows) == std::vector<int>{8, 4});
            REQUIRE(rows.size() == 2);
            CHECK(rows[0]->valueForKey("title") == Value("old 8"));
            CHECK(rows[0]->valueForKey("movieRating").floatValue() == 4.5f);
            CHECK(rows[0]->valueForKey("movieYear").isNull());
            CHECK(rows[0]->valueForKey("descriptionMovie").isNull());
            rows[1]->setValueForKey("movieYear", 1994);
            addFavourite(s.context, 15, "new", 1.0, 2015);
            // The download entity was not in the old file: its table is new.
            auto d = NSEntityDescription::insertNewObjectForEntityForName("MoviesDownloadModel", s.context);
            d->setValueForKey("title", "download");
            REQUIRE(s.context->save(nullptr));
        }
        auto s = f.open();
        REQUIRE(s.store);
        auto rows = fetch(s.context, "MoviesFavoritiesModel");
        CHECK(movieIDs(rows) == std::vector<int>{8, 4, 15});
        CHECK(rows[1]->valueForKey("movieYear").intValue() == 1994);
        CHECK(fetch(s.context, "MoviesDownloadModel").size() == 1);
        // The older model still opens the migrated file when allowed to migrate.
        Stack old(f.storePath, oldModel);
        CHECK(old.store);
    }
}

TEST_CASE("a model that changes an attribute's type cannot migrate the store") {
    Fixture f;
    { REQUIRE(f.open().store); }
    const char* changed = R"({"name": "Quorvane", "entities": [
        {"name": "MoviesFavoritiesModel", "attributes": [{"name": "movieID", "type": "string"}]}]})";
    Stack s(f.storePath, NSManagedObjectModel::modelWithJSON(changed));
    CHECK_FALSE(s.store);
    REQUIRE(s.error);
    CHECK(s.error->code() == NSMigrationMissingMappingModelError);
}

TEST_CASE("values of every attribute type are stored and read back") {
    Fixture f;
    auto model = NSManagedObjectModel::modelWithJSON(R"({"name": "All", "entities": [{"name": "Sample", "attributes": [
        {"name": "s", "type": "string"}, {"name": "i16", "type": "integer16"}, {"name": "i32", "type": "integer32"},
        {"name": "i64", "type": "integer64"}, {"name": "f", "type": "float"}, {"name": "d", "type": "double"},
        {"name": "b", "type": "boolean"}, {"name": "when", "type": "date"}, {"name": "bytes", "type": "binary"},
        {"name": "select", "type": "string"}]}]})");
    REQUIRE(model);
    {
        Stack s(f.storePath, model);
        REQUIRE(s.store);
        auto o = NSEntityDescription::insertNewObjectForEntityForName("Sample", s.context);
        CHECK(o->setValueForKey("s", std::string("nul\0inside \xc3\xa9", 13)));
        CHECK(o->setValueForKey("i16", -32768));
        CHECK(o->setValueForKey("i32", 2147483647));
        CHECK(o->setValueForKey("i64", -9223372036854775807LL - 1));
        CHECK(o->setValueForKey("f", 0.1));
        CHECK(o->setValueForKey("d", 0.1));
        CHECK(o->setValueForKey("b", true));
        CHECK(o->setValueForKey("when", Value(::Date{1700000000.0})));
        CHECK(o->setValueForKey("bytes", Value(::Data{0, 1, 255})));
        CHECK(o->setValueForKey("select", "keyword as a name"));
        NSErrorPtr error;
        REQUIRE_MESSAGE(s.context->save(&error), (error ? error->description() : ""));
        NSEntityDescription::insertNewObjectForEntityForName("Sample", s.context);  // all nil
        REQUIRE(s.context->save(nullptr));
    }
    Stack s(f.storePath, model);
    auto rows = fetch(s.context, "Sample");
    REQUIRE(rows.size() == 2);
    auto o = rows[0];
    CHECK(o->valueForKey("s") == Value(std::string("nul\0inside \xc3\xa9", 13)));
    CHECK(o->valueForKey("i16").integerValue() == -32768);
    CHECK(o->valueForKey("i32").integerValue() == 2147483647);
    CHECK(o->valueForKey("i64").integerValue() == INT64_MIN);
    CHECK(o->valueForKey("f").doubleValue() == static_cast<double>(0.1f));
    CHECK(o->valueForKey("d").doubleValue() == 0.1);
    CHECK(o->valueForKey("b") == Value(true));
    CHECK(o->valueForKey("when").date()->secondsSince1970 == 1700000000.0);
    CHECK(*o->valueForKey("bytes").data() == ::Data{0, 1, 255});
    CHECK(o->valueForKey("select") == Value("keyword as a name"));
    for (const auto& attr : rows[1]->entity()->attributes()) CHECK(rows[1]->valueForKey(attr.name()).isNull());
    CHECK(fetch(s.context, "Sample", pred("bytes == %@", {Value(::Data{0, 1, 255})})).size() == 1);
    CHECK(fetch(s.context, "Sample", pred("when > %@", {Value(::Date{1.0})})).size() == 1);
    CHECK(fetch(s.context, "Sample", pred("select == 'keyword as a name'")).size() == 1);
}

TEST_CASE("an in-memory store keeps objects for the life of its coordinator") {
    Fixture f;
    REQUIRE(f.model);
    auto coordinator = std::make_shared<NSPersistentStoreCoordinator>(f.model);
    NSErrorPtr error;
    REQUIRE(coordinator->addPersistentStoreWithType(NSInMemoryStoreType, "", "", Value(), &error));
    auto context = std::make_shared<NSManagedObjectContext>();
    context->setPersistentStoreCoordinator(coordinator);
    addFavourite(context, 1, "memory");
    REQUIRE(context->save(nullptr));
    auto second = std::make_shared<NSManagedObjectContext>();
    second->setPersistentStoreCoordinator(coordinator);
    CHECK(movieIDs(fetch(second, "MoviesFavoritiesModel")) == std::vector<int>{1});
    CHECK_FALSE(std::filesystem::exists(f.storePath));
}

TEST_CASE("a store open in this process sees what another process saved") {
    Fixture f;
    auto s = f.open();
    REQUIRE(s.store);
    addFavourite(s.context, 50, "mine");
    REQUIRE(s.context->save(nullptr));
    auto mine = fetch(s.context, "MoviesFavoritiesModel");
    REQUIRE(mine.size() == 1);

    REQUIRE(runHelper({"write", f.storePath, modelPath(), "2"}).exitCode == 0);
    auto all = fetch(s.context, "MoviesFavoritiesModel");
    CHECK(movieIDs(all) == std::vector<int>{50, 1, 2});
    CHECK(all[0] == mine[0]);
    // This process goes on writing after the other one.
    addFavourite(s.context, 51, "mine again");
    REQUIRE(s.context->save(nullptr));
    auto dump = runHelper({"dump", f.storePath, modelPath(), "MoviesFavoritiesModel"});
    REQUIRE(dump.exitCode == 0);
    auto records = Value::fromJSON(dump.output);
    REQUIRE(records);
    CHECK(records->count() == 4);
    CHECK((*records)[3]["movieID"].intValue() == 51);
}

TEST_CASE("a model that drops an attribute opens the store only when allowed to migrate") {
    Fixture f;
    {
        auto s = f.open();
        REQUIRE(s.store);
        auto movie = addFavourite(s.context, 3, "three");
        movie->setValueForKey("descriptionMovie", "gone later");
        REQUIRE(s.context->save(nullptr));
    }
    auto smaller = NSManagedObjectModel::modelWithJSON(R"({"entities": [
        {"name": "MoviesFavoritiesModel", "attributes": [{"name": "movieID", "type": "integer32"},
                                                         {"name": "title", "type": "string"}]}]})");
    REQUIRE(smaller);
    {
        Stack strict(f.storePath, smaller, Value::dictionary());
        CHECK_FALSE(strict.store);
        REQUIRE(strict.error);
        CHECK(strict.error->code() == NSPersistentStoreIncompatibleVersionHashError);
    }
    {
        Stack s(f.storePath, smaller);
        REQUIRE(s.store);
        auto rows = fetch(s.context, "MoviesFavoritiesModel");
        REQUIRE(rows.size() == 1);
        CHECK(rows[0]->valueForKey("title") == Value("three"));
        auto o = NSEntityDescription::insertNewObjectForEntityForName("MoviesFavoritiesModel", s.context);
        o->setValueForKey("movieID", 4);
        REQUIRE(s.context->save(nullptr));
    }
    // The full model still finds the value the smaller one did not know.
    auto s = f.open();
    auto rows = fetch(s.context, "MoviesFavoritiesModel");
    REQUIRE(rows.size() == 2);
    CHECK(rows[0]->valueForKey("descriptionMovie") == Value("gone later"));
    CHECK(rows[1]->valueForKey("descriptionMovie").isNull());
}
