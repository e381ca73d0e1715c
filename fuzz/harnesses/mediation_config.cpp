// Mediation responses as the slot reads them: the body's JSON into a dictionary, then AKMMediationConfig, with
// every field of every entry read. Whatever the text: the configuration comes back with no error, or none comes
// and the error is code 7; its settings stay in their ranges; every object of "ad_networks" became one entry in
// order; an entry's adapter is the first of its own list that passes both adapter tests; its text credentials
// are texts.
#include <cmath>

#include "Harnesses.h"
#include "adkit/foundation/AKMacros.h"
#include "adkit/mediation/AKMAdNetworkAdapter.h"
#include "adkit/mediation/AKMConfig.h"
#include "platform/foundation/ClassRegistry.h"
#include "support/FuzzSupport.h"

namespace fuzz::mediation_config {
namespace {

constexpr std::int64_t kInvalidResponseCode = 7;

// Adapter classes of each kind, registered once: a current adapter, one of the old interface, and a class that
// takes banners but is no adapter.
void registerAdapterClasses() {
    static const bool registered = [] {
        const auto make = [] { return std::make_shared<NSObject>(); };
        ClassRegistry::registerClass({"FuzzAdapter", "NSObject", {kAKMAdNetworkAdapterProtocol}, make, nullptr,
                                      {kAKMGetBannerWithSizeOperation}});
        ClassRegistry::registerClass({"FuzzSubAdapter", "FuzzAdapter", {}, make});
        ClassRegistry::registerClass({"FuzzOldAdapter", "NSObject", {kAKMAdNetworkAdapterProtocol}, make});
        ClassRegistry::registerClass({"FuzzNoAdapter", "NSObject", {}, make, nullptr, {kAKMGetBannerWithSizeOperation}});
        return true;
    }();
    (void)registered;
}

bool passesAdapterTests(const std::string& name) {
    return NSClassExists(name) && AKMAdNetworkAdapter::classImplementsCurrentAdapterAPI(name) &&
           AKMAdNetworkAdapter::classIsAdapterClass(name);
}

bool isNullOr(const Value& value, bool (Value::*kind)() const) { return value.isNull() || (value.*kind)(); }

void checkEntry(const AKMAdNetworkConfig& entry, const Value& element) {
    check(AKMTextValue(element["id"]) == entry.networkID(), "an entry's network ID is not its \"id\" as text");
    const auto& adapters = entry.adapterList();
    const auto chosen = entry.adapterClass();
    std::size_t firstPassing = adapters.size();
    for (std::size_t i = 0; i < adapters.size() && firstPassing == adapters.size(); ++i)
        if (passesAdapterTests(adapters[i])) firstPassing = i;
    check(chosen ? firstPassing < adapters.size() && adapters[firstPassing] == *chosen : firstPassing == adapters.size(),
          "an entry's adapter is not the first of its list that passes the adapter tests");
    const Value& credentials = entry.credentials();
    check(isNullOr(credentials, &Value::isDictionary), "credentials that are not a dictionary");
    for (const char* key : {"pubid", "class_name", "parameter", "label", "mad_hac", "adxtym_html", "adxtym_passback_url"})
        check(isNullOr(credentials[key], &Value::isString), "a text credential that is not text");
    check(entry.publisherID() == AKMTextValue(credentials["pubid"]), "a publisher ID that is not the \"pubid\"");
    check(isNullOr(entry.extras(), &Value::isDictionary) && isNullOr(entry.ad(), &Value::isDictionary),
          "extras or an ad payload that is not a dictionary");
    check(isNullOr(entry.impressionURLs(), &Value::isArray), "impression templates that are not a list");
    (void)entry.description();
}

void checkSettings(const AKMMediationConfig& config, const Value& dictionary) {
    check(std::isfinite(config.refreshInterval()) && config.refreshInterval() < 30000, "a refresh out of range");
    check(config.bannerAnimationType() >= 0 && config.bannerAnimationType() <= 8, "a transition out of range");
    check(std::isfinite(config.adNetworkTimeout()) && config.adNetworkTimeout() > 0, "a network time-out out of range");
    for (const Value* templates : {&config.impressionURLs(), &config.clickURLs(), &config.noFillURLs()})
        check(isNullOr(*templates, &Value::isArray), "ping templates that are not a list");
    const Value qdata = dictionary["qdata"];
    if (const std::string* text = qdata.string()) check(config.qdata() == *text, "a text qdata not kept as sent");
    check(config.adType() && config.adType()->description() ==
                                  AKMMediationConfig::peekAdTypeFromConfig(dictionary)->description(),
          "an ad type that is not the one \"ad_type\" names");
}

}  // namespace

int fuzzOne(const std::uint8_t* data, std::size_t size) {
    registerAdapterClasses();
    const auto dictionary = AKMacros::readJsonIntoDictionary(std::string(reinterpret_cast<const char*>(data), size));
    const Value configDict = dictionary.value_or(Value());
    NSErrorPtr error;
    const auto config = AKMMediationConfig::initWithAppKey("fuzz-unit", configDict, &error);
    if (!config) {
        check(error && error->code() == kInvalidResponseCode, "a refused mediation response without code 7");
        return 0;
    }
    check(config->appKey() == "fuzz-unit", "an application key that is not the slot's");
    checkSettings(*config, configDict);
    const Value networks = configDict["ad_networks"];
    check(networks.isArray(), "a configuration from a response without a list of networks");
    std::size_t next = 0;
    for (std::size_t i = 0; i < networks.count(); ++i) {
        const Value element = networks[i];
        if (!element.isDictionary()) continue;
        check(next < config->adNetworkConfigs().size(), "an object of \"ad_networks\" without its entry");
        checkEntry(*config->adNetworkConfigs()[next++], element);
    }
    check(next == config->adNetworkConfigs().size(), "an entry that no object of \"ad_networks\" gave");
    (void)config->description();
    return 0;
}

}  // namespace fuzz::mediation_config
