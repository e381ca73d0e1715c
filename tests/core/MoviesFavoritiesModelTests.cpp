// The favourite records: typed accessors over the application's real SQLite store,
// found again by "movieID == %@" and after the store is opened anew.
#include <doctest/doctest.h>

#include <memory>
#include <vector>

#include "core/AppDelegate.h"
#include "core/MoviesFavoritiesModel.h"
#include "platform/coredata/NSEntityDescription.h"
#include "platform/coredata/NSFetchRequest.h"
#include "platform/coredata/NSPredicate.h"
#include "support/TestEnvironment.h"

namespace {

std::vector<std::shared_ptr<MoviesFavoritiesModel>> favouritesWithID(const std::shared_ptr<NSManagedObjectContext>& context,
                                                                     long movieID) {
    auto request = NSFetchRequest::fetchRequestWithEntityName("MoviesFavoritiesModel");
    request->setPredicate(NSPredicate::predicateWithFormat("movieID == %@", {Value(movieID)}));
    NSErrorPtr error;
    auto found = context->executeFetchRequest(request, &error);
    REQUIRE(error == nullptr);
    std::vector<std::shared_ptr<MoviesFavoritiesModel>> out;
    for (const auto& object : found) {
        auto favourite = std::dynamic_pointer_cast<MoviesFavoritiesModel>(object);
        REQUIRE_MESSAGE(favourite, "the store made a plain object for the entity");
        out.push_back(favourite);
    }
    return out;
}

std::shared_ptr<MoviesFavoritiesModel> insertFavourite(const std::shared_ptr<NSManagedObjectContext>& context, int id,
                                                       const std::string& title) {
    auto favourite = std::dynamic_pointer_cast<MoviesFavoritiesModel>(
        NSEntityDescription::insertNewObjectForEntityForName("MoviesFavoritiesModel", context));
    REQUIRE(favourite);
    CHECK(favourite->setMovieID(Value(id)));
    favourite->setTitle(title);
    favourite->setMoviesPoster("http://127.0.0.1/posters/" + std::to_string(id) + ".png");
    CHECK(favourite->setMovieRating(Value(7.5f)));
    CHECK(favourite->setMovieYear(Value(2001)));
    return favourite;
}

}  // namespace

TEST_CASE("favourite records are stored, found by movie id, and survive a reopen of the store") {
    testsupport::TempHome home;
    {
        auto delegate = std::make_shared<AppDelegate>();
        auto context = delegate->managedObjectContext();
        REQUIRE(context);
        auto first = insertFavourite(context, 7, "Seven Bridges");
        first->setDescriptionMovie("A quiet town.");
        insertFavourite(context, 8, "Eight Doors");
        NSErrorPtr error;
        REQUIRE(context->save(&error));

        auto found = favouritesWithID(context, 7);
        REQUIRE(found.size() == 1);
        CHECK(found[0] == first);
        CHECK(favouritesWithID(context, 9).empty());
    }
    // A new delegate opens the same file afresh.
    auto delegate = std::make_shared<AppDelegate>();
    auto context = delegate->managedObjectContext();
    REQUIRE(context);
    auto found = favouritesWithID(context, 7);
    REQUIRE(found.size() == 1);
    const auto& f = found[0];
    CHECK(f->movieID().intValue() == 7);
    CHECK(f->title() == "Seven Bridges");
    CHECK(f->moviesPoster() == "http://127.0.0.1/posters/7.png");
    CHECK(f->movieRating().floatValue() == 7.5f);
    CHECK(f->movieYear().intValue() == 2001);
    CHECK(f->descriptionMovie() == "A quiet town.");
    REQUIRE(favouritesWithID(context, 8).size() == 1);
    CHECK(favouritesWithID(context, 8)[0]->descriptionMovie().empty());  // left unset
    CHECK(favouritesWithID(context, 8)[0]->valueForKey("descriptionMovie").isNull());

    // Removal deletes the record from the file.
    context->deleteObject(f);
    NSErrorPtr error;
    REQUIRE(context->save(&error));
    auto reopened = std::make_shared<AppDelegate>()->managedObjectContext();
    CHECK(favouritesWithID(reopened, 7).empty());
    CHECK(favouritesWithID(reopened, 8).size() == 1);
}

TEST_CASE("favourite numbers refuse values of another type or out of range, keeping the old value") {
    testsupport::TempHome home;
    auto delegate = std::make_shared<AppDelegate>();
    auto favourite = insertFavourite(delegate->managedObjectContext(), 12, "Twelve");
    CHECK_FALSE(favourite->setMovieID(Value("12")));
    CHECK_FALSE(favourite->setMovieYear(Value(std::int64_t(1) << 40)));
    CHECK_FALSE(favourite->setMovieRating(Value("high")));
    CHECK(favourite->movieID().intValue() == 12);
    CHECK(favourite->movieYear().intValue() == 2001);
    CHECK(favourite->movieRating().floatValue() == 7.5f);
    // A list record's float rating is kept as the single-precision number it was.
    CHECK(favourite->setMovieRating(Value(6.7f)));
    CHECK(favourite->movieRating().floatValue() == 6.7f);
}
