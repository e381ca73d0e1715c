// Protects the ad request: its parameter dictionary in order of precedence,
// the extras a load takes (once for "_useOnce", type-checked steering values),
// the SDK version strings and the JSON check of the parameters.
#include <cmath>
#include <functional>

#include "AdkitTestSupport.h"
#include "adkit/foundation/AKDevice.h"
#include "adkit/foundation/AKMacros.h"
#include "adkit/foundation/AKNetwork.h"
#include "adkit/foundation/AKSignal.h"
#include "adkit/rendering/AKSDKInfo.h"
#include "adkit/requests/AKRequest.h"
#include "adkit/requests/AKSlotServices.h"
#include "platform/adsupport/ASIdentifierManager.h"
#include "platform/foundation/ClassRegistry.h"
#include "platform/foundation/NSDateFormatter.h"
#include "platform/uikit/UIDevice.h"

namespace doctest {
template <>
struct StringMaker<Value> {
    static String convert(const Value& value) { return value.description().c_str(); }
};
}  // namespace doctest

namespace {

Value analyticsAnswer;  // what the test's "ANAAdNetInfo" answers

class ANAAdNetInfo : public NSObject, public AKAnalyticsAdNetInfo {
public:
    Value adNetInfo() override { return analyticsAnswer; }
};

struct Checker : AKLogChecker {
    std::vector<std::string> messages;
    void message(const std::string& text) override { messages.push_back(text); }
};

using Setup = std::function<void(AKRequest&)>;

struct ParameterCase {
    const char* name;
    Setup setup;
    Value expected;  // the request's own keys beyond the device keys, "js", "net*" and the signal
};

Value withPMAExtras(const Value& additional, const std::string& ppid, AKRequest& request) {
    auto extras = std::make_shared<PMAExtras>();
    extras->setAdditionalParameters(additional);
    extras->setPublisherProvidedID(ppid);
    request.registerAdNetworkExtras(extras);
    return additional;
}

}  // namespace

