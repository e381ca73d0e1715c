#pragma once
// Orders fetched objects by one key, ascending or descending; nil sorts first
// when ascending.
#include <memory>
#include <string>

#include "platform/foundation/NSObject.h"
#include "platform/foundation/Value.h"

class NSSortDescriptor : public NSObject {
public:
    NSSortDescriptor(std::string key, bool ascending) : key_(std::move(key)), ascending_(ascending) {}
    static std::shared_ptr<NSSortDescriptor> sortDescriptorWithKey(const std::string& key, bool ascending) {
        return std::make_shared<NSSortDescriptor>(key, ascending);
    }
    const std::string& key() const { return key_; }
    bool ascending() const { return ascending_; }
    // -1, 0 or 1 for two values of the key, in this descriptor's direction.
    int compareValues(const Value& a, const Value& b) const;

private:
    std::string key_;
    bool ascending_;
};
