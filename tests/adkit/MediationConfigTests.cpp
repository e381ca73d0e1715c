// Protects the mediation response parsing (settings, entries, text values,
// adapter choice and its messages), the adapter class tests and scan, and the
// boxed ad size utilities adapters use.
#include <doctest/doctest.h>

#include <mutex>

#include "adkit/foundation/AKMacros.h"
#include "adkit/mediation/AKMAdNetworkAdapter.h"
#include "adkit/mediation/AKMConfig.h"
#include "adkit/foundation/AKRequestError.h"

namespace {

struct LogLines : AKLogChecker {
    std::mutex mutex;
    std::vector<std::string> lines;
    void message(const std::string& text) override {
        std::lock_guard lock(mutex);
        lines.push_back(text);
    }
};

// Test adapters, registered before anything asks for the adapter list.
void registerTestAdapters() {
    static std::once_flag once;
    std::call_once(once, [] {
        AKMAdNetworkAdapter::registerAdapterClass({"MediationTestAdapter", "NSObject", nullptr, "1.2", "", true});
        // A subclass declaring nothing itself is an adapter under its own name too.
        ClassRegistry::registerClass({"MediationTestAdapterSub", "MediationTestAdapter", {}, nullptr});
        // Old interface: no getBannerWithSize:.
        ClassRegistry::registerClass({"MediationOldAdapterA", "NSObject", {kAKMAdNetworkAdapterProtocol}, nullptr});
        ClassRegistry::registerClass({"MediationOldAdapterB", "NSObject", {}, nullptr});
        // Takes a banner size but does not declare the protocol.
        ClassRegistry::registerClass({"MediationNotAdapter", "NSObject", {}, nullptr, nullptr, {"getBannerWithSize:"}});
    });
}
// Before main: the list of available adapters is computed once, at its first use.
[[maybe_unused]] const bool registeredBeforeMain = (registerTestAdapters(), true);

Value json(const char* text) { return AKMacros::readJsonIntoDictionary(text).value_or(Value()); }

AKMMediationConfigPtr parsed(const std::string& body, NSErrorPtr* error = nullptr) {
    NSErrorPtr ignored;
    return AKMMediationConfig::initWithAppKey("unit-1", json(body.c_str()), error ? error : &ignored);
}

}  // namespace

TEST_CASE("mediation settings: refresh, network time-out, transition, templates and qdata") {
    struct Row {
        const char* settings;
        double refresh;
        double timeout;
        std::int64_t animation;
    };
    const Row rows[] = {
        {R"({"refresh": 29999})", 29999, 10.0, 8},
        {R"({"refresh": 30000})", 0, 10.0, 8},
        {R"({"refresh": "45"})", 45, 10.0, 8},
        {R"({"refresh": "soon"})", 0, 10.0, 8},
        {R"({"ad_network_timeout_millis": 2500})", 0, 2.5, 8},
        {R"({"ad_network_timeout_millis": 0})", 0, 10.0, 8},
        {R"({"ad_network_timeout_millis": -300})", 0, 10.0, 8},
        {R"({"ad_transition_anim": 9})", 0, 10.0, 8},
        {R"({"ad_transition_anim": -1})", 0, 10.0, 8},
        {R"({"ad_transition_anim": 0})", 0, 10.0, 0},
        {R"("not an object")", 0, 10.0, 8},
    };
    for (const Row& row : rows) {
        CAPTURE(row.settings);
        auto config = parsed(std::string(R"({"ad_networks": [], "settings": )") + row.settings + "}");
        REQUIRE(config);
        CHECK(config->refreshInterval() == row.refresh);
        CHECK(config->adNetworkTimeout() == row.timeout);
        CHECK(config->bannerAnimationType() == row.animation);
    }

    auto config = parsed(R"({"ad_type": "leaderboard", "qdata": "q1", "ad_networks": [],
        "settings": {"imp_urls": ["http://i/@gw_qdata@"], "click_urls": "nope", "nofill_urls": []}})");
    REQUIRE(config);
    CHECK(config->appKey() == "unit-1");
    CHECK(AKAdSizeIsEqual(config->adType()->adSize(), kAKAdSizeLeaderboard));
    CHECK(config->qdata() == std::optional<std::string>("q1"));
    CHECK(config->impressionURLs() == Value::array({"http://i/@gw_qdata@"}));
    CHECK(config->clickURLs().isNull());
    CHECK(config->noFillURLs() == Value::array());
    CHECK(config->adNetworkConfigs().empty());
    // qdata is text only: a number gives its decimal text, anything else none.
    CHECK(parsed(R"({"qdata": 17, "ad_networks": []})")->qdata() == std::optional<std::string>("17"));
    CHECK_FALSE(parsed(R"({"qdata": {"a": 1}, "ad_networks": []})")->qdata().has_value());

    const std::pair<const char*, AKAdSize> types[] = {
        {"banner", kAKAdSizeBanner},        {"largebanner", kAKAdSizeLargeBanner}, {"mrec", kAKAdSizeMediumRectangle},
        {"fullbanner", kAKAdSizeFullBanner}, {"skyscraper", kAKAdSizeSkyscraper},   {"Banner", kAKAdSizeInvalid}};
    for (const auto& [name, size] : types) {
        CAPTURE(name);
        auto type = AKMMediationConfig::adTypeFromString(std::string(name));
        CHECK_FALSE(type->isInterstitial());
        CHECK(AKAdSizeIsEqual(type->adSize(), size));
    }
    CHECK(AKMMediationConfig::adTypeFromString(std::string("interstitial"))->isInterstitial());
    CHECK_FALSE(AKMMediationConfig::peekAdTypeFromConfig(json("{}"))->isValid());
}

