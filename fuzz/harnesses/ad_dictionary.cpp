// Ad dictionaries as the core page and the request extras hand them over:
// JSON read into a value and made into AKAd, AKAdBanner and AKAdInterstitial.
// Whatever the JSON, the three read its keys alike, and each ad holds what an
// ad promises (sets without repeats, http(s) URLs only, finite numbers).
#include <cmath>

#include "Harnesses.h"
#include "adkit/requests/AKAd.h"
#include "support/AdChecks.h"
#include "support/FuzzSupport.h"

namespace fuzz::ad_dictionary {

int fuzzOne(const std::uint8_t* data, std::size_t size) {
    const auto value = Value::fromJSON(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!value) return 0;
    const auto ad = AKAd::initWithDictionary(*value);
    const auto banner = AKAdBanner::initWithDictionary(*value);
    const auto interstitial = AKAdInterstitial::initWithDictionary(*value);
    for (const AKAd* each : {static_cast<const AKAd*>(ad.get()), static_cast<const AKAd*>(banner.get()),
                             static_cast<const AKAd*>(interstitial.get())}) {
        check(each != nullptr, "no ad for a dictionary");
        checkAd(*each);
        check(each->supportedOrientations >= 1, "a dictionary ad without an orientation");
        check(each->adHTML.has_value() == (each->adBaseURL != nullptr), "HTML without a base URL, or the reverse");
        check(!each->adHTML || !each->adURL, "both HTML and an ad URL");
        check(each->hasAdNetworkJavaScript() || !each->adNetworkPassbackURL(), "a passback URL of a plain ad");
        check(each->clickURLs().size() == ad->clickURLs().size() && each->adHTML == ad->adHTML &&
                  each->size.size.width == ad->size.size.width && each->debugDialog == ad->debugDialog,
              "the ad classes read one dictionary differently");
    }
    check(std::isfinite(banner->refreshInterval), "a banner refresh interval that is not finite");
    return 0;
}

}  // namespace fuzz::ad_dictionary
