#pragma once
// The SQLite backing of persistent stores. One table per entity, named after it,
// with a column per attribute and the row key Z_PK (never reused, so it also
// gives the insertion order); the table Z_METADATA keeps the store's identifier.
// Only the object-store classes use this header.
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/coredata/Forward.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/Value.h"

struct sqlite3;

namespace coredata {

struct StoredRow {
    std::int64_t primaryKey = 0;
    std::vector<Value> values;  // in the entity's attribute order
};

struct SaveBatch {
    struct Delete {
        const NSEntityDescription* entity;
        std::int64_t primaryKey;
    };
    struct Update {
        const NSEntityDescription* entity;
        std::int64_t primaryKey;
        std::vector<std::pair<std::size_t, Value>> changes;  // attribute index, new value
    };
    struct Insert {
        const NSEntityDescription* entity;
        std::vector<Value> values;
    };
    std::vector<Delete> deletes;
    std::vector<Update> updates;
    std::vector<Insert> inserts;
};

class ObjectStoreSqlite {
public:
    // Opens (creating when absent) the database at path (":memory:" for a store in
    // memory), checks it, creates the tables or migrates them when the options
    // allow it. nullptr with an error when the file is not a usable store.
    static std::unique_ptr<ObjectStoreSqlite> open(const std::string& path, const NSManagedObjectModel& model,
                                                   const Value& options, NSErrorPtr* error);
    ~ObjectStoreSqlite();
    ObjectStoreSqlite(const ObjectStoreSqlite&) = delete;
    ObjectStoreSqlite& operator=(const ObjectStoreSqlite&) = delete;

    const std::string& identifier() const { return identifier_; }
    const std::string& path() const { return path_; }

    // The rows of the entity that the predicate (already bound to the entity)
    // accepts, in insertion order; limit 0 for all.
    bool fetch(const NSEntityDescription& entity, const NSPredicate* predicate, std::size_t limit,
               std::vector<StoredRow>& rows, NSErrorPtr* error);

    // Writes the batch in one transaction: all of it or nothing. insertedKeys gets
    // the new rows' keys in the order of batch.inserts.
    bool save(const SaveBatch& batch, std::vector<std::int64_t>& insertedKeys, NSErrorPtr* error);

private:
    ObjectStoreSqlite(sqlite3* db, std::string path);
    bool prepareSchema(const NSManagedObjectModel& model, const Value& options, NSErrorPtr* error);
    bool applyPragmas(const Value& pragmas, NSErrorPtr* error);

    sqlite3* db_;
    std::string path_;
    std::string identifier_;
    std::mutex mutex_;
};

}  // namespace coredata
