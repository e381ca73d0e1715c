#include "platform/coredata/ObjectStoreSqlite.h"

#include <sqlite3.h>

#include <map>

#include "platform/coredata/CoreDataErrors.h"
#include "platform/coredata/NSEntityDescription.h"
#include "platform/coredata/NSManagedObjectModel.h"
#include "platform/coredata/NSPredicate.h"
#include "platform/foundation/NSUUID.h"

namespace coredata {

namespace {

// How long a statement waits for a lock another connection holds: briefly while
// the store opens, longer once it is open (a save of another process).
constexpr int kOpenBusyTimeoutMs = 200;
constexpr int kBusyTimeoutMs = 5000;

// Statement handle that finalizes itself.
class Statement {
public:
    Statement(sqlite3* db, const std::string& sql) { rc_ = sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt_, nullptr); }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    bool ok() const { return rc_ == SQLITE_OK && stmt_; }
    int prepareResult() const { return rc_; }
    sqlite3_stmt* get() const { return stmt_; }

private:
    sqlite3_stmt* stmt_ = nullptr;
    int rc_;
};

std::string quoted(const std::string& identifier) {
    // Model names are plain identifiers; quoting keeps keywords usable as names.
    std::string out = "\"";
    for (char c : identifier) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

std::string declaredType(NSAttributeType type) {
    switch (type) {
    case NSInteger16AttributeType: return "INTEGER16";
    case NSInteger32AttributeType: return "INTEGER32";
    case NSInteger64AttributeType: return "INTEGER64";
    case NSDoubleAttributeType: return "DOUBLE";
    case NSFloatAttributeType: return "FLOAT";
    case NSStringAttributeType: return "VARCHAR";
    case NSBooleanAttributeType: return "BOOLEAN";
    case NSDateAttributeType: return "TIMESTAMP";
    case NSBinaryDataAttributeType: return "BLOB";
    default: return "";
    }
}

std::string upper(std::string s) {
    for (auto& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

// A random (version 4) UUID in upper case, the store's identifier.
std::string newIdentifier() { return NSUUID::UUID()->UUIDString(); }

enum class Phase { Open, Read, Write };

// The store error for a SQLite failure, with the SQLite code and message underneath.
NSErrorPtr storeError(sqlite3* db, int rc, const std::string& path, Phase phase) {
    std::string message = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    Value underlying{{NSLocalizedDescriptionKey, message}};
    auto sqliteError = NSError::errorWithDomain(NSSQLiteErrorDomain, rc, underlying);
    Value info{{NSSQLiteErrorDomainKey, rc}, {NSUnderlyingErrorKey, Value(sqliteError)}};
    if (!path.empty() && path != ":memory:") info.setObject(NSFilePathErrorKey, path);
    long code;
    std::string description;
    switch (rc & 0xff) {
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
        code = NSFileReadCorruptFileError;
        description = "The file couldn\u2019t be opened because it isn\u2019t in the correct format.";
        break;
    case SQLITE_FULL:
        code = NSFileWriteOutOfSpaceError;
        description = "The store could not be written because there isn\u2019t enough space.";
        break;
    case SQLITE_READONLY:
        if (rc == SQLITE_READONLY_DBMOVED) {
            code = NSPersistentStoreSaveError;
            description = "The store file was moved or removed while it was open.";
        } else {
            code = NSFileWriteNoPermissionError;
            description = "The store could not be written because it is read-only.";
        }
        break;
    case SQLITE_PERM:
    case SQLITE_AUTH:
        code = phase == Phase::Write ? NSFileWriteNoPermissionError : NSFileReadNoPermissionError;
        description = "The store could not be accessed: permission denied.";
        break;
    case SQLITE_CANTOPEN:
        code = phase == Phase::Write ? NSFileWriteUnknownError : NSFileReadUnknownError;
        description = "The store file could not be opened.";
        break;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        code = phase == Phase::Open ? NSPersistentStoreOpenError
                                    : (phase == Phase::Write ? NSPersistentStoreSaveError : NSCoreDataError);
        description = "The store is in use by another connection; it is whole, try again later.";
        break;
    default:
        code = phase == Phase::Open ? NSPersistentStoreOpenError
                                    : (phase == Phase::Write ? NSPersistentStoreSaveError : NSCoreDataError);
        description = phase == Phase::Write ? "The store could not be saved." : "The store could not be read.";
        break;
    }
    return makeError(code, description + " (" + message + ")", info);
}

void bindValue(sqlite3_stmt* stmt, int index, const Value& v) {
    switch (v.type()) {
    case Value::Type::Null: sqlite3_bind_null(stmt, index); break;
    case Value::Type::Bool:
    case Value::Type::Integer: sqlite3_bind_int64(stmt, index, v.integerValue()); break;
    case Value::Type::Unsigned:
        if (v.unsignedLongLongValue() <= static_cast<std::uint64_t>(INT64_MAX))
            sqlite3_bind_int64(stmt, index, static_cast<sqlite3_int64>(v.unsignedLongLongValue()));
        else
            sqlite3_bind_double(stmt, index, v.doubleValue());
        break;
    case Value::Type::Double: sqlite3_bind_double(stmt, index, v.doubleValue()); break;
    case Value::Type::String:
        sqlite3_bind_text64(stmt, index, v.string()->data(), v.string()->size(), SQLITE_TRANSIENT, SQLITE_UTF8);
        break;
    case Value::Type::Data: {
        const auto& d = *v.data();
        sqlite3_bind_blob64(stmt, index, d.empty() ? "" : static_cast<const void*>(d.data()), d.size(),
                            SQLITE_TRANSIENT);
        break;
    }
    case Value::Type::Date: sqlite3_bind_double(stmt, index, v.date()->secondsSince1970); break;
    default: sqlite3_bind_null(stmt, index); break;
    }
}

Value columnValue(sqlite3_stmt* stmt, int column, NSAttributeType type) {
    if (sqlite3_column_type(stmt, column) == SQLITE_NULL) return {};
    switch (type) {
    case NSInteger16AttributeType:
    case NSInteger32AttributeType:
    case NSInteger64AttributeType: return Value(static_cast<long long>(sqlite3_column_int64(stmt, column)));
    case NSDoubleAttributeType:
    case NSFloatAttributeType: return Value(sqlite3_column_double(stmt, column));
    case NSBooleanAttributeType: return Value(sqlite3_column_int64(stmt, column) != 0);
    case NSDateAttributeType: return Value(::Date{sqlite3_column_double(stmt, column)});
    case NSStringAttributeType: {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
        return Value(std::string(text ? text : "", static_cast<std::size_t>(sqlite3_column_bytes(stmt, column))));
    }
    case NSBinaryDataAttributeType: {
        const auto* blob = static_cast<const std::uint8_t*>(sqlite3_column_blob(stmt, column));
        auto size = static_cast<std::size_t>(sqlite3_column_bytes(stmt, column));
        return Value(::Data(blob, blob + size));
    }
    default: return {};
    }
}

const char* sqlOperator(NSPredicate::Operator op) {
    switch (op) {
    case NSPredicate::Operator::Equal: return " IS ";
    case NSPredicate::Operator::NotEqual: return " IS NOT ";
    case NSPredicate::Operator::Less: return " < ";
    case NSPredicate::Operator::LessOrEqual: return " <= ";
    case NSPredicate::Operator::Greater: return " > ";
    case NSPredicate::Operator::GreaterOrEqual: return " >= ";
    }
    return " IS ";
}

// The WHERE clause of a predicate; every value becomes a bound parameter.
// Ordered comparisons with NULL count as false (not unknown), as in memory.
std::string predicateSQL(const NSPredicate& p, std::vector<Value>& binds) {
    using Kind = NSPredicate::Kind;
    switch (p.kind()) {
    case Kind::True: return "1";
    case Kind::False: return "0";
    case Kind::Comparison: {
        auto operand = [&](const NSPredicate::Operand& o) {
            if (o.isKey) return quoted(o.key);
            binds.push_back(o.constant);
            return std::string("?");
        };
        std::string l = operand(p.left());
        std::string r = operand(p.right());
        auto op = p.comparisonOperator();
        std::string cmp = l + sqlOperator(op) + r;
        if (op == NSPredicate::Operator::Equal || op == NSPredicate::Operator::NotEqual) return "(" + cmp + ")";
        return "IFNULL(" + cmp + ", 0)";
    }
    case Kind::Not: return "NOT (" + predicateSQL(*p.subpredicates().front(), binds) + ")";
    case Kind::And:
    case Kind::Or: {
        if (p.subpredicates().empty()) return p.kind() == Kind::And ? "1" : "0";
        std::string out = "(";
        for (std::size_t i = 0; i < p.subpredicates().size(); ++i) {
            if (i) out += p.kind() == Kind::And ? " AND " : " OR ";
            out += predicateSQL(*p.subpredicates()[i], binds);
        }
        return out + ")";
    }
    }
    return "0";
}

bool isPragmaWord(const std::string& s) {
    if (s.empty() || s.size() > 64) return false;
    for (char c : s)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || (c >= '0' && c <= '9'))) return false;
    return true;
}

bool optionIsYes(const Value& options, const char* key) {
    Value v = options[key];
    return !v.isNull() && v.boolValue();
}

}  // namespace

ObjectStoreSqlite::ObjectStoreSqlite(sqlite3* db, std::string path) : db_(db), path_(std::move(path)) {}

ObjectStoreSqlite::~ObjectStoreSqlite() { sqlite3_close_v2(db_); }

std::unique_ptr<ObjectStoreSqlite> ObjectStoreSqlite::open(const std::string& path, const NSManagedObjectModel& model,
                                                           const Value& options, NSErrorPtr* error) {
    bool readOnly = optionIsYes(options, NSReadOnlyPersistentStoreOption);
    int flags = (readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE) | SQLITE_OPEN_FULLMUTEX;
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
    if (rc != SQLITE_OK) {
        if (error) *error = storeError(db, rc, path, Phase::Open);
        sqlite3_close_v2(db);
        return nullptr;
    }
    std::unique_ptr<ObjectStoreSqlite> store(new ObjectStoreSqlite(db, path));
    sqlite3_extended_result_codes(db, 1);
    // Opening waits only briefly for a lock another connection holds (a save in
    // progress takes milliseconds): a store held longer fails the open as busy
    // rather than holding up the caller, often the main thread, for seconds.
    sqlite3_busy_timeout(db, kOpenBusyTimeoutMs);

    // The first read tells a database from any other file; quick_check finds
    // damaged pages before anything is read from them.
    {
        Statement check(db, "PRAGMA quick_check");
        if (!check.ok()) {
            if (error) *error = storeError(db, check.prepareResult(), path, Phase::Open);
            return nullptr;
        }
        int step = sqlite3_step(check.get());
        if (step != SQLITE_ROW) {
            if (error) *error = storeError(db, step, path, Phase::Open);
            return nullptr;
        }
        const auto* first = reinterpret_cast<const char*>(sqlite3_column_text(check.get(), 0));
        if (!first || std::string(first) != "ok") {
            if (error) *error = storeError(db, SQLITE_CORRUPT, path, Phase::Open);
            return nullptr;
        }
    }
    if (!readOnly) {
        // A rollback journal with full syncs: a save that returned is on disk, and
        // an interrupted one rolls back on the next open.
        char* message = nullptr;
        rc = sqlite3_exec(db, "PRAGMA journal_mode=DELETE; PRAGMA synchronous=FULL; PRAGMA foreign_keys=OFF;", nullptr,
                          nullptr, &message);
        sqlite3_free(message);
        if (rc != SQLITE_OK) {
            if (error) *error = storeError(db, rc, path, Phase::Open);
            return nullptr;
        }
    }
    if (!store->prepareSchema(model, options, error)) return nullptr;
    // The caller's pragmas come last, so limits such as max_page_count do not
    // stand in the way of creating the tables.
    if (!store->applyPragmas(options[NSSQLitePragmasOption], error)) return nullptr;
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    return store;
}

bool ObjectStoreSqlite::applyPragmas(const Value& pragmas, NSErrorPtr* error) {
    auto dict = pragmas.dictionaryRef();
    if (!dict) return true;
    for (const auto& [name, value] : *dict) {
        std::string text;
        if (value.type() == Value::Type::Integer || value.type() == Value::Type::Bool ||
            value.type() == Value::Type::Unsigned)
            text = std::to_string(value.integerValue());
        else if (value.isString() && isPragmaWord(*value.string()))
            text = *value.string();
        if (!isPragmaWord(name) || text.empty()) {
            if (error)
                *error = makeError(NSPersistentStoreOpenError, "The store option " + std::string(NSSQLitePragmasOption) +
                                                                   " holds an invalid pragma " + name + ".");
            return false;
        }
        std::string sql = "PRAGMA " + name + " = " + text;
        Statement stmt(db_, sql);
        int rc = stmt.ok() ? SQLITE_OK : stmt.prepareResult();
        if (rc == SQLITE_OK)
            while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
            }
        if (rc != SQLITE_OK && rc != SQLITE_DONE) {
            if (error) *error = storeError(db_, rc, path_, Phase::Open);
            return false;
        }
    }
    return true;
}