TEST_CASE("mediation entries: network IDs, text values, and the failures that end the configuration") {
    registerTestAdapters();
    struct Row {
        const char* networks;
        const char* failure;  // nullptr: parses
    };
    const Row rows[] = {
        {R"({"x": 1})", ""},  // the code's standard text
        {R"({"ad_networks": [{"data": {}}]})",
         "The AdNet Mediation response was invalid: An ad network config has no network ID."},
        {R"({"ad_networks": [{"id": ["7"]}]})",
         "The AdNet Mediation response was invalid: An ad network config has an invalid network ID."},
        {R"({"ad_networks": [{"id": "7", "adapters": ["MediationTestAdapter"]}, 3, "x"]})", nullptr},
    };
    for (const Row& row : rows) {
        CAPTURE(row.networks);
        NSErrorPtr error;
        auto config = parsed(row.networks, &error);
        CHECK((config != nullptr) == (row.failure == nullptr));
        if (!row.failure) continue;
        REQUIRE(error);
        CHECK(error->code() == 7);
        const std::string expected = *row.failure ? row.failure : AKRequestError::errorWithCode(7)->localizedDescription();
        CHECK(error->localizedDescription() == expected);
    }

    auto config = parsed(R"({"ad_networks": [{"id": 123, "allocation_id": 55, "imp_urls": [],
        "adapters": [9, "MediationTestAdapter"], "extras": [1], "ad": {"k": "v"},
        "data": {"pubid": 42, "label": {"a": 1}, "class_name": "C", "gwhirl_share_location": "1"}},
        {"id": "b", "allocation_id": [1], "adapters": "MediationTestAdapter"}]})");
    REQUIRE(config);
    REQUIRE(config->adNetworkConfigs().size() == 2);
    const auto& first = *config->adNetworkConfigs()[0];
    CHECK(first.networkID() == "123");
    CHECK(first.allocationID() == std::optional<std::string>("55"));
    CHECK(first.publisherID() == std::optional<std::string>("42"));
    CHECK(first.credentials() == json(R"({"pubid": "42", "class_name": "C", "gwhirl_share_location": "1"})"));
    CHECK(first.extras().isNull());
    CHECK(first.ad() == json(R"({"k": "v"})"));
    CHECK(first.impressionURLs() == Value::array());
    CHECK(first.adapterList() == std::vector<std::string>{"9", "MediationTestAdapter"});
    CHECK(first.adapterClass() == std::optional<std::string>("MediationTestAdapter"));
    const auto& second = *config->adNetworkConfigs()[1];
    CHECK_FALSE(second.allocationID().has_value());
    CHECK(second.impressionURLs().isNull());
    CHECK(second.adapterList().empty());
}

