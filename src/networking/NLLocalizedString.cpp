#include "networking/NLLocalizedString.h"

#include <mutex>

#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSData.h"
#include "platform/foundation/Value.h"

namespace {
const Value& netlineTable() {
    static std::once_flag once;
    static Value table;
    std::call_once(once, [] {
        auto path = NSBundle::mainBundle()->pathForResource("Netline.strings", "json");
        if (!path) return;
        auto bytes = dataWithContentsOfFile(*path);
        if (!bytes) return;
        auto parsed = Value::fromJSON(std::string(bytes->begin(), bytes->end()));
        if (parsed && parsed->isDictionary()) table = *parsed;
    });
    return table;
}
}  // namespace

std::string NLLocalizedString(const std::string& key) {
    auto text = netlineTable()[key];
    if (text.isString() && !text.string()->empty()) return *text.string();
    return key;
}
