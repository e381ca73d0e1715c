#include "adkit/requests/AKAd.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <map>
#include <sstream>

#include "adkit/foundation/AKApplication.h"
#include "adkit/foundation/AKMacros.h"
#include "adkit/foundation/AKObjectAdditions.h"
#include "adkit/foundation/AKRequestError.h"
#include "adkit/foundation/AKInternalErrors.h"
#include "adkit/foundation/AKStatisticDictionary.h"
#include "adkit/foundation/AKURLUtilities.h"
#include "adkit/rendering/AKSwipeToViewControllerConfigurations.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/ProcessLifetime.h"
#include "platform/net/HTTPHeaderFields.h"

namespace {

// The key's value when it is a string (a copy: lookups answer values).
std::optional<std::string> stringFor(const Value& dictionary, const std::string& key) {
    const Value value = dictionary[key];
    return value.isString() ? std::optional<std::string>(*value.string()) : std::nullopt;
}

// A URL the ad is fetched from or loaded against: http or https only.
NSURLPtr fetchableURL(const std::optional<std::string>& text) {
    return text ? AKHTTPURLFromString(*text) : nullptr;
}

std::optional<double> finiteNumber(const Value& value) {
    if (!value.isNumber() || !std::isfinite(value.doubleValue())) return std::nullopt;
    return value.doubleValue();
}

// A tracking set holds each URL once and never an empty one (nothing to ping).
void addURLs(std::vector<NSURLPtr>& set, const std::vector<NSURLPtr>& urls) {
    for (const NSURLPtr& url : urls) {
        if (!url || url->absoluteString().empty()) continue;
        bool held = false;
        for (const NSURLPtr& existing : set) held = held || existing->isEqual(*url);
        if (!held) set.push_back(url);
    }
}

AKAdSize adSizeFrom(const Value& text) {
    return AKAdSizeFromCGSize(AKAdSizeFromResponseString(text.isString() ? *text.string() : std::string()));
}

}  // namespace

std::optional<std::string> AKHeaderString(const Value& headers, std::string_view name) {
    const auto fields = headers.dictionaryRef();
    if (!fields) return std::nullopt;
    auto found = fields->find(std::string(name));
    if (found == fields->end()) {
        found = std::find_if(fields->begin(), fields->end(),
                             [&](const auto& field) { return equalsIgnoringASCIICase(field.first, name); });
    }
    if (found == fields->end() || !found->second.isString()) return std::nullopt;
    return *found->second.string();
}

std::optional<double> AKHeaderNumber(const Value& headers, std::string_view name) {
    const auto text = AKHeaderString(headers, name);
    if (!text) return std::nullopt;
    // White space, a sign and a decimal point may come before the first digit.
    const std::string& t = *text;
    std::size_t i = 0;
    while (i < t.size() && std::isspace(static_cast<unsigned char>(t[i]))) ++i;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
    if (i < t.size() && t[i] == '.') ++i;
    if (i >= t.size() || !std::isdigit(static_cast<unsigned char>(t[i]))) return std::nullopt;
    const double number = Value(*text).doubleValue();
    return std::isfinite(number) ? std::optional<double>(number) : std::nullopt;
}

std::int64_t AKSupportedOrientationsFromString(const std::optional<std::string>& text) {
    if (!text) return 0;
    if (*text == "any") return AKSupportedOrientationsAny;
    if (*text == "portrait") return AKSupportedOrientationsPortrait;
    if (*text == "landscape") return AKSupportedOrientationsLandscape;
    return 0;
}

std::vector<NSURLPtr> AKURLsFromWhitespaceSeparatedString(const std::string& text) {
    std::vector<NSURLPtr> urls;
    std::istringstream pieces(text);
    std::string piece;
    while (pieces >> piece) {
        NSURLPtr url = NSURL::URLWithString(piece);
        if (url && !url->absoluteString().empty()) urls.push_back(url);
    }
    return urls;
}

AKAd::AKAd()
    : statistics_(std::make_shared<AKStatisticDictionary>("com.adkit.adnet.statistics",
                                                          AKApplication::sharedApplication())) {}

std::shared_ptr<AKAd> AKAd::initWithDictionary(const Value& dictionary) {
    auto ad = std::make_shared<AKAd>();
    ad->readDictionary(dictionary);
    return ad;
}

void AKAd::readDictionary(const Value& d) {
    const auto html = stringFor(d, "ad_html");
    NSURLPtr base = fetchableURL(stringFor(d, "ad_base_url"));
    if (html && !html->empty() && base) {
        adHTML = *html;
        adBaseURL = base;
    } else {
        adURL = fetchableURL(stringFor(d, "ad_url"));
    }
    size = adSizeFrom(d["ad_size"]);
    const std::int64_t orientation = AKSupportedOrientationsFromString(stringFor(d, "orientation"));
    supportedOrientations = orientation != 0 ? orientation : AKSupportedOrientationsAny;
    if (const Value javaScript = d["ad_is_javascript"]; javaScript.isNumber())
        hasAdNetworkJavaScript_ = javaScript.boolValue();
    if (hasAdNetworkJavaScript_) adNetworkPassbackURL_ = fetchableURL(stringFor(d, "ad_passback_url"));
    if (const auto dialog = stringFor(d, "debug_dialog")) debugDialog = *dialog;
    viewabilityConfigurations = ak_objectForKey(d, "active_view", AKValueKind::Dictionary).copy();
    if (const Value swipe = ak_objectForKey(d, "swipe_to_viewcontroller", AKValueKind::Dictionary))
        swipeToViewControllerConfigurations = AKSwipeToViewControllerConfigurations::initWithSwipeConfigurations(swipe);
    addClickURLsFromArray(AKURLsFromStrings(d["click_urls"]));
    addImpressionURLsFromArray(AKURLsFromStrings(d["impression_urls"]));
    addManualImpressionURLsFromArray(AKURLsFromStrings(d["manual_impression_urls"]));
}

