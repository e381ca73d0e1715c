#include "adkit/mediation/AKMAdNetworkAdapter.h"

#include <mutex>

#include "platform/foundation/ProcessLifetime.h"

namespace AKMAdNetworkAdapter {

namespace {
std::shared_ptr<const std::set<std::string>> scanAdapterClasses() {
    std::set<std::string> names;
    for (const auto& name : ClassRegistry::allClasses())
        if (classIsAdapterClass(name)) names.insert(name);
    if (names.empty()) return nullptr;
    return std::make_shared<const std::set<std::string>>(std::move(names));
}
}  // namespace

std::shared_ptr<const std::set<std::string>> availableAdapterNameSet() {
    static ProcessLifetime<std::once_flag> once;
    static ProcessLifetime<std::shared_ptr<const std::set<std::string>>> names;
    std::call_once(*once, [] { *names = scanAdapterClasses(); });
    return *names;
}

Value availableAdapterNamesScanned() {
    auto names = availableAdapterNameSet();
    if (!names) return Value();
    ValueArray array;
    for (const auto& name : *names) array.emplace_back(name);
    return Value(std::move(array));
}

bool classIsAdapterClass(const std::string& className) {
    return ClassRegistry::conformsTo(className, kAKMAdNetworkAdapterProtocol);
}

bool classImplementsCurrentAdapterAPI(const std::string& className) {
    return ClassRegistry::instancesRespondTo(className, kAKMGetBannerWithSizeOperation);
}

void registerAdapterClass(AdapterClass adapter) {
    ClassRegistry::ClassInfo info{adapter.name, adapter.superclass, {kAKMAdNetworkAdapterProtocol},
                                  std::move(adapter.factory)};
    info.instanceOperations.push_back(kAKMGetBannerWithSizeOperation);
    if (adapter.changesSize) info.instanceOperations.push_back(kAKMChangeAdSizeOperation);
    info.classOperations[kAKMAdapterVersionOperation] = [version = adapter.version] { return Value(version); };
    info.classOperations[kAKMNetworkExtrasClassOperation] = [extras = adapter.networkExtrasClass] {
        return extras.empty() ? Value() : Value(extras);
    };
    ClassRegistry::registerClass(std::move(info));
}

void installAvailableAdapterNamesProvider() { setAvailableAdapterNamesProvider(availableAdapterNamesScanned); }

}  // namespace AKMAdNetworkAdapter

namespace AKMAdSizeUtilities {

namespace {
AKAdSize decodedOrInvalid(const NSValue& value) {
    AKAdSize size = kAKAdSizeInvalid;
    decodeNSValue(value, &size);
    return size;
}
NSValue boxedBool(bool flag) { return NSValue::valueWithBytes(flag, kBoolEncoding); }
}  // namespace

bool decodeNSValue(const NSValue& value, AKAdSize* size) {
    if (value.objCType != kAKAdSizeTypeEncoding) return false;
    auto decoded = AKAdSizeFromNSValue(value);
    if (!decoded) return false;
    if (size) *size = *decoded;
    return true;
}

NSValue AKAdSizeEqualToSize(const NSValue& a, const NSValue& b) {
    AKAdSize first{};
    AKAdSize second{};
    return boxedBool(decodeNSValue(a, &first) && decodeNSValue(b, &second) && AKAdSizeIsEqual(first, second));
}

NSValue CGSizeFromAKAdSize(const NSValue& value) {
    return NSValue::valueWithBytes(AKAdSizeToCGSize(decodedOrInvalid(value)), kCGSizeEncoding);
}

NSValue isAKAdSizeValid(const NSValue& value) { return boxedBool(AKAdSizeIsValid(decodedOrInvalid(value))); }

std::string stringFromAKAdSize(const NSValue& value) { return AKAdSizeDescription(decodedOrInvalid(value)); }

}  // namespace AKMAdSizeUtilities
