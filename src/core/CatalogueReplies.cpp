#include "core/CatalogueReplies.h"

#include <algorithm>
#include <initializer_list>

#include "platform/foundation/NSString.h"

namespace CatalogueReply {

std::int32_t intField(const Value& object, const std::string& key) { return object[key].intValue(); }

std::uint32_t unsignedField(const Value& object, const std::string& key) {
    const Value v = object[key];
    if (v.isString()) {
        auto i = v.integerValue();
        return i < 0 ? 0 : static_cast<std::uint32_t>(std::min<std::int64_t>(i, UINT32_MAX));
    }
    return v.isNumber() ? v.unsignedIntValue() : 0;
}

float floatField(const Value& object, const std::string& key) { return object[key].floatValue(); }

bool flagField(const Value& object, const std::string& key) { return object[key].boolValue(); }

std::string textField(const Value& object, const std::string& key) {
    const Value v = object[key];
    return v.isString() || v.isNumber() ? v.stringValue() : std::string();
}

namespace {

bool fail(std::string* problem, std::string text) {
    if (problem) *problem = std::move(text);
    return false;
}

// A number where text is expected becomes its text; other kinds stay as they are.
void numbersAsText(Value& object, std::initializer_list<const char*> keys) {
    for (const char* key : keys) {
        const Value v = object[key];
        if (v.isNumber()) object.setObject(key, v.stringValue());
    }
}

// The object elements of an array, each readied; the others are left out.
Value objectElements(const Value& array, std::initializer_list<const char*> textKeys) {
    Value out = Value::array();
    for (std::size_t i = 0; i < array.count(); ++i) {
        Value element = array[i];
        if (!element.isDictionary()) continue;
        numbersAsText(element, textKeys);
        out.append(element);
    }
    return out;
}

// An object's array under `key`, readied; false when the key holds something else.
bool prepareArrayField(Value& object, const char* key, std::initializer_list<const char*> textKeys,
                       std::string* problem) {
    const Value array = object[key];
    if (array.isNull()) return true;
    if (!array.isArray()) return fail(problem, std::string("\"") + key + "\" is not an array");
    object.setObject(key, objectElements(array, textKeys));
    return true;
}

}  // namespace

bool prepareReplyData(CatalogueReplyKind kind, Value& data, std::string* problem) {
    if (data.isNull()) return true;
    switch (kind) {
    case CatalogueReplyKind::List:
        if (!data.isDictionary()) return fail(problem, "the list is not an object");
        return prepareArrayField(data, "films", {"title", "poster", "servername"}, problem);
    case CatalogueReplyKind::Detail:
        if (!data.isDictionary()) return fail(problem, "the detail is not an object");
        numbersAsText(data, {"title", "desc", "servername", "poster", "genre", "state"});
        return prepareArrayField(data, "chapters", {"title"}, problem);
    case CatalogueReplyKind::Streams:
        if (data.isArray()) data = objectElements(data, {"name", "link"});
        return true;
    case CatalogueReplyKind::Configuration:
        if (data.isDictionary()) numbersAsText(data, {"AppVersion", "AppLink", "AdvIDBaner", "AdvIDInter"});
        return true;
    }
    return fail(problem, "unknown reply");
}

bool isNewerVersion(const std::string& serverVersion, const std::string& bundleVersion) {
    if (serverVersion.empty()) return false;
    return compare(serverVersion, bundleVersion, NSNumericSearch) == NSOrderedDescending;
}

}  // namespace CatalogueReply
