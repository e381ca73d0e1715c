#pragma once
// A store in a fresh application home, opened over the shipped Quorvane model.
#include <doctest/doctest.h>

#include <string>
#include <vector>

#include "platform/coredata/NSManagedObjectContext.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSLog.h"
#include "support/TestEnvironment.h"

namespace storetest {

inline std::string modelPath() {
    auto path = NSBundle::mainBundle()->pathForResource("Quorvane", "momd");
    REQUIRE(path);
    return *path;
}

inline Value migrationOptions() {
    return Value{{NSMigratePersistentStoresAutomaticallyOption, true}, {NSInferMappingModelAutomaticallyOption, true}};
}

// One coordinator with one store and a context over it.
struct Stack {
    std::shared_ptr<NSManagedObjectModel> model;
    std::shared_ptr<NSPersistentStoreCoordinator> coordinator;
    std::shared_ptr<NSPersistentStore> store;
    std::shared_ptr<NSManagedObjectContext> context;
    NSErrorPtr error;

    Stack(const std::string& storePath, std::shared_ptr<NSManagedObjectModel> m, const Value& options = migrationOptions())
        : model(std::move(m)) {
        coordinator = std::make_shared<NSPersistentStoreCoordinator>(model);
        store = coordinator->addPersistentStoreWithType(NSSQLiteStoreType, "", storePath, options, &error);
        context = std::make_shared<NSManagedObjectContext>();
        context->setPersistentStoreCoordinator(coordinator);
    }
};

struct Fixture {
    testsupport::TempHome home;
    std::string storePath = AppHome::documents() + "/Quorvane.sqlite";
    std::shared_ptr<NSManagedObjectModel> model = NSManagedObjectModel::initWithContentsOfURL(modelPath());

    Stack open(const Value& options = migrationOptions()) {
        REQUIRE(model);
        return Stack(storePath, model, options);
    }
};

inline std::shared_ptr<NSManagedObject> addFavourite(const std::shared_ptr<NSManagedObjectContext>& context, int id,
                                                     const std::string& title, double rating = 7.5, int year = 2001) {
    auto object = NSEntityDescription::insertNewObjectForEntityForName("MoviesFavoritiesModel", context);
    REQUIRE(object);
    CHECK(object->setValueForKey("movieID", id));
    CHECK(object->setValueForKey("title", title));
    CHECK(object->setValueForKey("moviesPoster", "http://posters.example/" + std::to_string(id) + ".jpg"));
    CHECK(object->setValueForKey("movieRating", rating));
    CHECK(object->setValueForKey("movieYear", year));
    return object;
}

inline std::vector<std::shared_ptr<NSManagedObject>> fetch(const std::shared_ptr<NSManagedObjectContext>& context,
                                                           const std::string& entity,
                                                           std::shared_ptr<NSPredicate> predicate = nullptr,
                                                           NSErrorPtr* error = nullptr) {
    auto request = NSFetchRequest::fetchRequestWithEntityName(entity);
    request->setPredicate(std::move(predicate));
    NSErrorPtr local;
    auto result = context->executeFetchRequest(request, error ? error : &local);
    if (!error) CHECK_MESSAGE(!local, (local ? local->description() : ""));
    return result;
}

inline std::vector<int> movieIDs(const std::vector<std::shared_ptr<NSManagedObject>>& objects) {
    std::vector<int> ids;
    for (const auto& o : objects) ids.push_back(o->valueForKey("movieID").intValue());
    return ids;
}

// Console lines written while it lives.
struct LogCapture {
    std::vector<std::string> lines;
    LogCapture() {
        setLogHook([this](const std::string& line) { lines.push_back(line); });
    }
    ~LogCapture() { setLogHook(nullptr); }
    bool contains(const std::string& text) const {
        for (const auto& l : lines)
            if (l.find(text) != std::string::npos) return true;
        return false;
    }
};

}  // namespace storetest
