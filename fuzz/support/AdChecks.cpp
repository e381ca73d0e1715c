#include "support/AdChecks.h"

#include <cmath>
#include <set>
#include <string>
#include <vector>

#include "adkit/foundation/AKURLUtilities.h"
#include "support/FuzzSupport.h"

namespace fuzz {
namespace {

void checkSet(const std::vector<NSURLPtr>& urls, const char* what) {
    std::set<std::string> seen;
    for (const auto& url : urls) {
        check(url != nullptr, what);
        check(!url->absoluteString().empty(), what);
        check(seen.insert(url->absoluteString()).second, what);
    }
}

void checkFetchable(const NSURLPtr& url, const char* what) {
    check(!url || AKHTTPURLFromString(url->absoluteString()) != nullptr, what);
}

}  // namespace

void checkAd(const AKAd& ad) {
    checkSet(ad.clickURLs(), "a click URL set holds a missing, empty or repeated URL");
    checkSet(ad.impressionURLs(), "an impression URL set holds a missing, empty or repeated URL");
    checkSet(ad.manualImpressionURLs(), "a manual impression URL set holds a missing, empty or repeated URL");
    checkFetchable(ad.adURL, "the ad URL is not http or https");
    checkFetchable(ad.adBaseURL, "the base URL is not http or https");
    checkFetchable(ad.adNetworkPassbackURL(), "the passback URL is not http or https");
    check(std::isfinite(ad.reloadInterval) && ad.reloadInterval >= 0, "the reload interval is not a finite positive number");
    check(ad.supportedOrientations >= 0 && ad.supportedOrientations <= 3, "the orientation is not one of the codes");
    check(ad.viewabilityConfigurations.isNull() || ad.viewabilityConfigurations.isDictionary(),
          "the Viewability settings are not a dictionary");
    check(std::isfinite(ad.size.size.width) && std::isfinite(ad.size.size.height), "the ad size is not finite");
}

}  // namespace fuzz