TEST_CASE("request parameters: each targeting value lands under its key, in order of precedence") {
    testsupport::TempHome home;
    UIDevice::currentDevice()->setSystemVersion("8.1.0");
    AKDevice::resetProcessFactsForTesting();
    NSDateFormatter::setDefaultLocaleIdentifier("ar_EG");  // the user's locale writes other digits
    ClassRegistry::registerClass<ANAAdNetInfo>();
    const std::string identifier = AKDevice::currentDevice()->deviceIdentifier();
    REQUIRE(!identifier.empty());
    const auto nanLocation = AKLocation::initWithLatitude(NAN, 10, 1);
    const auto place = AKLocation::initWithLatitude(48.5, 2.25, 30);

    const std::vector<ParameterCase> cases = {
        {"nothing set", [](AKRequest&) {}, Value::dictionary()},
        {"testing on a listed test device",
         [&](AKRequest& r) {
             r.setTesting(true);
             r.setTestDevices({"", "other", identifier});
         },
         Value{{"testing", "1"}, {"adtest", "on"}}},
        {"an empty test device is never this one", [](AKRequest& r) { r.setTestDevices({""}); }, Value::dictionary()},
        {"male, birthday under an Arabic locale, keywords, child-directed, trimmed URL",
         [](AKRequest& r) {
             r.setGender(1);
             r.setBirthdayWithMonth(3, 9, 1980);
             r.addKeyword("cars");
             r.addKeyword("");
             r.addKeyword("films");
             r.tagForChildDirectedTreatment(false);
             r.setContentURL(" \thttp://example.test/page\n ");
         },
         Value{{"cust_gender", "1"}, {"cust_age", "19800309"}, {"kw", Value::array({"cars", "films"})},
               {"tag_for_child_directed_treatment", "0"}, {"url", "http://example.test/page"}}},
        {"gender 3, a blank URL and an imprecise location send nothing",
         [&](AKRequest& r) {
             r.setGender(3);
             r.setContentURL(" \n");
             r.setLocation(nanLocation);
         },
         Value::dictionary()},
        {"female, precise location, mediation extras, child-directed",
         [&](AKRequest& r) {
             r.setGender(2);
             r.setLocation(place);
             r.setMediationExtras(Value{{"m", 1}});
             r.tagForChildDirectedTreatment(true);
         },
         Value{{"cust_gender", "2"}, {"uule", place->dictionaryRepresentation()}, {"mediation_extras", Value{{"m", 1}}},
               {"tag_for_child_directed_treatment", "1"}}},
        {"publisher-managed extras win over plain ones and send a trimmed ppid",
         [](AKRequest& r) {
             r.setAdditionalParameters(Value{{"plain", "1"}});
             withPMAExtras(Value{{"pma", "1"}}, " pub-7\n", r);
         },
         Value{{"extras", Value{{"pma", "1"}}}, {"ppid", "pub-7"}}},
        {"native formats without a response type send nothing",
         [](AKRequest& r) { r.setFormatParameters(Value::array({Value{{"format", "a"}}, Value{{"format", "b"}}})); },
         Value::dictionary()},
        {"native formats with response type 2",
         [](AKRequest& r) {
             r.setFormatParameters(Value::array({Value{{"format", "a"}}, Value{{"x", 1}}, Value{{"format", "b"}}}));
             r.setResponseType(2);
         },
         Value{{"native_templates", "a,b"}, {"native_version", 2}}},
        {"the analytics class answering a dictionary",
         [](AKRequest&) { analyticsAnswer = Value{{"ana", "7"}}; },
         Value{{"analytics_join_id", Value{{"ana", "7"}}}}},
        {"the analytics class answering something else", [](AKRequest&) { analyticsAnswer = Value("7"); },
         Value::dictionary()},
    };

    const Value deviceKeys = AKDevice::currentDevice()->parameters();
    const auto signal = AKRequestSignalPair(std::string(AKRequestSignalKey) + "=" +
                                            AKSignal::signalWithContext(Value{{"sdk", "adnet-sdk-i-v6.12.2"}}));
    REQUIRE(signal);
    for (const auto& c : cases) {
        INFO("case: " << std::string(c.name));
        analyticsAnswer = Value();
        auto request = AKRequest::request();
        c.setup(*request);
        Value expected = deviceKeys.copy();
        expected.setObject("js", "adnet-sdk-i-v6.12.2");
        if (const auto network = AKDevice::currentDevice()->network()) {
            if (auto net = network->networkTypeString()) expected.setObject("net", *net);
            if (auto last = network->lastKnownNetworkTypeString()) expected.setObject("net_last", *last);
        }
        expected.setObject(signal->first, signal->second);
        if (const Value adapters = AKMAdNetworkAdapter::availableAdapterNames(); !adapters.isNull())
            expected.setObject("adapters", adapters);
        for (const auto& [key, value] : *c.expected.dictionaryRef()) expected.setObject(key, value);
        CHECK(request->parameters() == expected);
        CHECK(request->copy()->parameters() == expected);
    }
    NSDateFormatter::setDefaultLocaleIdentifier(std::nullopt);
    analyticsAnswer = Value();

    // The signal rule, the version strings and what rendering reads.
    CHECK(AKRequestSignalPair("k=v=w") == std::make_pair(std::string("k"), std::string("v")));
    CHECK_FALSE(AKRequestSignalPair("=v"));
    CHECK_FALSE(AKRequestSignalPair("k="));
    CHECK_FALSE(AKRequestSignalPair("kv"));
    CHECK(AKRequest::extendedSDKVersionNumber() == "adnet-sdk-i-v6.12.2-rc.1+6074");
    CHECK(AKSDKInfo::SDKVersion() == "adnet-sdk-i-v6.12.2");
    CHECK(AKRequest::testAdsHint() == "To get test ads on this device, call: request.testDevices = @[ @\"" + identifier + "\" ];");
    ASIdentifierManager::sharedManager()->setAdvertisingTrackingEnabled(false);
    CHECK(AKRequest::testAdsHint() ==
          "Advertising tracking may be disabled. To get test ads on this device, enable advertising tracking.");
    ASIdentifierManager::sharedManager()->resetToDefaults();
    UIDevice::currentDevice()->setSystemVersion("5.1.1");
    AKDevice::resetProcessFactsForTesting();
    CHECK(AKRequest::testAdsHint() == "Test ads are only available on iOS 6+.");
    UIDevice::currentDevice()->setSystemVersion("8.1.0");

    // Parameters JSON cannot carry fail the load; non-JSON extras are the core page's to convert.
    auto request = AKRequest::request();
    request->setAdditionalParameters(Value{{"x", NAN}});
    CHECK(AKRequestJSONReadyParameters(request->parameters()));
    auto broken = AKLocation::initWithLatitude(1, 1, 1);
    broken->setDictionaryRepresentation(Value{{"lat", NAN}});
    request->setLocation(broken);
    std::string failure;
    CHECK_FALSE(AKRequestJSONReadyParameters(request->parameters(), &failure));
    CHECK(!failure.empty());
    UIDevice::currentDevice()->resetToDefaults();
    AKDevice::resetProcessFactsForTesting();
}