void AKAd::readHTTPHeaders(const Value& headers) {
    const auto header = [&](std::string_view name) { return AKHeaderString(headers, name); };
    if (const auto urls = header("X-Adnet-Click-Tracking-Urls"))
        addClickURLsFromArray(AKURLsFromWhitespaceSeparatedString(*urls));
    if (const auto urls = header("X-Adnet-Tracking-Urls"))
        addImpressionURLsFromArray(AKURLsFromWhitespaceSeparatedString(*urls));
    if (const auto urls = header("X-Adnet-Manual-Tracking-Urls"))
        addManualImpressionURLsFromArray(AKURLsFromWhitespaceSeparatedString(*urls));
    if (const auto json = header("X-Adnet-Viewability"))
        viewabilityConfigurations = AKMacros::readJsonIntoDictionary(*json).value_or(Value());
    if (const std::int64_t orientation = AKSupportedOrientationsFromString(header("X-Adnet-Orientation")))
        supportedOrientations = orientation;
    if (const auto seconds = AKHeaderNumber(headers, "X-Adnet-Refresh-Rate"); seconds && *seconds >= 0)
        reloadInterval = *seconds;
    if (const auto dialog = header("X-Adnet-Debug-Dialog")) debugDialog = *dialog;
    if (const auto adSize = header("X-Adnet-Ad-Size")) customAdSizeString = *adSize;
    const auto disable = header("X-Adnet-Disable-Activation-And-Scroll");
    scrollEnabled = !(disable && Value(*disable).boolValue());
    if (const auto json = header("X-Adnet-Swipe-To-View-Controller")) {
        if (auto settings = AKMacros::readJsonIntoDictionary(*json))
            swipeToViewControllerConfigurations = AKSwipeToViewControllerConfigurations::initWithSwipeConfigurations(*settings);
    }
}

void AKAd::addClickURLsFromArray(const std::vector<NSURLPtr>& urls) { addURLs(clickURLs_, urls); }
void AKAd::addImpressionURLsFromArray(const std::vector<NSURLPtr>& urls) { addURLs(impressionURLs_, urls); }
void AKAd::addManualImpressionURLsFromArray(const std::vector<NSURLPtr>& urls) { addURLs(manualImpressionURLs_, urls); }

std::shared_ptr<AKAdBanner> AKAdBanner::initWithDictionary(const Value& dictionary) {
    auto ad = std::make_shared<AKAdBanner>();
    ad->readDictionary(dictionary);
    if (auto rate = finiteNumber(dictionary["refresh_rate"])) ad->refreshInterval = *rate;
    return ad;
}

std::shared_ptr<AKAdInterstitial> AKAdInterstitial::initWithDictionary(const Value& dictionary) {
    auto ad = std::make_shared<AKAdInterstitial>();
    ad->readDictionary(dictionary);
    return ad;
}

namespace {

using ClassTable = std::map<std::string, std::string>;

const ClassTable& nativeClassesByType() {
    static ProcessLifetime<const ClassTable> table(ClassTable{{"1", "AKNativeContentAd"}, {"2", "AKNativeAppInstallAd"}});
    return *table;
}

NSErrorPtr formatError(const std::string& domain, long code, const std::string& description) {
    return NSError::errorWithDomain(domain, code,
                                    Value{{NSLocalizedDescriptionKey, Value(description)},
                                          {NSLocalizedFailureReasonErrorKey, Value(description)}});
}

}  // namespace

std::optional<std::string> AKAdLoaderClassForAdType(const std::string& adType, NSErrorPtr* error) {
    const auto it = nativeClassesByType().find(adType);
    if (it != nativeClassesByType().end()) return it->second;
    if (error) *error = formatError(AKErrorDomain, 12, "Invalid ad format requested: \"" + adType + "\".");
    return std::nullopt;
}

std::optional<std::string> AKNativeAdClassForFormat(const std::string& format, std::int64_t templateNumber,
                                                    NSErrorPtr* error) {
    static ProcessLifetime<const std::map<std::string, ClassTable>> formats(
        std::map<std::string, ClassTable>{{"native", nativeClassesByType()}});
    const std::string templateText = std::to_string(templateNumber);
    if (const auto f = formats->find(format); f != formats->end()) {
        if (const auto t = f->second.find(templateText); t != f->second.end()) return t->second;
    }
    if (error)
        *error = formatError(AKPrivateErrorDomain, 3,
                             "Invalid ad format requested: \"" + format + "\", " + templateText + ".");
    return std::nullopt;
}