bool ObjectStoreSqlite::prepareSchema(const NSManagedObjectModel& model, const Value& options, NSErrorPtr* error) {
    bool readOnly = optionIsYes(options, NSReadOnlyPersistentStoreOption);
    auto exec = [&](const std::string& sql) -> int {
        char* message = nullptr;
        int rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &message);
        sqlite3_free(message);
        return rc;
    };
    auto fail = [&](NSErrorPtr e) {
        if (!sqlite3_get_autocommit(db_)) exec("ROLLBACK");
        if (error) *error = std::move(e);
        return false;
    };
    int rc = readOnly ? exec("BEGIN") : exec("BEGIN IMMEDIATE");
    if (rc != SQLITE_OK) return fail(storeError(db_, rc, path_, Phase::Open));

    // Tables present (lower-cased name -> name), and the columns of each.
    std::map<std::string, std::string> tables;
    {
        Statement stmt(db_, "SELECT name FROM sqlite_master WHERE type = 'table'");
        if (!stmt.ok()) return fail(storeError(db_, stmt.prepareResult(), path_, Phase::Open));
        while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
            std::string name = reinterpret_cast<const char*>(sqlite3_column_text(stmt.get(), 0));
            tables[upper(name)] = name;
        }
        if (rc != SQLITE_DONE) return fail(storeError(db_, rc, path_, Phase::Open));
    }
    bool fresh = tables.empty();
    if (!fresh && !tables.count("Z_METADATA"))
        return fail(makeError(NSPersistentStoreIncompatibleSchemaError,
                              "The file is a database but not an object store.", Value{{NSFilePathErrorKey, path_}}));

    std::vector<std::string> changes;
    bool extraColumns = false;
    bool incompatible = false;
    std::string reason;
    if (fresh)
        changes.push_back("CREATE TABLE Z_METADATA (Z_VERSION INTEGER PRIMARY KEY, Z_UUID VARCHAR, Z_MODEL VARCHAR)");
    for (const auto& entity : model.entities()) {
        if (!tables.count(upper(entity->name()))) {
            std::string sql = "CREATE TABLE " + quoted(entity->name()) + " (Z_PK INTEGER PRIMARY KEY AUTOINCREMENT";
            for (const auto& attr : entity->attributes())
                sql += ", " + quoted(attr.name()) + " " + declaredType(attr.attributeType());
            changes.push_back(sql + ")");
            continue;
        }
        std::map<std::string, std::string> columns;  // upper-cased name -> declared type
        Statement info(db_, "SELECT name, type FROM pragma_table_info(?)");
        if (!info.ok()) return fail(storeError(db_, info.prepareResult(), path_, Phase::Open));
        sqlite3_bind_text(info.get(), 1, entity->name().c_str(), -1, SQLITE_TRANSIENT);
        while ((rc = sqlite3_step(info.get())) == SQLITE_ROW) {
            const auto* n = reinterpret_cast<const char*>(sqlite3_column_text(info.get(), 0));
            const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(info.get(), 1));
            columns[upper(n ? n : "")] = upper(t ? t : "");
        }
        if (rc != SQLITE_DONE) return fail(storeError(db_, rc, path_, Phase::Open));
        if (!columns.count("Z_PK")) {
            incompatible = true;
            reason = "the table of " + entity->name() + " has no row key";
            break;
        }
        std::size_t matched = 1;  // Z_PK
        for (const auto& attr : entity->attributes()) {
            auto it = columns.find(upper(attr.name()));
            if (it == columns.end()) {
                changes.push_back("ALTER TABLE " + quoted(entity->name()) + " ADD COLUMN " + quoted(attr.name()) + " " +
                                  declaredType(attr.attributeType()));
                continue;
            }
            ++matched;
            if (it->second != declaredType(attr.attributeType())) {
                incompatible = true;
                reason = "the type of " + entity->name() + "." + attr.name() + " changed";
            }
        }
        // Columns of attributes the model no longer has stay in the table; their
        // values are no longer read or written.
        if (matched != columns.size()) extraColumns = true;
    }
    if (incompatible) {
        return fail(makeError(NSMigrationMissingMappingModelError,
                              "The store cannot be migrated to the model automatically: " + reason + ".",
                              Value{{NSFilePathErrorKey, path_}}));
    }
    bool migrate = optionIsYes(options, NSMigratePersistentStoresAutomaticallyOption) &&
                   optionIsYes(options, NSInferMappingModelAutomaticallyOption);
    if (!fresh && (!changes.empty() || extraColumns) && (!migrate || readOnly)) {
        return fail(makeError(NSPersistentStoreIncompatibleVersionHashError,
                              "The model used to open the store is incompatible with the one used to create the store.",
                              Value{{NSFilePathErrorKey, path_}}));
    }
    if (readOnly && fresh) {
        return fail(makeError(NSPersistentStoreOpenError, "A read-only store must exist already.",
                              Value{{NSFilePathErrorKey, path_}}));
    }
    for (const auto& sql : changes) {
        rc = exec(sql);
        if (rc != SQLITE_OK) return fail(storeError(db_, rc, path_, Phase::Write));
    }
    if (fresh) {
        Statement insert(db_, "INSERT INTO Z_METADATA (Z_VERSION, Z_UUID, Z_MODEL) VALUES (1, ?, ?)");
        if (!insert.ok()) return fail(storeError(db_, insert.prepareResult(), path_, Phase::Write));
        std::string id = newIdentifier();
        sqlite3_bind_text(insert.get(), 1, id.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert.get(), 2, model.name().c_str(), -1, SQLITE_TRANSIENT);
        rc = sqlite3_step(insert.get());
        if (rc != SQLITE_DONE) return fail(storeError(db_, rc, path_, Phase::Write));
    }
    {
        Statement meta(db_, "SELECT Z_UUID FROM Z_METADATA WHERE Z_VERSION = 1");
        if (!meta.ok()) return fail(storeError(db_, meta.prepareResult(), path_, Phase::Open));
        rc = sqlite3_step(meta.get());
        if (rc == SQLITE_ROW && sqlite3_column_text(meta.get(), 0))
            identifier_ = reinterpret_cast<const char*>(sqlite3_column_text(meta.get(), 0));
        else if (rc != SQLITE_ROW && rc != SQLITE_DONE)
            return fail(storeError(db_, rc, path_, Phase::Open));
        if (identifier_.empty())
            return fail(makeError(NSPersistentStoreIncompatibleSchemaError, "The store has no identifier.",
                                  Value{{NSFilePathErrorKey, path_}}));
    }
    rc = exec("COMMIT");
    if (rc != SQLITE_OK) return fail(storeError(db_, rc, path_, readOnly ? Phase::Open : Phase::Write));
    return true;
}

