#include "adkit/mediation/AKMConfig.h"

#include <cstdio>
#include <cstdlib>

#include "adkit/foundation/AKMacros.h"
#include "adkit/foundation/AKRequestError.h"
#include "adkit/mediation/AKMAdNetworkAdapter.h"

namespace {

constexpr std::int64_t kInvalidResponseCode = 7;
constexpr std::int64_t kNoAdapterCode = 8;
const char* const kTextCredentials[] = {"pubid",     "class_name",  "parameter",          "label",
                                        "mad_hac",   "adxtym_html", "adxtym_passback_url"};

// An integer setting: a number, or text that is a whole integer; else nullopt.
std::optional<std::int64_t> integerSetting(const Value& value) {
    if (value.isBool()) return std::nullopt;
    if (value.isNumber()) return value.integerValue();
    const std::string* text = value.string();
    if (!text || text->empty()) return std::nullopt;
    char* end = nullptr;
    long long parsed = std::strtoll(text->c_str(), &end, 10);
    if (end == text->c_str() || *end != '\0') return std::nullopt;
    return parsed;
}

Value arrayOrNull(const Value& value) { return value.isArray() ? value.copy() : Value(); }
Value dictionaryOrNull(const Value& value) { return value.isDictionary() ? value.copy() : Value(); }

// The credentials with every text credential turned into text or removed.
Value textCredentials(const Value& data) {
    if (!data.isDictionary()) return Value();
    Value credentials = data.copy();
    for (const char* key : kTextCredentials) {
        Value found = credentials[key];
        if (found.isNull()) continue;
        auto text = AKMTextValue(found);
        credentials.setObject(key, text ? Value(*text) : Value());
    }
    return credentials;
}

std::string joined(const std::vector<std::string>& names, const char* separator) {
    std::string out;
    for (const auto& name : names) out += (out.empty() ? "" : separator) + name;
    return out;
}

std::string listDescription(const std::vector<std::string>& names) {
    std::string out = "(\n";
    for (std::size_t i = 0; i < names.size(); ++i) out += "    " + names[i] + (i + 1 < names.size() ? ",\n" : "\n");
    return out + ")";
}

NSErrorPtr invalidResponse(const std::string& message) {
    return AKRequestError::errorWithCode(kInvalidResponseCode,
                                         std::optional<std::string>("The AdNet Mediation response was invalid: " + message));
}

}  // namespace

std::optional<std::string> AKMTextValue(const Value& value) {
    if (const std::string* text = value.string()) return *text;
    if (value.isNumber() && !value.isBool()) return value.stringValue();
    return std::nullopt;
}

// ---- Ad network entries ---------------------------------------------------------------

std::shared_ptr<AKMAdNetworkConfig> AKMAdNetworkConfig::initWithDictionary(const Value& dictionary,
                                                                         NSErrorPtr* error) {
    const Value id = dictionary["id"];
    if (id.isNull()) {
        if (error) *error = invalidResponse("An ad network config has no network ID.");
        return nullptr;
    }
    auto networkID = AKMTextValue(id);
    if (!networkID) {
        if (error) *error = invalidResponse("An ad network config has an invalid network ID.");
        return nullptr;
    }
    auto entry = std::make_shared<AKMAdNetworkConfig>();
    entry->networkID_ = *networkID;
    entry->credentials_ = textCredentials(dictionary["data"]);
    entry->extras_ = dictionaryOrNull(dictionary["extras"]);
    entry->ad_ = dictionaryOrNull(dictionary["ad"]);
    entry->allocationID_ = AKMTextValue(dictionary["allocation_id"]);
    entry->impressionURLs_ = arrayOrNull(dictionary["imp_urls"]);
    if (auto adapters = dictionary["adapters"]; adapters.isArray()) {
        entry->hasAdapterList_ = true;
        for (std::size_t i = 0; i < adapters.count(); ++i)
            if (auto name = AKMTextValue(adapters[i])) entry->adapterList_.push_back(*name);
    }
    NSErrorPtr problem = entry->chooseAdapter();
    if (error) *error = problem;
    return entry;
}

NSErrorPtr AKMAdNetworkConfig::chooseAdapter() {
    std::vector<std::string> oldInterface;
    for (const auto& name : adapterList_) {
        if (!NSClassExists(name)) continue;
        if (!AKMAdNetworkAdapter::classImplementsCurrentAdapterAPI(name)) {
            oldInterface.push_back(name);
            continue;
        }
        if (AKMAdNetworkAdapter::classIsAdapterClass(name)) {
            adapterClass_ = name;
            break;
        }
    }
    const std::string noneFound = adapterClass_ ? "" : " No valid adapters found for this ad network.";
    if (oldInterface.size() == 1)
        return AKRequestError::errorWithCode(
            kNoAdapterCode, std::optional<std::string>("Ad network adapter " + oldInterface.front() +
                                                       " implements an old API. Please update the adapter." + noneFound));
    if (oldInterface.size() > 1)
        return AKRequestError::errorWithCode(
            kNoAdapterCode,
            std::optional<std::string>("Ad network adapters (" + joined(oldInterface, ", ") +
                                       ") implement an old API. Please update the adapters." + noneFound));
    if (!adapterClass_)
        return AKRequestError::errorWithCode(
            kNoAdapterCode,
            std::optional<std::string>("Cannot find an ad network adapter with the name(s): " +
                                       listDescription(adapterList_) +
                                       ". Link every ad network adapter this ad unit needs, and link with the "
                                       "flag that loads the adapters' registration code."));
    return nullptr;
}

