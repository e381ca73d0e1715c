#include "adkit/requests/AKRequest.h"

#include <cstdio>

#include "adkit/foundation/AKApplication.h"
#include "adkit/foundation/AKDevice.h"
#include "adkit/foundation/AKMacros.h"
#include "adkit/foundation/AKURLUtilities.h"
#include "adkit/rendering/AKSDKInfo.h"
#include "platform/foundation/NSDateFormatter.h"

namespace {
constexpr int kMajor = AKRequest::kSDKVersionMajor, kMinor = AKRequest::kSDKVersionMinor,
              kBugFix = AKRequest::kSDKVersionPatch;

std::string formatted(const char* format, auto... arguments) {
    char buffer[128];
    std::snprintf(buffer, sizeof buffer, format, arguments...);
    return buffer;
}

// "p" and "l" name the full-screen orientations 2 (portrait) and 3 (landscape).
std::int64_t orientationCode(const Value& value) {
    const std::string* text = value.string();
    if (!text) return 0;
    return *text == "p" ? 2 : *text == "l" ? 3 : 0;
}

NSURLPtr httpURL(const Value& value) {
    if (const std::string* text = value.string()) return AKHTTPURLFromString(*text);
    const auto url = value.objectAs<NSURL>();
    return url ? AKHTTPURLFromString(url->absoluteString()) : nullptr;
}

Value dictionaryOrNull(const Value& value) { return value.isDictionary() ? value : Value(); }
}  // namespace

void AKRequest::initialize() {
    static std::once_flag once;
    std::call_once(once, [] {
        AKSDKInfo::setSDKVersionProvider([] { return AKRequest::sdkVersion(); });
        AKApplication::sharedApplication()->runEarlyActivities();
        AKMacros::pubLog(testAdsHint());
    });
}

std::string AKRequest::testAdsHint() {
    if (!AKDevice::isOSAtLeastMajor(6, 0, 0)) return "Test ads are only available on iOS 6+.";
    const std::string identifier = AKDevice::currentDevice()->deviceIdentifier();
    if (identifier.empty()) {
        return "Advertising tracking may be disabled. To get test ads on this device, enable advertising tracking.";
    }
    return "To get test ads on this device, call: request.testDevices = @[ @\"" + identifier + "\" ];";
}

AKRequest::AKRequest() { initialize(); }

std::shared_ptr<AKRequest> AKRequest::request() { return std::make_shared<AKRequest>(); }

std::shared_ptr<AKRequest> AKRequest::copy() const {
    auto other = request();
    std::lock_guard lock(mutex_);
    other->testDevices_ = testDevices_;
    other->testing_ = testing_;
    other->formatParameters_ = formatParameters_;
    other->networkExtrasMap_ = networkExtrasMap_;  // the same extras objects
    other->mediationExtras_ = mediationExtras_;
    other->privateMediationExtras_ = privateMediationExtras_;
    other->gender_ = gender_;
    other->birthday_ = birthday_;
    other->location_ = location_;
    other->keywords_ = keywords_.copy();
    other->childDirectedTreatment_ = childDirectedTreatment_;
    other->contentURL_ = contentURL_;
    other->responseType_ = responseType_;
    return other;
}

const std::string& AKRequest::sdkVersion() {
    static const std::string version = formatted("adnet-sdk-i-v%d.%d.%d", kMajor, kMinor, kBugFix);
    return version;
}

const std::string& AKRequest::sdkVersionIdentifiers() {
    static const std::string identifiers = "-rc.1";
    return identifiers;
}

const std::string& AKRequest::sdkVersionMetadata() {
    static const std::string metadata = "+6074";
    return metadata;
}

const std::string& AKRequest::extendedSDKVersionNumber() {
    static const std::string version = sdkVersion() + sdkVersionIdentifiers() + sdkVersionMetadata();
    return version;
}

#define AK_REQUEST_ACCESSOR(Type, getter, setter, field) \
    Type AKRequest::getter() const {                     \
        std::lock_guard lock(mutex_);                    \
        return field;                                    \
    }                                                    \
    void AKRequest::setter(Type value) {                 \
        std::lock_guard lock(mutex_);                    \
        field = std::move(value);                        \
    }
AK_REQUEST_ACCESSOR(bool, testing, setTesting, testing_)
AK_REQUEST_ACCESSOR(std::vector<std::string>, testDevices, setTestDevices, testDevices_)
AK_REQUEST_ACCESSOR(std::int64_t, gender, setGender, gender_)
AK_REQUEST_ACCESSOR(std::optional<Date>, birthday, setBirthday, birthday_)
AK_REQUEST_ACCESSOR(std::optional<std::string>, contentURL, setContentURL, contentURL_)
AK_REQUEST_ACCESSOR(AKLocationPtr, location, setLocation, location_)
AK_REQUEST_ACCESSOR(std::int64_t, responseType, setResponseType, responseType_)
#undef AK_REQUEST_ACCESSOR

#define AK_REQUEST_VALUE_ACCESSOR(getter, setter, field) \
    Value AKRequest::getter() const {                    \
        std::lock_guard lock(mutex_);                    \
        return field.copy();                             \
    }                                                    \
    void AKRequest::setter(const Value& value) {         \
        std::lock_guard lock(mutex_);                    \
        field = value.copy();                            \
    }
AK_REQUEST_VALUE_ACCESSOR(keywords, setKeywords, keywords_)
AK_REQUEST_VALUE_ACCESSOR(mediationExtras, setMediationExtras, mediationExtras_)
AK_REQUEST_VALUE_ACCESSOR(privateMediationExtras, setPrivateMediationExtras, privateMediationExtras_)
AK_REQUEST_VALUE_ACCESSOR(formatParameters, setFormatParameters, formatParameters_)
#undef AK_REQUEST_VALUE_ACCESSOR