bool ObjectStoreSqlite::fetch(const NSEntityDescription& entity, const NSPredicate* predicate, std::size_t limit,
                              std::vector<StoredRow>& rows, NSErrorPtr* error) {
    std::lock_guard lock(mutex_);
    std::string sql = "SELECT Z_PK";
    for (const auto& attr : entity.attributes()) sql += ", " + quoted(attr.name());
    sql += " FROM " + quoted(entity.name());
    std::vector<Value> binds;
    if (predicate) sql += " WHERE " + predicateSQL(*predicate, binds);
    sql += " ORDER BY Z_PK";
    if (limit) sql += " LIMIT " + std::to_string(limit);
    Statement stmt(db_, sql);
    if (!stmt.ok()) {
        if (error) *error = storeError(db_, stmt.prepareResult(), path_, Phase::Read);
        return false;
    }
    for (std::size_t i = 0; i < binds.size(); ++i) bindValue(stmt.get(), static_cast<int>(i + 1), binds[i]);
    int rc;
    std::vector<StoredRow> out;
    while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
        StoredRow row;
        row.primaryKey = sqlite3_column_int64(stmt.get(), 0);
        row.values.reserve(entity.attributes().size());
        for (std::size_t i = 0; i < entity.attributes().size(); ++i)
            row.values.push_back(columnValue(stmt.get(), static_cast<int>(i + 1), entity.attributes()[i].attributeType()));
        out.push_back(std::move(row));
    }
    if (rc != SQLITE_DONE) {
        if (error) *error = storeError(db_, rc, path_, Phase::Read);
        return false;
    }
    rows = std::move(out);
    return true;
}

