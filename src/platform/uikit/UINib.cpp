#include "platform/uikit/UINib.h"

#include <map>

#include "platform/foundation/NSLog.h"
#include "platform/uikit/UICollectionReusableView.h"
#include "platform/uikit/UITableViewCell.h"

namespace {
std::map<std::string, UINib::Factory>& registry() {
    static std::map<std::string, UINib::Factory> factories;
    return factories;
}
}  // namespace

void UINib::registerNibFactory(const std::string& name, Factory factory) { registry()[name] = std::move(factory); }

void UINib::unregisterNibFactory(const std::string& name) { registry().erase(name); }

bool UINib::hasNibNamed(const std::string& name) { return registry().count(name) != 0; }

std::shared_ptr<UINib> UINib::nibWithNibName(const std::string& name, const std::shared_ptr<NSBundle>&) {
    auto it = registry().find(name);
    if (it == registry().end() || !it->second) {
        NSLog("Could not load NIB in bundle: 'NSBundle' with name '%@'", name);
        return nullptr;
    }
    return std::make_shared<UINib>(name, it->second);
}

UINib::Objects UINib::instantiateWithOwner(const std::shared_ptr<NSObject>& owner) const {
    Objects objects = factory_(owner);
    for (auto& object : objects) {
        if (auto cell = std::dynamic_pointer_cast<UICollectionReusableView>(object)) cell->awakeFromNib();
        else if (auto row = std::dynamic_pointer_cast<UITableViewCell>(object)) row->awakeFromNib();
    }
    return objects;
}