TEST_CASE("mediation adapter choice: the first current adapter wins, and adapter problems are logged") {
    registerTestAdapters();
    auto log = std::make_shared<LogLines>();
    AKMacros::setLogChecker(log);
    const std::string cannotFind = "Cannot find an ad network adapter with the name(s): ";
    struct Row {
        const char* adapters;
        const char* chosen;   // "" none
        std::string message;  // "" no error; else the beginning of the message
    };
    const Row rows[] = {
        {R"(["NoSuchAdapter", "MediationTestAdapter"])", "MediationTestAdapter", ""},
        {R"(["MediationTestAdapterSub"])", "MediationTestAdapterSub", ""},
        {R"(["MediationNotAdapter", "MediationTestAdapter"])", "MediationTestAdapter", ""},
        {R"(["NoSuchA", "NoSuchB"])", "", cannotFind + "(\n    NoSuchA,\n    NoSuchB\n)."},
        {R"(["MediationOldAdapterA", "MediationTestAdapter"])", "MediationTestAdapter",
         "Ad network adapter MediationOldAdapterA implements an old API. Please update the adapter."},
        {R"(["MediationOldAdapterA", "MediationOldAdapterB"])", "",
         "Ad network adapters (MediationOldAdapterA, MediationOldAdapterB) implement an old API. Please update the "
         "adapters. No valid adapters found for this ad network."},
    };
    for (const Row& row : rows) {
        CAPTURE(row.adapters);
        NSErrorPtr error;
        auto entry = AKMAdNetworkConfig::initWithDictionary(
            json((std::string(R"({"id": "n", "adapters": )") + row.adapters + "}").c_str()), &error);
        REQUIRE(entry);
        CHECK(entry->adapterClass().value_or("") == row.chosen);
        if (row.message.empty()) {
            CHECK(error == nullptr);
            continue;
        }
        REQUIRE(error);
        CHECK(error->code() == 8);
        CHECK(error->localizedDescription().rfind(row.message, 0) == 0);
        if (row.message.rfind(cannotFind, 0) != 0) CHECK(error->localizedDescription() == row.message);
    }

    // In a configuration, the entry stays and the problem is a publisher log line.
    NSErrorPtr error;
    auto config = parsed(R"({"ad_networks": [{"id": "n", "adapters": ["NoSuchA"]}]})", &error);
    AKMacros::setLogChecker(nullptr);
    REQUIRE(config);
    CHECK(error == nullptr);
    REQUIRE(config->adNetworkConfigs().size() == 1);
    CHECK_FALSE(config->adNetworkConfigs()[0]->adapterClass().has_value());
    REQUIRE(log->lines.size() == 1);
    CHECK(log->lines[0].rfind(cannotFind + "(\n    NoSuchA\n).", 0) == 0);
}

TEST_CASE("adapter classes are scanned once by protocol, and boxed ad sizes decode only under their encoding") {
    registerTestAdapters();
    auto names = AKMAdNetworkAdapter::availableAdapterNameSet();
    REQUIRE(names);
    CHECK(names->count("MediationTestAdapter") == 1);
    CHECK(names->count("MediationTestAdapterSub") == 1);
    CHECK(names->count("MediationOldAdapterA") == 1);
    CHECK(names->count("MediationNotAdapter") == 0);
    CHECK(AKMAdNetworkAdapter::availableAdapterNameSet() == names);  // computed once
    CHECK(ClassRegistry::callClassOperation("MediationTestAdapterSub", kAKMAdapterVersionOperation) ==
          std::optional<Value>(Value("1.2")));
    CHECK(ClassRegistry::instancesRespondTo("MediationTestAdapterSub", kAKMChangeAdSizeOperation));

    const NSValue leaderboard = NSValueFromAKAdSize(kAKAdSizeLeaderboard);
    const NSValue plain = NSValue::valueWithBytes(CGSize{728, 90}, AKMAdSizeUtilities::kCGSizeEncoding);
    AKAdSize decoded = kAKAdSizeBanner;
    CHECK(AKMAdSizeUtilities::decodeNSValue(leaderboard, &decoded));
    CHECK(AKAdSizeIsEqual(decoded, kAKAdSizeLeaderboard));
    CHECK_FALSE(AKMAdSizeUtilities::decodeNSValue(plain, &decoded));
    CHECK(AKMAdSizeUtilities::isAKAdSizeValid(leaderboard).getValue<bool>("B") == std::optional<bool>(true));
    CHECK(AKMAdSizeUtilities::isAKAdSizeValid(plain).getValue<bool>("B") == std::optional<bool>(false));
    CHECK(AKMAdSizeUtilities::AKAdSizeEqualToSize(leaderboard, leaderboard).getValue<bool>("B") == std::optional<bool>(true));
    CHECK(AKMAdSizeUtilities::AKAdSizeEqualToSize(plain, plain).getValue<bool>("B") == std::optional<bool>(false));
    auto size = AKMAdSizeUtilities::CGSizeFromAKAdSize(leaderboard).getValue<CGSize>("{CGSize=dd}");
    REQUIRE(size);
    CHECK(size->width == 728);
    CHECK(AKMAdSizeUtilities::stringFromAKAdSize(plain) == AKAdSizeDescription(kAKAdSizeInvalid));
}
