#include "platform/coredata/NSManagedObjectID.h"

#include <atomic>

NSManagedObjectID::NSManagedObjectID(std::string entityName, std::string storeIdentifier, std::int64_t primaryKey)
    : entityName_(std::move(entityName)), storeIdentifier_(std::move(storeIdentifier)), primaryKey_(primaryKey) {}

NSManagedObjectID::NSManagedObjectID(std::string entityName, std::uint64_t temporaryNumber)
    : entityName_(std::move(entityName)), primaryKey_(static_cast<std::int64_t>(temporaryNumber)), temporary_(true) {}

std::shared_ptr<NSManagedObjectID> NSManagedObjectID::temporaryID(const std::string& entityName) {
    static std::atomic<std::uint64_t> counter{1};
    return std::shared_ptr<NSManagedObjectID>(new NSManagedObjectID(entityName, counter++));
}

std::string NSManagedObjectID::URIRepresentation() const {
    if (temporary_) return "x-coredata:///" + entityName_ + "/t" + std::to_string(primaryKey_);
    return "x-coredata://" + storeIdentifier_ + "/" + entityName_ + "/p" + std::to_string(primaryKey_);
}
