// A second process for the object store tests: writes to or reads from a store
// file the way a separate run of the application would.
//
//   objectstore_helper write <store> <model> <count>     inserts <count> favourites, saves,
//                                                        and ends at once without closing
//   objectstore_helper write-unsaved <store> <model>     inserts a favourite and ends unsaved
//   objectstore_helper dump <store> <model> <entity>     prints the entity's records as JSON
//   objectstore_helper hold <store>                      takes the store's exclusive lock, prints
//                                                        "held", and keeps it until its input ends
//
// Exit status: 0 done, 2 the store could not be opened, 3 the save failed, 64 usage.
#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/coredata/NSManagedObjectContext.h"

namespace {

std::shared_ptr<NSManagedObjectContext> openContext(const std::string& store, const std::string& modelPath) {
    auto model = NSManagedObjectModel::initWithContentsOfURL(modelPath);
    if (!model) return nullptr;
    auto coordinator = std::make_shared<NSPersistentStoreCoordinator>(model);
    NSErrorPtr error;
    Value options{{NSMigratePersistentStoresAutomaticallyOption, true}, {NSInferMappingModelAutomaticallyOption, true}};
    if (!coordinator->addPersistentStoreWithType(NSSQLiteStoreType, "", store, options, &error)) {
        std::fprintf(stderr, "%s\n", error->description().c_str());
        return nullptr;
    }
    auto context = std::make_shared<NSManagedObjectContext>();
    context->setPersistentStoreCoordinator(coordinator);
    return context;
}

void insertFavourite(const std::shared_ptr<NSManagedObjectContext>& context, int id) {
    auto object = NSEntityDescription::insertNewObjectForEntityForName("MoviesFavoritiesModel", context);
    object->setValueForKey("movieID", id);
    object->setValueForKey("title", "Child title " + std::to_string(id) + " 'quoted'");
    object->setValueForKey("movieRating", 6.5);
    object->setValueForKey("movieYear", 2000 + id);
}

}  // namespace

// Holds the store as another process writing to it would, for as long as the
// test keeps this process's input open.
int holdStore(const char* store) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(store, &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK ||
        sqlite3_exec(db, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "%s\n", sqlite3_errmsg(db));
        sqlite3_close(db);
        return 2;
    }
    std::printf("held\n");
    std::fflush(stdout);
    char buffer[256];
    while (::read(0, buffer, sizeof buffer) > 0) {
    }
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    return 0;
}

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "hold") return holdStore(argv[2]);
    if (argc < 4) return 64;
    std::string mode = argv[1];
    auto context = openContext(argv[2], argv[3]);
    if (!context) return 2;
    if (mode == "write" && argc == 5) {
        int count = std::atoi(argv[4]);
        for (int i = 1; i <= count; ++i) insertFavourite(context, i);
        NSErrorPtr error;
        if (!context->save(&error)) {
            std::fprintf(stderr, "%s\n", error->description().c_str());
            return 3;
        }
        // Ends like a killed process: no destructors, the store is not closed.
        std::fflush(nullptr);
        _exit(0);
    }
    if (mode == "write-unsaved") {
        insertFavourite(context, 99);
        std::fflush(nullptr);
        _exit(0);
    }
    if (mode == "dump" && argc == 5) {
        NSErrorPtr error;
        auto objects = context->executeFetchRequest(NSFetchRequest::fetchRequestWithEntityName(argv[4]), &error);
        if (error) {
            std::fprintf(stderr, "%s\n", error->description().c_str());
            return 2;
        }
        Value out = Value::array();
        for (const auto& object : objects) {
            Value record = Value::dictionary();
            for (const auto& attr : object->entity()->attributes()) {
                Value v = object->valueForKey(attr.name());
                record.setObject(attr.name(), v);
            }
            out.append(record);
        }
        std::printf("%s\n", out.toJSON().value_or("null").c_str());
        return 0;
    }
    return 64;
}