void AKRequest::setBirthdayWithMonth(std::int64_t month, std::int64_t day, std::int64_t year) {
    NSDateFormatter formatter;
    formatter.setLocaleIdentifier("en_US_POSIX");
    formatter.setDateFormat("yyyy-MM-dd");
    const auto text = formatted("%04lld-%02lld-%02lld", static_cast<long long>(year), static_cast<long long>(month),
                                static_cast<long long>(day));
    setBirthday(formatter.dateFromString(text));  // components that name no day leave no birthday
}

void AKRequest::addKeyword(const std::string& keyword) {
    if (keyword.empty()) return;
    std::lock_guard lock(mutex_);
    if (!keywords_.isArray()) keywords_ = Value::array();
    keywords_.append(keyword);
}

void AKRequest::setLocationWithLatitude(double latitude, double longitude, double accuracy) {
    setLocation(AKLocation::initWithLatitude(latitude, longitude, accuracy));
}

void AKRequest::setLocationWithDescription(const std::string& description) {
    setLocation(AKLocation::initWithLocationDescription(description));
}

std::optional<bool> AKRequest::childDirectedTreatment() const {
    std::lock_guard lock(mutex_);
    return childDirectedTreatment_;
}

void AKRequest::tagForChildDirectedTreatment(bool childDirected) {
    std::lock_guard lock(mutex_);
    childDirectedTreatment_ = childDirected;
}

bool AKRequest::isATestDevice() const {
    const std::string identifier =
        AKDevice::isOSAtLeastMajor(6, 0, 0) ? AKDevice::currentDevice()->deviceIdentifier() : std::string();
    for (const std::string& device : testDevices()) {
        if (!device.empty() && device == identifier) return true;
    }
    return false;
}

std::string AKRequest::description() const {
    char address[32];
    std::snprintf(address, sizeof address, "%p", static_cast<const void*>(this));
    std::string text = "<" + className() + " " + address + ": ";
    const std::int64_t sex = gender();
    if (sex == 1) text += "\ngender:Male";
    if (sex == 2) text += "\ngender:Female";
    if (const auto date = birthday()) text += "\nbirthday:" + Value(*date).description();
    if (const auto place = location()) text += "\nlocation:" + place->description();
    if (const Value words = keywords()) text += "\nkeywords:" + words.description();
    if (const Value extras = additionalParameters()) text += "\nadditionalParameters:" + extras.description();
    return text + ">";
}

void AKRequest::registerAdNetworkExtras(const std::shared_ptr<AKAdNetworkExtras>& extras) {
    if (!extras) {
        AKMacros::pubLog("Must specify extras for registerAdNetworkExtras:.");
        return;
    }
    std::lock_guard lock(mutex_);
    networkExtrasMap_[extras->className()] = extras;
}

std::shared_ptr<AKAdNetworkExtras> AKRequest::adNetworkExtrasFor(const std::string& className) const {
    std::lock_guard lock(mutex_);
    const auto found = networkExtrasMap_.find(className);
    return found == networkExtrasMap_.end() ? nullptr : found->second;
}

void AKRequest::removeAdNetworkExtrasFor(const std::string& className) {
    std::lock_guard lock(mutex_);
    networkExtrasMap_.erase(className);
}

std::shared_ptr<AKAdNetExtras> AKRequest::registeredExtrasLocked(const std::string& className) const {
    const auto found = networkExtrasMap_.find(className);
    return found == networkExtrasMap_.end() ? nullptr : std::dynamic_pointer_cast<AKAdNetExtras>(found->second);
}

std::shared_ptr<AKAdNetExtras> AKRequest::networkExtras() const {
    std::lock_guard lock(mutex_);
    if (auto publisherManaged = registeredExtrasLocked(NSStringFromClass<PMAExtras>())) return publisherManaged;
    return registeredExtrasLocked(NSStringFromClass<AKAdNetExtras>());
}

void AKRequest::setAdditionalParameters(const Value& parameters) {
    auto extras = std::make_shared<AKAdNetExtras>();
    extras->setAdditionalParameters(parameters);
    registerAdNetworkExtras(extras);
}

Value AKRequest::additionalParameters() const {
    const auto extras = networkExtras();
    return extras ? extras->additionalParameters() : Value();
}

AKRequestLoadExtras AKRequest::takeExtrasForLoad() {
    AKRequestLoadExtras taken;
    {
        std::lock_guard lock(mutex_);
        if (auto publisherManaged = registeredExtrasLocked(NSStringFromClass<PMAExtras>())) {
            taken.parameters = publisherManaged->additionalParameters();
        } else if (auto plain = registeredExtrasLocked(NSStringFromClass<AKAdNetExtras>())) {
            taken.parameters = plain->additionalParameters();
            const Value useOnce = taken.parameters["_useOnce"];
            if (useOnce.isNumber() && useOnce.boolValue()) networkExtrasMap_.erase(NSStringFromClass<AKAdNetExtras>());
        }
    }
    if (!taken.parameters.isDictionary()) taken.parameters = Value();
    taken.ad = dictionaryOrNull(taken.parameters["_ad"]);
    taken.adHeaders = dictionaryOrNull(taken.parameters["_adHeaders"]);
    taken.orientation = orientationCode(taken.parameters["_orientation"]);
    taken.requestURL = httpURL(taken.parameters["_requestUrl"]);
    return taken;
}
