#pragma once
// One ad response as a slot holds it: the HTML or URL to render, the size and
// orientations it asks for, its tracking URL sets, its Viewability and swipe
// settings, its refresh interval and its own statistics. Made from the core
// page's ad dictionary (AKAd, or AKAdBanner / AKAdInterstitial for a request's
// "_ad" extra), or empty with only an ad URL; in both cases completed from the
// response headers (readHTTPHeaders) and body by the fetcher.
//
// What is read is type-checked: a value of another type than the one expected
// counts as missing, so do numbers that are not finite. URLs the ad is fetched
// from or loaded against (ad URL, base URL, passback URL) are taken only with
// an http or https scheme. Main thread, as the slot that owns the ad.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "adkit/rendering/AKSupportedOrientations.h"
#include "adkit/requests/AKAdSize.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSURL.h"
#include "platform/foundation/Value.h"

class AKStatisticDictionary;
class AKSwipeToViewControllerConfigurations;

// Response types.
enum AKAdResponseType : std::uint64_t {
    AKAdResponseTypeError = 0,
    AKAdResponseTypeHTML = 1,
    AKAdResponseTypeMediation = 2,
    AKAdResponseTypeNative = 3,
    AKAdResponseTypeCustomRendering = 4,
};

// The URLs of the whitespace-separated pieces that make one (order kept);
// empty (nil) when none does.
std::vector<NSURLPtr> AKURLsFromWhitespaceSeparatedString(const std::string& text);

// The text of a header in a header dictionary (an HTTP response's fields, or
// the core page's "header" object): the name matches in any letter case (the
// exact spelling first), and a value that is not a string counts as missing.
std::optional<std::string> AKHeaderString(const Value& headers, std::string_view name);
// The number a header's text begins with (the platform's leading-decimal
// reading); missing when the text does not begin with digits ("inf", "nan",
// words) or the number is not finite.
std::optional<double> AKHeaderNumber(const Value& headers, std::string_view name);

// Orientation text of a response: "any" 1, "portrait" 2, "landscape" 3;
// 0 for anything else, empty or missing text included.
std::int64_t AKSupportedOrientationsFromString(const std::optional<std::string>& text);

class AKAd : public NSObject {
public:
    // init: empty URL sets, scrolling enabled, statistics told to AKApplication.
    AKAd();
    // initWithDictionary:
    static std::shared_ptr<AKAd> initWithDictionary(const Value& dictionary);
    // The response headers' fields of the ad (the fetcher sets the response type
    // and the user defaults). Names match in any letter case; a header that is
    // absent, or not a string, leaves its field as it was (scrolling excepted:
    // absent means enabled), so an absent swipe header makes no configuration.
    void readHTTPHeaders(const Value& headers);

    // Each a set: a URL already held (same absolute text) is not added again, an
    // empty one never; order of arrival kept.
    const std::vector<NSURLPtr>& clickURLs() const { return clickURLs_; }
    const std::vector<NSURLPtr>& impressionURLs() const { return impressionURLs_; }
    const std::vector<NSURLPtr>& manualImpressionURLs() const { return manualImpressionURLs_; }
    void addClickURLsFromArray(const std::vector<NSURLPtr>& urls);
    void addImpressionURLsFromArray(const std::vector<NSURLPtr>& urls);
    void addManualImpressionURLsFromArray(const std::vector<NSURLPtr>& urls);

    bool scrollEnabled = true;
    bool MRAIDEnabled = false;
    bool hasAdNetworkJavaScript() const { return hasAdNetworkJavaScript_; }
    const std::shared_ptr<AKStatisticDictionary>& statistics() const { return statistics_; }
    NSURLPtr adBaseURL;
    std::optional<std::string> adHTML;
    NSURLPtr adURL;
    Value viewabilityConfigurations;  // a dictionary or null
    std::shared_ptr<AKSwipeToViewControllerConfigurations> swipeToViewControllerConfigurations;
    std::uint64_t responseType = AKAdResponseTypeError;
    double reloadInterval = 0;
    std::int64_t supportedOrientations = 0;
    std::optional<std::string> debugDialog;
    std::optional<std::string> customAdSizeString;
    const NSURLPtr& adNetworkPassbackURL() const { return adNetworkPassbackURL_; }
    AKAdSize size;

protected:
    void readDictionary(const Value& dictionary);

private:
    std::vector<NSURLPtr> clickURLs_, impressionURLs_, manualImpressionURLs_;
    bool hasAdNetworkJavaScript_ = false;
    std::shared_ptr<AKStatisticDictionary> statistics_;
    NSURLPtr adNetworkPassbackURL_;
};

class AKAdBanner : public AKAd {
public:
    // AKAd's keys, then "refresh_rate" when a finite number.
    static std::shared_ptr<AKAdBanner> initWithDictionary(const Value& dictionary);
    double refreshInterval = 0;
};

class AKAdInterstitial : public AKAd {
public:
    static std::shared_ptr<AKAdInterstitial> initWithDictionary(const Value& dictionary);
};

// The native ad class name for an ad-loader type ("1", "2"); nothing and a
// code 12 error of "com.adkit.ads" for another type.
std::optional<std::string> AKAdLoaderClassForAdType(const std::string& adType, NSErrorPtr* error = nullptr);
// The native ad class name for a response format and template number; nothing
// and a private code 3 error otherwise.
std::optional<std::string> AKNativeAdClassForFormat(const std::string& format, std::int64_t templateNumber,
                                                    NSErrorPtr* error = nullptr);
