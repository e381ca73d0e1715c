// The core controller's texts: the request parameters as JSON for the page,
// and the page's constants applied.
//
// Constants, in this order (values are the page's texts; a wrong type counts
// as missing): the three rich-media script paths (AKMRAIDInterceptor; missing
// or not an http(s) URL: none), "mraid_disable_redirect" ("1" disallows the
// redirect, anything else allows it), "active_view_sampling_intervals" (when
// present: a JSON list of finite numbers, else none), the count of
// "discardable_storekitcontroller_cache_size" (a whole text that reads as a
// finite number of at least 0) and four texts kept in the user defaults when
// not empty.
#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "adkit/foundation/AKApplication.h"
#include "adkit/foundation/AKMacros.h"
#include "adkit/foundation/AKURLUtilities.h"
#include "adkit/rendering/AKMRAIDInterceptor.h"
#include "adkit/requests/AKSDKCoreController.h"
#include "platform/base/ThreadAssertions.h"
#include "platform/foundation/NSUserDefaults.h"

namespace {

std::optional<std::string> textFor(const Value& constants, const std::string& key) {
    const Value value = constants[key];
    const std::string* text = value.string();
    if (!text || text->empty()) return std::nullopt;
    return *text;
}

std::optional<std::string> scriptPathFor(const Value& constants, const std::string& key) {
    auto text = textFor(constants, key);
    if (!text || !AKHTTPURLFromString(*text)) return std::nullopt;
    return text;
}

// Present: the list when every element is a finite number (not a boolean); nullopt otherwise.
std::optional<std::vector<double>> samplingIntervals(const std::string& text) {
    auto decoded = Value::fromJSON(text);
    if (!decoded || !decoded->isArray()) return std::nullopt;
    std::vector<double> intervals;
    for (std::size_t i = 0; i < decoded->count(); ++i) {
        const Value item = (*decoded)[i];
        if (!item.isNumber() || item.isBool() || !std::isfinite(item.doubleValue())) return std::nullopt;
        intervals.push_back(item.doubleValue());
    }
    return intervals;
}

std::optional<std::uint64_t> cacheSize(const std::string& text) {
    if (text.empty() || std::isspace(static_cast<unsigned char>(text.front()))) return std::nullopt;
    errno = 0;
    char* end = nullptr;
    const double number = std::strtod(text.c_str(), &end);
    if (errno != 0 || end != text.c_str() + text.size() || !std::isfinite(number) || number < 0 || number > 1e9)
        return std::nullopt;
    return static_cast<std::uint64_t>(number);
}

// Values of "extras" that JSON cannot carry: URLs as their absolute strings, the rest as their descriptions.
Value mendedExtras(const Value& extras, bool& mended) {
    Value copy = extras.copy();
    for (const auto& [key, value] : *extras.dictionaryRef()) {
        if (auto URL = value.objectAs<NSURL>()) {
            copy.setObject(key, Value(URL->absoluteString()));
            mended = true;
        } else if (!Value({{"v", value}}).toJSON()) {
            copy.setObject(key, Value(value.description()));
            mended = true;
        }
    }
    return copy;
}

}  // namespace

std::string AKSDKCoreController::adRequestParameterJSONFromParameters(const Value& parameters) {
    if (!parameters.isDictionary()) return {};
    const Value extras = parameters["extras"];
    if (!extras.isDictionary() || extras.count() == 0) return AKMacros::dictionaryToJSONString(parameters);
    bool mended = false;
    Value fixed = mendedExtras(extras, mended);
    if (!mended) return AKMacros::dictionaryToJSONString(parameters);
    Value copy = parameters.copy();
    copy.setObject("extras", fixed);
    return AKMacros::dictionaryToJSONString(copy);
}

void AKSDKCoreController::SDKCoreAMSGHandlerLoadSDKConstants(AKSDKCoreAMSGHandler& handler, const Value& constants) {
    const auto page = activeSDKCoreWebView();
    if (page->SDKCoreAMSGHandler().get() == &handler) page->forgetJavaScriptCommand(kConstantsCommandKey);
    applySDKConstants(constants);
}

void AKSDKCoreController::applySDKConstants(const Value& constants) {
    QV_ASSERT_MAIN_THREAD();
    AKMRAIDInterceptor::setBannerImplementationPath(scriptPathFor(constants, "mraid_banner_path"));
    AKMRAIDInterceptor::setInterstitialImplementationPath(scriptPathFor(constants, "mraid_interstitial_path"));
    AKMRAIDInterceptor::setExpandedBannerImplementationPath(scriptPathFor(constants, "mraid_expanded_banner_path"));
    if (textFor(constants, "mraid_disable_redirect") == std::optional<std::string>("1")) AKMRAIDInterceptor::disallow();
    else AKMRAIDInterceptor::allow();
    if (constants["active_view_sampling_intervals"]) {
        auto intervals = samplingIntervals(textFor(constants, "active_view_sampling_intervals").value_or(""));
        dispatch_sync(lockQueue_, [&] { viewabilityMonitorRefreshIntervals_ = std::move(intervals); });
    }
    if (auto text = textFor(constants, "discardable_storekitcontroller_cache_size")) {
        if (auto count = cacheSize(*text))
            AKApplication::sharedApplication()->setDiscardableStoreProductViewControllerAppCacheMaxSize(*count);
    }
    auto defaults = NSUserDefaults::standardUserDefaults();
    for (const char* key : {"bad_ad_report_path", "as_domains", "native_ad_support_url", "ak_web_view_cache_max_capacity"}) {
        if (auto text = textFor(constants, key)) defaults->setObject(Value(*text), key);
    }
    dispatch_sync(lockQueue_, [&] { SDKConstantsNeedReload_ = false; });
}