bool ObjectStoreSqlite::save(const SaveBatch& batch, std::vector<std::int64_t>& insertedKeys, NSErrorPtr* error) {
    std::lock_guard lock(mutex_);
    auto fail = [&](NSErrorPtr e) {
        if (!sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        if (error) *error = std::move(e);
        return false;
    };
    auto run = [&](Statement& stmt) -> int {
        if (!stmt.ok()) return stmt.prepareResult();
        return sqlite3_step(stmt.get());
    };
    int rc = sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) return fail(storeError(db_, rc, path_, Phase::Write));

    for (const auto& d : batch.deletes) {
        Statement stmt(db_, "DELETE FROM " + quoted(d.entity->name()) + " WHERE Z_PK = ?");
        if (stmt.ok()) sqlite3_bind_int64(stmt.get(), 1, d.primaryKey);
        rc = run(stmt);
        if (rc != SQLITE_DONE) return fail(storeError(db_, rc, path_, Phase::Write));
    }
    for (const auto& u : batch.updates) {
        if (u.changes.empty()) continue;
        std::string sql = "UPDATE " + quoted(u.entity->name()) + " SET ";
        for (std::size_t i = 0; i < u.changes.size(); ++i) {
            if (i) sql += ", ";
            sql += quoted(u.entity->attributes()[u.changes[i].first].name()) + " = ?";
        }
        sql += " WHERE Z_PK = ?";
        Statement stmt(db_, sql);
        if (stmt.ok()) {
            for (std::size_t i = 0; i < u.changes.size(); ++i)
                bindValue(stmt.get(), static_cast<int>(i + 1), u.changes[i].second);
            sqlite3_bind_int64(stmt.get(), static_cast<int>(u.changes.size() + 1), u.primaryKey);
        }
        rc = run(stmt);
        if (rc != SQLITE_DONE) return fail(storeError(db_, rc, path_, Phase::Write));
        if (sqlite3_changes(db_) != 1)
            return fail(makeError(NSManagedObjectMergeError,
                                  "An object of " + u.entity->name() + " that was changed is no longer in the store.",
                                  Value{{NSFilePathErrorKey, path_}}));
    }
    std::vector<std::int64_t> keys;
    for (const auto& ins : batch.inserts) {
        const auto& attrs = ins.entity->attributes();
        std::string sql = "INSERT INTO " + quoted(ins.entity->name());
        if (attrs.empty()) {
            sql += " DEFAULT VALUES";
        } else {
            std::string names, marks;
            for (std::size_t i = 0; i < attrs.size(); ++i) {
                names += (i ? ", " : "") + quoted(attrs[i].name());
                marks += i ? ", ?" : "?";
            }
            sql += " (" + names + ") VALUES (" + marks + ")";
        }
        Statement stmt(db_, sql);
        if (stmt.ok())
            for (std::size_t i = 0; i < attrs.size() && i < ins.values.size(); ++i)
                bindValue(stmt.get(), static_cast<int>(i + 1), ins.values[i]);
        rc = run(stmt);
        if (rc != SQLITE_DONE) return fail(storeError(db_, rc, path_, Phase::Write));
        keys.push_back(sqlite3_last_insert_rowid(db_));
    }
    rc = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) return fail(storeError(db_, rc, path_, Phase::Write));
    insertedKeys = std::move(keys);
    return true;
}

}  // namespace coredata