TEST_CASE("request extras: taken once for \"_useOnce\", never by reads, steering values checked by type") {
    testsupport::TempHome home;
    struct ExtrasCase {
        const char* name;
        Value additional;
        bool secondLoadHasExtras;
        Value ad, adHeaders;
        std::int64_t orientation;
        const char* requestURL;  // nullptr: none
    };
    const Value ad{{"html", "<p>"}};
    const Value headers{{"X-A", "1"}};
    const std::vector<ExtrasCase> cases = {
        {"use once, portrait, ad with headers", Value{{"_useOnce", true}, {"_orientation", "p"}, {"_ad", ad}, {"_adHeaders", headers}},
         false, ad, headers, 2, nullptr},
        {"use once as the number 1, landscape, https URL",
         Value{{"_useOnce", 1}, {"_orientation", "l"}, {"_requestUrl", "https://ads.test/a"}}, false, Value(), Value(), 3,
         "https://ads.test/a"},
        {"use once false, http URL", Value{{"_useOnce", false}, {"_requestUrl", "http://ads.test/b"}}, true, Value(), Value(), 0,
         "http://ads.test/b"},
        {"a string use-once, wrong types everywhere",
         Value{{"_useOnce", "YES"}, {"_orientation", 2}, {"_ad", "<p>"}, {"_adHeaders", Value::array({"X"})}, {"_requestUrl", 7}},
         true, Value(), Value(), 0, nullptr},
        {"other schemes are no request URL", Value{{"_orientation", "x"}, {"_requestUrl", "javascript:alert(1)"}}, true, Value(),
         Value(), 0, nullptr},
        {"a file URL is no request URL", Value{{"_requestUrl", "file:///etc/passwd"}}, true, Value(), Value(), 0, nullptr},
        {"an ftp URL with a host", Value{{"_requestUrl", "ftp://ads.test/c"}}, true, Value(), Value(), 0, nullptr},
    };
    for (const auto& c : cases) {
        INFO("case: " << std::string(c.name));
        auto request = AKRequest::request();
        request->setAdditionalParameters(c.additional);
        // Reads, descriptions and parameters never consume.
        CHECK(request->description().find("\nadditionalParameters:") != std::string::npos);
        CHECK(request->parameters()["extras"] == c.additional);
        CHECK(request->additionalParameters() == c.additional);
        const AKRequestLoadExtras first = request->takeExtrasForLoad();
        CHECK(first.parameters == c.additional);
        CHECK(first.ad == c.ad);
        CHECK(first.adHeaders == c.adHeaders);
        CHECK(first.orientation == c.orientation);
        CHECK((first.requestURL ? first.requestURL->absoluteString() : std::string()) == (c.requestURL ? c.requestURL : ""));
        CHECK(request->parametersWithExtras(first.parameters)["extras"] == c.additional);
        const AKRequestLoadExtras second = request->takeExtrasForLoad();
        CHECK(static_cast<bool>(second.parameters) == c.secondLoadHasExtras);
        CHECK(static_cast<bool>(request->parameters()["extras"]) == c.secondLoadHasExtras);
    }

    // Registration: nil is refused with a log line, a class replaces its earlier extras.
    auto checker = std::make_shared<Checker>();
    AKMacros::setLogChecker(checker);
    auto request = AKRequest::request();
    request->registerAdNetworkExtras(nullptr);
    AKMacros::setLogChecker(nullptr);
    CHECK(checker->messages == std::vector<std::string>{"Must specify extras for registerAdNetworkExtras:."});
    request->setAdditionalParameters(Value{{"a", 1}});
    request->setAdditionalParameters(Value{{"b", 2}});
    CHECK(request->additionalParameters() == Value{{"b", 2}});
    request->removeAdNetworkExtrasFor("AKAdNetExtras");
    CHECK_FALSE(request->adNetworkExtrasFor("AKAdNetExtras"));
    request->setGender(2);
    CHECK(request->description().ends_with(": \ngender:Female>"));
}
