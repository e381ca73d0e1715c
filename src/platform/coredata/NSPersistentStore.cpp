#include "platform/coredata/NSPersistentStore.h"

#include "platform/coredata/ObjectStoreSqlite.h"

NSPersistentStore::NSPersistentStore(std::string type, std::string configurationName, std::string url, Value options,
                                     std::unique_ptr<coredata::ObjectStoreSqlite> backing)
    : type_(std::move(type)),
      configurationName_(std::move(configurationName)),
      url_(std::move(url)),
      options_(std::move(options)),
      backing_(std::move(backing)) {}

NSPersistentStore::~NSPersistentStore() = default;

const std::string& NSPersistentStore::identifier() const { return backing_->identifier(); }
