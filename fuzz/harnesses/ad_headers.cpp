// Ad response headers as the fetcher reads them: "Name: value" lines make a
// header dictionary (the first byte's bits turn the values of lines 0-7, 8-15,
// ... into numbers, as a page's JSON may carry them). The response type and
// the ad's fields read from it must hold for any headers, a second pass must
// add nothing the first did not, and names read alike in any letter case.
#include <string>

#include "Harnesses.h"
#include "adkit/requests/AKAd.h"
#include "adkit/requests/AKAdFetcher.h"
#include "platform/foundation/NSString.h"
#include "platform/net/HTTPHeaderFields.h"
#include "support/AdChecks.h"
#include "support/FuzzSupport.h"

namespace fuzz::ad_headers {
namespace {

std::vector<std::string> texts(const std::vector<NSURLPtr>& urls) {
    std::vector<std::string> out;
    for (const auto& url : urls) out.push_back(url->absoluteString());
    return out;
}

bool sameFields(const AKAd& a, const AKAd& b) {
    return texts(a.clickURLs()) == texts(b.clickURLs()) && texts(a.impressionURLs()) == texts(b.impressionURLs()) &&
           texts(a.manualImpressionURLs()) == texts(b.manualImpressionURLs()) &&
           a.viewabilityConfigurations == b.viewabilityConfigurations &&
           a.supportedOrientations == b.supportedOrientations && a.reloadInterval == b.reloadInterval &&
           a.debugDialog == b.debugDialog && a.customAdSizeString == b.customAdSizeString &&
           a.scrollEnabled == b.scrollEnabled &&
           (a.swipeToViewControllerConfigurations == nullptr) == (b.swipeToViewControllerConfigurations == nullptr);
}

// The type and the ad the headers make; the type's error checked.
std::uint64_t read(const Value& headers, AKAd& ad) {
    AKRequestErrorPtr error;
    const std::uint64_t type = AKAdFetcher::adResponseTypeFromHeaders(headers, nullptr, &error);
    check(type <= AKAdResponseTypeCustomRendering, "a response type out of range");
    check((type == AKAdResponseTypeError) == (error != nullptr), "a type error without type 0, or type 0 without error");
    check(!error || error->code() == 3, "a refused type with another code than 3");
    ad.readHTTPHeaders(headers);
    checkAd(ad);
    return type;
}

}  // namespace

int fuzzOne(const std::uint8_t* data, std::size_t size) {
    ByteReader input(data, size);
    const std::uint8_t numbers = input.take();
    ValueDictionary fields;
    std::size_t index = 0;
    for (const auto& line : componentsSeparatedByString(input.rest(), "\n")) {
        const auto colon = line.find(':');
        if (colon == std::string::npos) continue;
        const std::string name = stringByTrimmingWhitespace(line.substr(0, colon));
        const Value text(stringByTrimmingWhitespaceAndNewlines(line.substr(colon + 1)));
        const bool asNumber = (numbers >> (index++ / 8 % 8)) & 1u;
        fields[name] = asNumber ? Value(text.doubleValue()) : text;
    }
    const Value headers(fields);

    AKAd ad;
    const std::uint64_t type = read(headers, ad);
    AKAd twice;
    (void)read(headers, twice);
    (void)read(headers, twice);
    check(sameFields(ad, twice), "a second pass over the same headers changed the ad");

    HTTPHeaderFields folded;  // one entry per name in any letter case
    ValueDictionary lowered;
    for (const auto& [name, value] : fields) {
        folded.emplace(name, "");
        lowered[asciiLowercase(name)] = value;
    }
    if (folded.size() == fields.size()) {
        AKAd lower;
        check(read(Value(lowered), lower) == type, "lower-case names give another response type");
        check(sameFields(ad, lower), "lower-case names give another ad");
    }
    return 0;
}

}  // namespace fuzz::ad_headers
