#pragma once
// The parsed mediation response: AKMMediationConfig (the response-wide
// settings, the slot's AKMConfig) and its ad network entries AKMAdNetworkConfig,
// each of which also picks the linked adapter class that serves its network.
//
// Parsing: "ad_type" gives the ad type (an unknown or missing name gives the
// banner type of the invalid size); "settings" (when an object) gives refresh
// (30000 s or more: 0), the network time-out in milliseconds (0 or below keeps
// 10 s), the banner transition 0..8 (default 8) and the ping template lists;
// "qdata"; "ad_networks" (must be an array: else AKRequestError code 7) whose
// object elements become entries. An entry without a usable "id" fails the
// whole configuration (code 7); adapter problems give code 8, logged as a
// publisher line, and the entry stays.
//
// Values read as text ("qdata", "allocation_id", adapter names and the text
// credentials) are used only when they are text; a number gives its decimal
// text; anything else counts as missing.
//
// Built once per response, read-only afterwards except the ad type. Main thread.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "adkit/requests/AKAdType.h"
#include "adkit/requests/AKSlotServices.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/Value.h"

class AKMAdNetworkConfig : public NSObject {
public:
    // Null on a code 7 failure; an entry may come back with a code 8 error.
    static std::shared_ptr<AKMAdNetworkConfig> initWithDictionary(const Value& dictionary, NSErrorPtr* error);

    const std::string& networkID() const { return networkID_; }
    // credentials["pubid"]; nullopt when absent.
    std::optional<std::string> publisherID() const;
    const Value& credentials() const { return credentials_; }
    const Value& extras() const { return extras_; }
    const Value& ad() const { return ad_; }
    const std::vector<std::string>& adapterList() const { return adapterList_; }
    // Whether the entry gave an "adapters" array at all (an entry without one
    // still lists no names).
    bool hasAdapterList() const { return hasAdapterList_; }
    // The chosen adapter class name; nullopt when none qualified.
    const std::optional<std::string>& adapterClass() const { return adapterClass_; }
    const std::optional<std::string>& allocationID() const { return allocationID_; }
    // Null when the entry has none (an empty array is its own).
    const Value& impressionURLs() const { return impressionURLs_; }
    std::string description() const override;

private:
    NSErrorPtr chooseAdapter();

    std::string networkID_;
    Value credentials_;
    Value extras_;
    Value ad_;
    std::vector<std::string> adapterList_;
    bool hasAdapterList_ = false;
    std::optional<std::string> adapterClass_;
    std::optional<std::string> allocationID_;
    Value impressionURLs_;
};
using AKMAdNetworkConfigPtr = std::shared_ptr<AKMAdNetworkConfig>;

class AKMMediationConfig : public AKMConfig {
public:
    static constexpr double kDefaultAdNetworkTimeout = 10.0;
    static constexpr std::int64_t kDefaultBannerAnimationType = 8;

    // initWithAppKey:configDict:error:, null with the error set on failure.
    static std::shared_ptr<AKMMediationConfig> initWithAppKey(const std::string& appKey, const Value& configDict,
                                                              NSErrorPtr* error);
    // Installs initWithAppKey as AKMConfig's factory (AKSlotServices.h).
    static void installFactory();

    static AKAdTypePtr peekAdTypeFromConfig(const Value& configDict);
    static AKAdTypePtr adTypeFromString(const std::optional<std::string>& name);

    const std::vector<AKMAdNetworkConfigPtr>& adNetworkConfigs() const { return adNetworkConfigs_; }
    double refreshInterval() const override { return refreshInterval_; }
    void setRefreshInterval(double seconds) { refreshInterval_ = seconds < 30000 ? seconds : 0; }
    std::int64_t bannerAnimationType() const { return bannerAnimationType_; }
    double adNetworkTimeout() const { return adNetworkTimeout_; }
    const Value& impressionURLs() const { return impressionURLs_; }
    const Value& clickURLs() const { return clickURLs_; }
    const Value& noFillURLs() const { return noFillURLs_; }
    const std::optional<std::string>& qdata() const { return qdata_; }
    AKAdTypePtr adType() const override { return adType_; }
    void setAdType(const AKAdTypePtr& type) override { adType_ = type; }
    const std::string& appKey() const { return appKey_; }
    std::string description() const override;

private:
    void readSettings(const Value& settings);
    NSErrorPtr readAdNetworks(const Value& networks);

    std::vector<AKMAdNetworkConfigPtr> adNetworkConfigs_;
    double refreshInterval_ = 0;
    std::int64_t bannerAnimationType_ = kDefaultBannerAnimationType;
    double adNetworkTimeout_ = kDefaultAdNetworkTimeout;
    Value impressionURLs_;
    Value clickURLs_;
    Value noFillURLs_;
    std::optional<std::string> qdata_;
    AKAdTypePtr adType_;
    std::string appKey_;
};
using AKMMediationConfigPtr = std::shared_ptr<AKMMediationConfig>;

// A value read as text: a string, or a number's decimal text; else nullopt.
std::optional<std::string> AKMTextValue(const Value& value);
