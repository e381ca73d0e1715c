#include "platform/coredata/NSManagedObjectContext.h"

#include <algorithm>
#include <set>

#include "platform/coredata/CoreDataErrors.h"
#include "platform/coredata/ObjectStoreSqlite.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSNotificationCenter.h"

namespace {
template <class T>
void eraseObject(std::vector<std::shared_ptr<T>>& list, const T* object) {
    list.erase(std::remove_if(list.begin(), list.end(), [&](const auto& o) { return o.get() == object; }), list.end());
}
}  // namespace

void NSManagedObjectContext::setPersistentStoreCoordinator(std::shared_ptr<NSPersistentStoreCoordinator> coordinator) {
    coordinator_ = std::move(coordinator);
}

std::shared_ptr<NSPersistentStore> NSManagedObjectContext::store() const {
    if (!coordinator_) return nullptr;
    auto stores = coordinator_->persistentStores();
    return stores.empty() ? nullptr : stores.front();
}

void NSManagedObjectContext::insertObject(const std::shared_ptr<NSManagedObject>& object) {
    if (!object) return;
    if (!object->entity_) {
        NSLog("An object of class %@ without an entity cannot be inserted.", object->className());
        return;
    }
    auto owner = object->context_.lock();
    if (owner.get() == this) {
        // Inserting a deleted object takes back its deletion.
        if (object->deleted_) {
            object->deleted_ = false;
            eraseObject(deleted_, object.get());
        }
        return;
    }
    if (owner) {
        NSLog("An object of %@ cannot be inserted into a second context.", object->entityName());
        return;
    }
    // An object deleted by an earlier save comes back as a new object.
    object->primaryKey_ = 0;
    object->objectID_ = NSManagedObjectID::temporaryID(object->entityName());
    std::fill(object->committed_.begin(), object->committed_.end(), Value());
    object->context_ = weakSelf<NSManagedObjectContext>();
    object->inserted_ = true;
    object->deleted_ = false;
    inserted_.push_back(object);
}

void NSManagedObjectContext::deleteObject(const std::shared_ptr<NSManagedObject>& object) {
    if (!object) return;
    if (object->context_.lock().get() != this) {
        NSLog("An object of %@ cannot be deleted from a context it does not belong to.", object->entityName());
        return;
    }
    if (object->inserted_) {
        object->inserted_ = false;
        object->context_.reset();
        eraseObject(inserted_, object.get());
        return;
    }
    if (object->deleted_) return;
    object->deleted_ = true;
    deleted_.push_back(object);
}

void NSManagedObjectContext::objectDidChange(const std::shared_ptr<NSManagedObject>& object) {
    if (object->inserted_ || object->primaryKey_ == 0) return;
    for (const auto& o : changed_)
        if (o == object) return;
    changed_.push_back(object);
}

bool NSManagedObjectContext::hasChanges() const {
    if (!inserted_.empty() || !deleted_.empty()) return true;
    return std::any_of(changed_.begin(), changed_.end(), [](const auto& o) { return o->isUpdated(); });
}

std::vector<std::shared_ptr<NSManagedObject>> NSManagedObjectContext::updatedObjects() const {
    std::vector<std::shared_ptr<NSManagedObject>> out;
    for (const auto& o : changed_)
        if (o->isUpdated()) out.push_back(o);
    return out;
}

void NSManagedObjectContext::pruneRegistry() {
    for (auto it = registered_.begin(); it != registered_.end();)
        it = it->second.expired() ? registered_.erase(it) : std::next(it);
}

std::size_t NSManagedObjectContext::registeredObjectCount() const {
    std::size_t n = inserted_.size();
    for (const auto& [key, object] : registered_)
        if (!object.expired()) ++n;
    return n;
}

