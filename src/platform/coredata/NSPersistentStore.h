#pragma once
// One store of a coordinator: its type, location, options and identifier, and
// the backing that reads and writes it.
#include <memory>
#include <string>

#include "platform/coredata/Forward.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/Value.h"

namespace coredata {
class ObjectStoreSqlite;
}

class NSPersistentStore : public NSObject {
public:
    NSPersistentStore(std::string type, std::string configurationName, std::string url, Value options,
                      std::unique_ptr<coredata::ObjectStoreSqlite> backing);
    ~NSPersistentStore() override;

    const std::string& type() const { return type_; }
    const std::string& configurationName() const { return configurationName_; }
    const std::string& URL() const { return url_; }
    const Value& options() const { return options_; }
    // A unique identifier kept in the store file.
    const std::string& identifier() const;

    coredata::ObjectStoreSqlite& backing() { return *backing_; }

private:
    std::string type_;
    std::string configurationName_;
    std::string url_;
    Value options_;
    std::unique_ptr<coredata::ObjectStoreSqlite> backing_;
};
