#pragma once
// What to fetch: the objects of one entity, optionally filtered by a predicate,
// ordered by sort descriptors (insertion order without any) and limited.
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "platform/coredata/NSEntityDescription.h"
#include "platform/coredata/NSPredicate.h"
#include "platform/coredata/NSSortDescriptor.h"
#include "platform/foundation/NSObject.h"

class NSFetchRequest : public NSObject {
public:
    explicit NSFetchRequest(std::string entityName = {}) : entityName_(std::move(entityName)) {}
    static std::shared_ptr<NSFetchRequest> fetchRequestWithEntityName(const std::string& entityName) {
        return std::make_shared<NSFetchRequest>(entityName);
    }

    const std::string& entityName() const { return entityName_; }
    void setEntityName(std::string name) { entityName_ = std::move(name); }
    // The entity by its description (as NSEntityDescription::entityForName gives it).
    void setEntity(const std::shared_ptr<NSEntityDescription>& entity) { entityName_ = entity ? entity->name() : ""; }
    const std::shared_ptr<NSPredicate>& predicate() const { return predicate_; }
    void setPredicate(std::shared_ptr<NSPredicate> predicate) { predicate_ = std::move(predicate); }
    const std::vector<std::shared_ptr<NSSortDescriptor>>& sortDescriptors() const { return sortDescriptors_; }
    void setSortDescriptors(std::vector<std::shared_ptr<NSSortDescriptor>> d) { sortDescriptors_ = std::move(d); }
    // 0: no limit.
    std::size_t fetchLimit() const { return fetchLimit_; }
    void setFetchLimit(std::size_t limit) { fetchLimit_ = limit; }
    // With pending changes (the default) the context's unsaved inserts, updates
    // and deletes take part in the result; without, only what the store holds.
    bool includesPendingChanges() const { return includesPendingChanges_; }
    void setIncludesPendingChanges(bool include) { includesPendingChanges_ = include; }

private:
    std::string entityName_;
    std::shared_ptr<NSPredicate> predicate_;
    std::vector<std::shared_ptr<NSSortDescriptor>> sortDescriptors_;
    std::size_t fetchLimit_ = 0;
    bool includesPendingChanges_ = true;
};
