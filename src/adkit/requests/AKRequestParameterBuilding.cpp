// The request's parameter dictionary: its entries in their order of
// precedence (a later key overwrites an equal earlier one), the value
// conversions they use and the check that they can travel as JSON.
#include "adkit/foundation/AKDevice.h"
#include "adkit/foundation/AKMacros.h"
#include "adkit/foundation/AKNetwork.h"
#include "adkit/foundation/AKSignal.h"
#include "adkit/requests/AKRequest.h"
#include "adkit/requests/AKSlotServices.h"
#include "platform/foundation/ClassRegistry.h"
#include "platform/foundation/NSDateFormatter.h"
#include "platform/foundation/NSString.h"

namespace {
void setIfPresent(Value& parameters, const std::string& key, const Value& value) {
    if (value) parameters.setObject(key, value);
}

void setIfPresent(Value& parameters, const std::string& key, const std::optional<std::string>& value) {
    if (value) parameters.setObject(key, *value);
}

// The signal component runs on the main thread; its text is passed on unread.
void addSignalPair(Value& parameters) {
    std::string text;
    AKMacros::runSynchronouslyOnMainThreadWithBlock([&text] {
        text = std::string(AKRequestSignalKey) + "=" +
               AKSignal::signalWithContext(Value{{"sdk", AKRequest::sdkVersion()}});
    });
    if (const auto pair = AKRequestSignalPair(text)) parameters.setObject(pair->first, pair->second);
}

void addNativeFormats(Value& parameters, const Value& formats, std::int64_t responseType) {
    std::string joined;
    for (std::size_t i = 0; i < formats.count(); ++i) {
        const Value format = formats[i]["format"];
        if (!format) continue;
        if (!joined.empty()) joined += ",";
        joined += format.stringValue();
    }
    if (joined.empty() || responseType == 0) return;
    parameters.setObject("native_templates", joined);
    parameters.setObject("native_version", responseType);
}
}  // namespace

std::optional<std::pair<std::string, std::string>> AKRequestSignalPair(const std::string& text) {
    const auto pieces = componentsSeparatedByString(text, "=");
    if (pieces.size() < 2 || pieces[0].empty() || pieces[1].empty()) return std::nullopt;
    return std::make_pair(pieces[0], pieces[1]);
}

std::optional<std::string> AKRequest::genderString() const {
    const std::int64_t sex = gender();
    if (sex == 1) return "1";
    if (sex == 2) return "2";
    return std::nullopt;
}

std::optional<std::string> AKRequest::birthdayString() const {
    const auto date = birthday();
    if (!date) return std::nullopt;
    NSDateFormatter formatter;  // Gregorian; the POSIX locale keeps Latin digits whatever the user's locale
    formatter.setLocaleIdentifier("en_US_POSIX");
    formatter.setDateFormat("yyyyMMdd");
    std::string text = formatter.stringFromDate(*date);
    if (text.empty()) return std::nullopt;
    return text;
}

std::optional<std::string> AKRequest::contentURLString() const {
    const auto url = contentURL();
    if (!url) return std::nullopt;
    std::string trimmed = stringByTrimmingWhitespaceAndNewlines(*url);
    if (trimmed.empty()) return std::nullopt;
    return trimmed;
}

Value AKRequest::analyticsIDs() {
    const auto info = std::dynamic_pointer_cast<AKAnalyticsAdNetInfo>(ClassRegistry::create("ANAAdNetInfo"));
    if (!info) return Value();
    Value ids = info->adNetInfo();
    return ids.isDictionary() ? ids : Value();
}

Value AKRequest::parameters() const { return parametersWithExtras(additionalParameters()); }

Value AKRequest::parametersWithExtras(const Value& extras) const {
    Value parameters = Value::dictionary();
    const auto device = AKDevice::currentDevice();
    const Value deviceParameters = device->parameters();
    if (const auto entries = deviceParameters.dictionaryRef()) {
        for (const auto& [key, value] : *entries) parameters.setObject(key, value);
    }
    setIfPresent(parameters, "adapters", AKMAdNetworkAdapter::availableAdapterNames());
    parameters.setObject("js", sdkVersion());
    if (const auto network = device->network()) {
        setIfPresent(parameters, "net", network->networkTypeString());
        setIfPresent(parameters, "net_last", network->lastKnownNetworkTypeString());
    }
    if (testing()) parameters.setObject("testing", "1");
    if (isATestDevice()) parameters.setObject("adtest", "on");
    setIfPresent(parameters, "extras", extras.isDictionary() ? extras : Value());
    setIfPresent(parameters, "mediation_extras", mediationExtras());
    addTargetingParameters(parameters);
    setIfPresent(parameters, "analytics_join_id", analyticsIDs());
    addSignalPair(parameters);
    const auto extrasObject = adNetworkExtrasFor(NSStringFromClass<PMAExtras>());
    if (const auto publisherManaged = std::dynamic_pointer_cast<PMAExtras>(extrasObject)) {
        const std::string ppid = stringByTrimmingWhitespaceAndNewlines(publisherManaged->publisherProvidedID().value_or(""));
        if (!ppid.empty()) parameters.setObject("ppid", ppid);
    }
    addNativeFormats(parameters, formatParameters(), responseType());
    return parameters;
}

void AKRequest::addTargetingParameters(Value& parameters) const {
    setIfPresent(parameters, "cust_gender", genderString());
    setIfPresent(parameters, "cust_age", birthdayString());
    setIfPresent(parameters, "kw", keywords());
    if (const auto childDirected = childDirectedTreatment()) {
        parameters.setObject("tag_for_child_directed_treatment", *childDirected ? "1" : "0");
    }
    setIfPresent(parameters, "url", contentURLString());
    if (const auto place = location()) setIfPresent(parameters, "uule", place->dictionaryRepresentation());
}

std::optional<Value> AKRequestJSONReadyParameters(const Value& parameters, std::string* failure) {
    Value checked = parameters.copy();
    checked.removeObjectForKey("extras");
    if (!checked.toJSON(false, failure)) return std::nullopt;
    return parameters;
}
