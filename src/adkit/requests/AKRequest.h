#pragma once
// The ad request a publisher fills (test devices, gender, birthday, keywords,
// location, content URL, child-directed flag, network extras) and hands to a
// banner or interstitial, and the flat parameter dictionary made from it and
// the device facts, which the slot completes and the core page turns into the
// ad URL. Also the SDK version strings.
//
// Class initialisation (the first request made, or `initialize()` at start-up;
// once per process): installs the SDK version provider of ad rendering
// (AKSDKInfo), runs AKApplication's early activities, then writes one
// publisher log line about test ads.
//
// Extras and loads: `takeExtrasForLoad()` is the one operation that consumes
// "_useOnce" additional parameters; the slot calls it once at the start of a
// load and builds that load's parameters with `parametersWithExtras`. Every
// other read (`additionalParameters`, `parameters`, `description`, logs) only
// looks. Steering values taken from the extras are type-checked: a value of
// the wrong type counts as missing, and "_requestUrl" must be an http(s) URL.
//
// Threads: any; the fields are guarded by the request's lock. Building the
// parameters hops synchronously to the main thread for the signal component
// (never call it on the main queue while that thread waits on the caller).
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "adkit/foundation/AKLocation.h"
#include "adkit/foundation/AKRequestParameters.h"
#include "adkit/requests/AKAdNetExtras.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSURL.h"
#include "platform/foundation/Value.h"

// The optional analytics class "ANAAdNetInfo" (another library): registered in
// the ClassRegistry under that name, its objects answer `adNetInfo`.
class AKAnalyticsAdNetInfo {
public:
    virtual ~AKAnalyticsAdNetInfo() = default;
    virtual Value adNetInfo() = 0;
};

// What a load takes from the request's additional parameters, at its start.
struct AKRequestLoadExtras {
    Value parameters;      // the dictionary sent as "extras"; null when none
    Value ad;              // "_ad" when a dictionary, else null
    Value adHeaders;       // "_adHeaders" when a dictionary, else null
    std::int64_t orientation = 0;  // "_orientation": 2 for "p", 3 for "l", else 0
    NSURLPtr requestURL;   // "_requestUrl" when an http or https URL, else null
};

class AKRequest : public NSObject, public AKRequestParametersSource {
public:
    AKRequest();
    static std::shared_ptr<AKRequest> request();
    std::shared_ptr<AKRequest> copy() const;
    static void initialize();
    // The publisher log line of class initialisation about test ads on this device.
    static std::string testAdsHint();

    // The library's version numbers, which the version strings carry.
    static constexpr int kSDKVersionMajor = 6, kSDKVersionMinor = 12, kSDKVersionPatch = 2;
    static const std::string& sdkVersion();
    static const std::string& sdkVersionIdentifiers();
    static const std::string& sdkVersionMetadata();
    static const std::string& extendedSDKVersionNumber();

    // Targeting.
    bool testing() const;
    void setTesting(bool testing);
    std::vector<std::string> testDevices() const;
    void setTestDevices(std::vector<std::string> devices);
    std::int64_t gender() const;
    void setGender(std::int64_t gender);
    std::optional<Date> birthday() const;
    void setBirthday(std::optional<Date> birthday);
    void setBirthdayWithMonth(std::int64_t month, std::int64_t day, std::int64_t year);
    Value keywords() const;  // an array of strings, or null
    void setKeywords(const Value& keywords);
    void addKeyword(const std::string& keyword);
    std::optional<std::string> contentURL() const;
    void setContentURL(std::optional<std::string> url);
    AKLocationPtr location() const;
    void setLocation(AKLocationPtr location);
    void setLocationWithLatitude(double latitude, double longitude, double accuracy);
    void setLocationWithDescription(const std::string& description);
    std::optional<bool> childDirectedTreatment() const;
    void tagForChildDirectedTreatment(bool childDirected);
    Value mediationExtras() const;
    void setMediationExtras(const Value& extras);
    Value privateMediationExtras() const;
    void setPrivateMediationExtras(const Value& extras);
    Value formatParameters() const;
    void setFormatParameters(const Value& parameters);
    std::int64_t responseType() const;
    void setResponseType(std::int64_t type);
    bool isATestDevice() const;
    std::string description() const override;

    // Network extras, registered under their class name.
    void registerAdNetworkExtras(const std::shared_ptr<AKAdNetworkExtras>& extras);
    std::shared_ptr<AKAdNetworkExtras> adNetworkExtrasFor(const std::string& className) const;
    void removeAdNetworkExtrasFor(const std::string& className);
    std::shared_ptr<AKAdNetExtras> networkExtras() const;
    void setAdditionalParameters(const Value& parameters);
    // The additional parameters, without consuming "_useOnce" ones.
    Value additionalParameters() const;
    // The additional parameters for the load that starts now; "_useOnce" ones
    // (a true number) leave the request as they are taken.
    AKRequestLoadExtras takeExtrasForLoad();

    // Value conversions.
    std::optional<std::string> genderString() const;
    std::optional<std::string> birthdayString() const;  // "yyyyMMdd", Gregorian, POSIX digits
    std::optional<std::string> contentURLString() const;
    static Value analyticsIDs();

    // The parameter dictionary with `extras` as "extras" (null: none).
    Value parametersWithExtras(const Value& extras) const;
    // The same with the current additional parameters (nothing consumed).
    Value parameters() const override;

private:
    std::shared_ptr<AKAdNetExtras> registeredExtrasLocked(const std::string& className) const;
    void addTargetingParameters(Value& parameters) const;

    mutable std::mutex mutex_;
    bool testing_ = false;
    std::vector<std::string> testDevices_;
    std::int64_t gender_ = 0;
    std::optional<Date> birthday_;
    Value keywords_;
    std::optional<std::string> contentURL_;
    AKLocationPtr location_;
    std::optional<bool> childDirectedTreatment_;
    std::map<std::string, std::shared_ptr<AKAdNetworkExtras>> networkExtrasMap_;
    Value mediationExtras_, privateMediationExtras_, formatParameters_;
    std::int64_t responseType_ = 0;
};

// The pair the signal component's text adds: split at "=", the first two
// pieces when both are non-empty (further pieces are ignored).
std::optional<std::pair<std::string, std::string>> AKRequestSignalPair(const std::string& text);

// The key under which the signal component's output travels.
inline constexpr const char* AKRequestSignalKey = "ms";

// The parameters when every value outside "extras" can be written as JSON
// (the core page turns non-JSON extras into strings); nullopt with the reason
// otherwise (a NaN location or mediation extra): the slot fails the load.
[[nodiscard]] std::optional<Value> AKRequestJSONReadyParameters(const Value& parameters, std::string* failure = nullptr);