std::vector<std::shared_ptr<NSManagedObject>> NSManagedObjectContext::executeFetchRequest(
    const std::shared_ptr<NSFetchRequest>& request, NSErrorPtr* error) {
    auto fail = [&](const std::string& reason) {
        if (error) *error = coredata::makeError(NSCoreDataError, reason);
        return std::vector<std::shared_ptr<NSManagedObject>>{};
    };
    if (!request) return fail("executeFetchRequest: there is no fetch request.");
    if (!coordinator_ || !coordinator_->managedObjectModel())
        return fail("executeFetchRequest: the context has no coordinator with a model.");
    auto entity = coordinator_->managedObjectModel()->entityForName(request->entityName());
    if (!entity) return fail("executeFetchRequest: the model has no entity named '" + request->entityName() + "'.");
    std::shared_ptr<NSPredicate> predicate;
    if (request->predicate()) {
        predicate = request->predicate()->boundToEntity(*entity, error);
        if (!predicate) return {};
    }
    for (const auto& sort : request->sortDescriptors())
        if (!sort || !entity->attributeNamed(sort->key()))
            return fail("executeFetchRequest: the entity " + entity->name() + " has no key " +
                        (sort ? sort->key() : std::string("(null)")) + " to sort by.");

    const std::string& name = entity->name();
    const bool pending = request->includesPendingChanges();
    auto ofEntity = [&](const std::shared_ptr<NSManagedObject>& o) { return o->entityName() == name; };
    bool entityHasPending = std::any_of(inserted_.begin(), inserted_.end(), ofEntity) ||
                            std::any_of(changed_.begin(), changed_.end(), ofEntity) ||
                            std::any_of(deleted_.begin(), deleted_.end(), ofEntity);
    auto matches = [&](const std::shared_ptr<NSManagedObject>& o) {
        return !predicate || predicate->evaluateWithObject(o);
    };

    pruneRegistry();
    std::vector<std::pair<std::int64_t, std::shared_ptr<NSManagedObject>>> saved;
    std::set<const NSManagedObject*> seen;
    if (auto s = store()) {
        std::size_t limit =
            (request->sortDescriptors().empty() && (!pending || !entityHasPending)) ? request->fetchLimit() : 0;
        std::vector<coredata::StoredRow> rows;
        if (!s->backing().fetch(*entity, predicate.get(), limit, rows, error)) return {};
        for (auto& row : rows) {
            RegistryKey key{name, row.primaryKey};
            auto object = registered_.count(key) ? registered_[key].lock() : nullptr;
            if (object) {
                if (pending && object->deleted_) continue;
                if (object->isUpdated()) {
                    // The object's unsaved values decide, not the stored ones.
                    if (pending && !matches(object)) continue;
                } else {
                    object->values_ = row.values;
                    object->committed_ = std::move(row.values);
                }
            } else {
                object = NSManagedObject::instantiate(entity);
                object->context_ = weakSelf<NSManagedObjectContext>();
                object->primaryKey_ = row.primaryKey;
                object->objectID_ = std::make_shared<NSManagedObjectID>(name, s->identifier(), row.primaryKey);
                object->values_ = row.values;
                object->committed_ = std::move(row.values);
                registered_[key] = object;
            }
            seen.insert(object.get());
            saved.emplace_back(row.primaryKey, std::move(object));
        }
    }
    std::vector<std::shared_ptr<NSManagedObject>> results;
    if (pending) {
        // Changed objects whose stored values did not match but whose new ones do.
        for (const auto& o : changed_)
            if (ofEntity(o) && !o->deleted_ && !seen.count(o.get()) && o->isUpdated() && matches(o))
                saved.emplace_back(o->primaryKey_, o);
        std::stable_sort(saved.begin(), saved.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    }
    for (auto& [key, object] : saved) results.push_back(std::move(object));
    if (pending)
        for (const auto& o : inserted_)
            if (ofEntity(o) && matches(o)) results.push_back(o);

    if (!request->sortDescriptors().empty()) {
        const auto& sorts = request->sortDescriptors();
        std::stable_sort(results.begin(), results.end(), [&](const auto& a, const auto& b) {
            for (const auto& sort : sorts) {
                int c = sort->compareValues(a->primitiveValueForKey(sort->key()), b->primitiveValueForKey(sort->key()));
                if (c) return c < 0;
            }
            return false;
        });
    }
    if (request->fetchLimit() && results.size() > request->fetchLimit()) results.resize(request->fetchLimit());
    return results;
}

bool NSManagedObjectContext::save(NSErrorPtr* error) {
    if (!hasChanges()) return true;
    auto s = store();
    if (!s) {
        if (error)
            *error = coredata::makeError(NSPersistentStoreSaveError,
                                         "This context's coordinator has no persistent stores. It cannot perform a "
                                         "save operation.");
        return false;
    }
    coredata::SaveBatch batch;
    for (const auto& o : deleted_) batch.deletes.push_back({o->entity_.get(), o->primaryKey_});
    std::vector<std::shared_ptr<NSManagedObject>> updated;
    for (const auto& o : changed_) {
        if (o->deleted_ || !o->isUpdated()) continue;
        coredata::SaveBatch::Update update{o->entity_.get(), o->primaryKey_, {}};
        for (std::size_t i = 0; i < o->values_.size(); ++i)
            if (o->attributeChanged(i)) update.changes.emplace_back(i, o->values_[i]);
        batch.updates.push_back(std::move(update));
        updated.push_back(o);
    }
    for (const auto& o : inserted_) batch.inserts.push_back({o->entity_.get(), o->values_});

    std::vector<std::int64_t> keys;
    if (!s->backing().save(batch, keys, error)) return false;

    // Written: the pending state becomes the saved state.
    for (std::size_t i = 0; i < inserted_.size(); ++i) {
        auto& o = inserted_[i];
        o->primaryKey_ = keys[i];
        o->objectID_ = std::make_shared<NSManagedObjectID>(o->entityName(), s->identifier(), keys[i]);
        o->inserted_ = false;
        o->committed_ = o->values_;
        registered_[{o->entityName(), keys[i]}] = o;
    }
    for (const auto& o : updated) o->committed_ = o->values_;
    for (const auto& o : deleted_) {
        registered_.erase({o->entityName(), o->primaryKey_});
        o->deleted_ = false;
        o->context_.reset();
    }
    auto toArray = [](const std::vector<std::shared_ptr<NSManagedObject>>& list) {
        ValueArray out;
        for (const auto& o : list) out.emplace_back(o);
        return Value(std::move(out));
    };
    Value info{{"inserted", toArray(inserted_)}, {"updated", toArray(updated)}, {"deleted", toArray(deleted_)}};
    inserted_.clear();
    changed_.clear();
    deleted_.clear();
    NSNotificationCenter::defaultCenter()->postNotificationName(NSManagedObjectContextDidSaveNotification, self(), info);
    return true;
}

void NSManagedObjectContext::rollback() {
    for (const auto& o : inserted_) {
        o->inserted_ = false;
        o->context_.reset();
    }
    for (const auto& o : deleted_) o->deleted_ = false;
    auto changed = std::move(changed_);
    inserted_.clear();
    changed_.clear();
    deleted_.clear();
    for (const auto& o : changed) {
        for (std::size_t i = 0; i < o->values_.size(); ++i) {
            if (!o->attributeChanged(i)) continue;
            const std::string& key = o->entity_->attributes()[i].name();
            o->willChangeValueForKey(key);
            o->values_[i] = o->committed_[i];
            o->didChangeValueForKey(key);
        }
    }
}
