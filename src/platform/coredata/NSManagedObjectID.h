#pragma once
// The identity of a managed object: temporary until its first save, then the
// store's identifier, the entity and the row key, the same in every context.
#include <cstdint>
#include <memory>
#include <string>

#include "platform/foundation/NSObject.h"

class NSManagedObjectID : public NSObject {
public:
    // A permanent identity.
    NSManagedObjectID(std::string entityName, std::string storeIdentifier, std::int64_t primaryKey);
    // A temporary identity, unique within the process.
    static std::shared_ptr<NSManagedObjectID> temporaryID(const std::string& entityName);

    const std::string& entityName() const { return entityName_; }
    const std::string& storeIdentifier() const { return storeIdentifier_; }
    std::int64_t primaryKey() const { return primaryKey_; }
    bool isTemporaryID() const { return temporary_; }
    // "x-coredata://<store>/<entity>/p<key>", or "x-coredata:///<entity>/t<n>" while temporary.
    std::string URIRepresentation() const;
    bool isEqual(const NSManagedObjectID& other) const { return URIRepresentation() == other.URIRepresentation(); }
    std::string description() const override { return std::string("<").append(URIRepresentation()).append(">"); }

private:
    NSManagedObjectID(std::string entityName, std::uint64_t temporaryNumber);
    std::string entityName_;
    std::string storeIdentifier_;
    std::int64_t primaryKey_ = 0;
    bool temporary_ = false;
};