std::optional<std::string> AKMAdNetworkConfig::publisherID() const { return AKMTextValue(credentials_["pubid"]); }

std::string AKMAdNetworkConfig::description() const {
    auto pub = publisherID();
    return "networkID:" + networkID_ + " adapter:" + adapterClass_.value_or("(null)") +
           " data:" + (pub ? *pub : credentials_.description());
}

// ---- The response ------------------------------------------------------------------------

std::shared_ptr<AKMMediationConfig> AKMMediationConfig::initWithAppKey(const std::string& appKey,
                                                                       const Value& configDict, NSErrorPtr* error) {
    auto config = std::make_shared<AKMMediationConfig>();
    config->appKey_ = appKey;
    config->adType_ = peekAdTypeFromConfig(configDict);
    if (Value settings = configDict["settings"]; settings.isDictionary()) config->readSettings(settings);
    if (Value qdata = configDict["qdata"]; !qdata.isNull()) config->qdata_ = AKMTextValue(qdata);
    if (NSErrorPtr failure = config->readAdNetworks(configDict["ad_networks"])) {
        if (error) *error = failure;
        return nullptr;
    }
    return config;
}

void AKMMediationConfig::installFactory() {
    AKMConfig::setFactory([](const std::string& appKey, const Value& configDict, NSErrorPtr* error) {
        return std::static_pointer_cast<AKMConfig>(initWithAppKey(appKey, configDict, error));
    });
}

void AKMMediationConfig::readSettings(const Value& settings) {
    if (auto refresh = integerSetting(settings["refresh"])) setRefreshInterval(static_cast<double>(*refresh));
    if (auto millis = integerSetting(settings["ad_network_timeout_millis"]); millis && *millis > 0)
        adNetworkTimeout_ = static_cast<double>(*millis) / 1000.0;
    if (auto anim = integerSetting(settings["ad_transition_anim"]); anim && *anim >= 0 && *anim <= 8)
        bannerAnimationType_ = *anim;
    impressionURLs_ = arrayOrNull(settings["imp_urls"]);
    clickURLs_ = arrayOrNull(settings["click_urls"]);
    noFillURLs_ = arrayOrNull(settings["nofill_urls"]);
}

NSErrorPtr AKMMediationConfig::readAdNetworks(const Value& networks) {
    if (!networks.isArray()) return AKRequestError::errorWithCode(kInvalidResponseCode);
    for (std::size_t i = 0; i < networks.count(); ++i) {
        const Value element = networks[i];
        if (!element.isDictionary()) continue;
        NSErrorPtr problem;
        auto entry = AKMAdNetworkConfig::initWithDictionary(element, &problem);
        if (entry) adNetworkConfigs_.push_back(entry);
        if (problem && problem->code() == kNoAdapterCode) {
            AKMacros::pubLog(problem->localizedDescription());
        } else if (problem) {
            return problem;
        }
    }
    return nullptr;
}

AKAdTypePtr AKMMediationConfig::peekAdTypeFromConfig(const Value& configDict) {
    const Value name = configDict["ad_type"];
    return adTypeFromString(name.string() ? std::optional<std::string>(*name.string()) : std::nullopt);
}

AKAdTypePtr AKMMediationConfig::adTypeFromString(const std::optional<std::string>& name) {
    static const std::pair<const char*, AKAdSize> banners[] = {
        {"banner", kAKAdSizeBanner},           {"largebanner", kAKAdSizeLargeBanner},
        {"mrec", kAKAdSizeMediumRectangle},    {"fullbanner", kAKAdSizeFullBanner},
        {"leaderboard", kAKAdSizeLeaderboard}, {"skyscraper", kAKAdSizeSkyscraper},
    };
    if (name == "interstitial") return AKAdType::initForInterstitial();
    for (const auto& [text, size] : banners)
        if (name == text) return AKAdType::bannerAdTypeForSize(size);
    return AKAdType::bannerAdTypeForSize(kAKAdSizeInvalid);
}

std::string AKMMediationConfig::description() const {
    char settings[256];
    std::snprintf(settings, sizeof settings, " refresh:%f transition:%lld", refreshInterval_,
                  static_cast<long long>(bannerAnimationType_));
    std::string entries = "(\n";
    for (const auto& entry : adNetworkConfigs_) entries += "    " + entry->description() + "\n";
    entries += ")";
    return NSObject::description() + ":\nqdata:" + qdata_.value_or("(null)") +
           " adTypeString:" + (adType_ ? adType_->description() : "(null)") + settings + " ad_networks:" + entries;
}
