// Request serializers: query strings, form, JSON and property-list bodies,
// default headers, observed request properties, coding and copies, on the wire
// against the loopback server.
#include <doctest/doctest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>

#include "WireSupport.h"
#include "networking/NLURLRequestSerialization.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSLocale.h"
#include "platform/foundation/NSURL.h"
#include "platform/uikit/UIDevice.h"
#include "platform/uikit/UIScreen.h"
#include "support/LoopbackHttpServer.h"
#include "support/TestEnvironment.h"

using testsupport::LoopbackHttpServer;
using testsupport::Reply;
using wiretest::text;

namespace {

Value nestedParameters() {
    // b -> "2", a -> {y -> (1, 2), x -> null}
    return Value(ValueDictionary{{"b", Value("2")},
                                 {"a", Value(ValueDictionary{{"y", Value::array({1, 2})}, {"x", Value()}})}});
}

std::string query(const Value& parameters, NSStringEncoding encoding = NSUTF8StringEncoding) {
    NSErrorPtr error;
    auto q = NLQueryStringFromParametersWithEncoding(parameters, encoding, &error);
    REQUIRE(q);
    CHECK_FALSE(error);
    return *q;
}

struct PinnedLanguages {
    explicit PinnedLanguages(std::vector<std::string> languages) { NSLocale::setPreferredLanguages(languages); }
    ~PinnedLanguages() { NSLocale::setPreferredLanguages(std::nullopt); }
};

struct DeviceSettings {
    double scale = UIScreen::mainScreen()->scale();
    ~DeviceSettings() {
        UIDevice::currentDevice()->resetToDefaults();
        UIScreen::mainScreen()->setScale(scale);
    }
};

// A bundle folder with its own information dictionary.
struct TemporaryBundle {
    testsupport::TempHome home;
    std::shared_ptr<NSBundle> bundle;
    explicit TemporaryBundle(const std::string& infoJSON) {
        std::ofstream(std::filesystem::path(home.path()) / "Info.json") << infoJSON;
        bundle = std::make_shared<NSBundle>(home.path());
    }
};

void checkSerializationError(const NSErrorPtr& error) {
    REQUIRE(error);
    CHECK(error->domain() == "com.netline.error.serialization.request");
    CHECK(error->code() == -1000);
    CHECK_FALSE(error->localizedDescription().empty());
}

}  // namespace

TEST_CASE("nested parameters flatten with sorted keys and bracketed fields") {
    CHECK(query(nestedParameters()) == "a[x]&a[y][]=1&a[y][]=2&b=2");
    // Sorting is by the keys' text at every level, whatever order they came in.
    Value p(ValueDictionary{{"z", Value(ValueDictionary{{"b", Value(1)}, {"a", Value(2)}})}, {"m", Value("x")}});
    CHECK(query(p) == "m=x&z[a]=2&z[b]=1");
    // Dictionaries inside arrays keep both forms.
    Value items(ValueDictionary{{"items", Value::array({Value(ValueDictionary{{"id", Value(7)}})})}});
    CHECK(query(items) == "items[][id]=7");

    auto pairs = NLQueryStringPairsFromDictionary(nestedParameters());
    REQUIRE(pairs);
    REQUIRE(pairs->size() == 4);
    CHECK((*pairs)[0]->field == Value("a[x]"));
    CHECK((*pairs)[0]->value.isNull());
    CHECK((*pairs)[3]->field == Value("b"));
}

TEST_CASE("query fields keep brackets and points while values escape them") {
    CHECK(query(Value(ValueDictionary{{"a[x].y", Value("[v].w")}})) == "a[x].y=%5Bv%5D.w");
    CHECK(query(Value(ValueDictionary{{"a b", Value("a b")}})) == "a%20b=a%20b");
    CHECK(query(Value(ValueDictionary{{"k&=+/?", Value("&=+/?")}})) == "k%26%3D%2B%2F%3F=%26%3D%2B%2F%3F");
    CHECK(query(Value(ValueDictionary{{"q", Value(":;!@#$()',*")}})) == "q=%3A%3B%21%40%23%24%28%29%27%2C%2A");
    CHECK(query(Value(ValueDictionary{{"name", Value("Zoë")}})) == "name=Zo%C3%AB");
    CHECK(query(Value(ValueDictionary{{"name", Value("Zoë")}}), NSISOLatin1StringEncoding) == "name=Zo%EB");
    NLQueryStringPair pair(Value("f"), Value());
    CHECK(pair.URLEncodedStringValueWithEncoding(NSUTF8StringEncoding) == std::optional<std::string>("f"));
}

TEST_CASE("parameters that the encoding cannot carry give an error and no request") {
    auto serializer = NLHTTPRequestSerializer::serializer();
    serializer->stringEncoding = NSASCIIStringEncoding;
    NSErrorPtr error;
    CHECK_FALSE(serializer->requestWithMethod("GET", "http://example.com/", Value(ValueDictionary{{"n", Value("Zoë")}}),
                                              &error));
    checkSerializationError(error);
    error = nullptr;
    CHECK_FALSE(serializer->requestWithMethod("POST", "http://example.com/", Value::array({1}), &error));
    checkSerializationError(error);
}

TEST_CASE("URI methods carry parameters in the query and others in a form body") {
    auto serializer = NLHTTPRequestSerializer::serializer();
    auto get = serializer->requestWithMethod("GET", "http://example.com/p?p=1", nestedParameters());
    REQUIRE(get);
    CHECK(get->URL() == "http://example.com/p?p=1&a[x]&a[y][]=1&a[y][]=2&b=2");
    CHECK_FALSE(get->HTTPBody());
    CHECK(get->HTTPMethod() == "GET");

    auto del = serializer->requestWithMethod("delete", "http://example.com/items", Value(ValueDictionary{{"id", 3}}));
    REQUIRE(del);
    CHECK(del->URL() == "http://example.com/items?id=3");
    auto head = serializer->requestWithMethod("HEAD", "http://example.com/h", Value(ValueDictionary{{"id", 3}}));
    CHECK(head->URL() == "http://example.com/h?id=3");

    auto post = serializer->requestWithMethod("POST", "http://example.com/form", nestedParameters());
    REQUIRE(post);
    CHECK(post->URL() == "http://example.com/form");
    CHECK(post->valueForHTTPHeaderField("Content-Type") == std::optional<std::string>("application/x-www-form-urlencoded"));
    CHECK(text(post->HTTPBody().value()) == "a[x]&a[y][]=1&a[y][]=2&b=2");

    // A content type already on the request wins.
    auto base = NSMutableURLRequest::requestWithURL("http://example.com/form");
    base->setHTTPMethod("PUT");
    base->setValue("text/plain", "Content-Type");
    base->setValue("mine", "User-Agent");
    auto put = serializer->requestBySerializingRequest(base, Value(ValueDictionary{{"k", "v"}}), nullptr);
    REQUIRE(put);
    CHECK(put->valueForHTTPHeaderField("Content-Type") == std::optional<std::string>("text/plain"));
    CHECK(put->valueForHTTPHeaderField("User-Agent") == std::optional<std::string>("mine"));
    CHECK(put->valueForHTTPHeaderField("Accept-Language") == serializer->valueForHTTPHeaderField("Accept-Language"));
    CHECK(text(put->HTTPBody().value()) == "k=v");
    // The request given is left as it was.
    CHECK_FALSE(base->HTTPBody());
    CHECK_FALSE(base->valueForHTTPHeaderField("Accept-Language"));
}

TEST_CASE("empty parameters give an empty query and no parameters give none") {
    auto serializer = NLHTTPRequestSerializer::serializer();
    CHECK(serializer->requestWithMethod("GET", "http://example.com/p", Value::dictionary())->URL() ==
          "http://example.com/p?");
    auto post = serializer->requestWithMethod("POST", "http://example.com/p", Value::dictionary());
    CHECK(post->HTTPBody() == std::optional<Data>(Data()));
    CHECK(post->valueForHTTPHeaderField("Content-Type") == std::optional<std::string>("application/x-www-form-urlencoded"));

    auto bare = serializer->requestWithMethod("POST", "http://example.com/p", Value());
    CHECK(bare->URL() == "http://example.com/p");
    CHECK_FALSE(bare->HTTPBody());
    CHECK_FALSE(bare->valueForHTTPHeaderField("Content-Type"));
}

TEST_CASE("the query goes before a fragment") {
    auto serializer = NLHTTPRequestSerializer::serializer();
    CHECK(serializer->requestWithMethod("GET", "http://example.com/p#top", Value(ValueDictionary{{"a", 1}}))->URL() ==
          "http://example.com/p?a=1#top");
    CHECK(serializer->requestWithMethod("GET", "http://example.com/p?x#top", Value(ValueDictionary{{"a", 1}}))->URL() ==
          "http://example.com/p?x&a=1#top");
}

TEST_CASE("a URL string that forms no URL gives an error instead of a request") {
    auto serializer = NLHTTPRequestSerializer::serializer();
    NSErrorPtr error;
    CHECK_FALSE(serializer->requestWithMethod("GET", "http://exa mple.com/", Value(), &error));
    checkSerializationError(error);
    CHECK(error->userInfo()[NSURLErrorFailingURLStringErrorKey] == Value("http://exa mple.com/"));
    CHECK_FALSE(serializer->requestWithMethod("GET", "http://exa mple.com/", Value()));
}

TEST_CASE("an unknown query string style adds no query") {
    auto serializer = NLHTTPRequestSerializer::serializer();
    serializer->setQueryStringSerializationWithStyle(static_cast<NLHTTPRequestQueryStringSerializationStyle>(7));
    auto get = serializer->requestWithMethod("GET", "http://example.com/p?keep=1", Value(ValueDictionary{{"a", 1}}));
    REQUIRE(get);
    CHECK(get->URL() == "http://example.com/p?keep=1");
    auto post = serializer->requestWithMethod("POST", "http://example.com/p", Value(ValueDictionary{{"a", 1}}));
    REQUIRE(post);
    CHECK_FALSE(post->HTTPBody());
    CHECK_FALSE(post->valueForHTTPHeaderField("Content-Type"));
    // Back to the default style.
    serializer->setQueryStringSerializationWithStyle(NLHTTPRequestQueryStringDefaultStyle);
    CHECK(serializer->requestWithMethod("GET", "http://example.com/p", Value(ValueDictionary{{"a", 1}}))->URL() ==
          "http://example.com/p?a=1");
}

TEST_CASE("a query string callback replaces the built-in query and its error stops the request") {
    auto serializer = NLHTTPRequestSerializer::serializer();
    std::shared_ptr<NSURLRequest> seenRequest;
    Value seenParameters;
    serializer->setQueryStringSerializationWithBlock(
        [&](const std::shared_ptr<NSURLRequest>& request, const Value& parameters, NSErrorPtr*) {
            seenRequest = request;
            seenParameters = parameters;
            return std::optional<std::string>("custom=" + std::to_string(parameters.count()));
        });
    auto parameters = Value(ValueDictionary{{"a", 1}, {"b", 2}});
    auto get = serializer->requestWithMethod("GET", "http://example.com/p", parameters);
    REQUIRE(get);
    CHECK(get->URL() == "http://example.com/p?custom=2");
    REQUIRE(seenRequest);
    CHECK(seenRequest->URL() == "http://example.com/p");
    CHECK(seenParameters == parameters);
    auto post = serializer->requestWithMethod("POST", "http://example.com/p", parameters);
    CHECK(text(post->HTTPBody().value()) == "custom=2");

    serializer->setQueryStringSerializationWithBlock([](const std::shared_ptr<NSURLRequest>&, const Value&,
                                                        NSErrorPtr* error) -> std::optional<std::string> {
        *error = NSError::make("test.domain", 42, "refused");
        return std::nullopt;
    });
    NSErrorPtr error;
    CHECK_FALSE(serializer->requestWithMethod("GET", "http://example.com/p", parameters, &error));
    REQUIRE(error);
    CHECK(error->domain() == "test.domain");
    CHECK(error->code() == 42);

    // A callback with no string and no error adds no query.
    serializer->setQueryStringSerializationWithBlock(
        [](const std::shared_ptr<NSURLRequest>&, const Value&, NSErrorPtr*) { return std::optional<std::string>(); });
    CHECK(serializer->requestWithMethod("GET", "http://example.com/p", parameters)->URL() == "http://example.com/p");
    // Setting a style clears the callback.
    serializer->setQueryStringSerializationWithStyle(NLHTTPRequestQueryStringDefaultStyle);
    CHECK_FALSE(serializer->queryStringSerialization());
    CHECK(serializer->requestWithMethod("GET", "http://example.com/p", parameters)->URL() ==
          "http://example.com/p?a=1&b=2");
}

TEST_CASE("Accept-Language lists at most six preferred languages with falling quality") {
    CHECK(NLHTTPRequestSerializer::acceptLanguageForLanguages({"en"}) == "en;q=1");
    CHECK(NLHTTPRequestSerializer::acceptLanguageForLanguages({"en", "fr"}) == "en;q=1, fr;q=0.9");
    PinnedLanguages languages({"en", "fr", "de", "es", "it", "pt", "nl"});
    auto serializer = NLHTTPRequestSerializer::serializer();
    CHECK(serializer->valueForHTTPHeaderField("Accept-Language") ==
          std::optional<std::string>("en;q=1, fr;q=0.9, de;q=0.8, es;q=0.7, it;q=0.6, pt;q=0.5"));
}

TEST_CASE("User-Agent names the bundle and the device") {
    DeviceSettings restore;
    UIDevice::currentDevice()->setModel("iPad");
    UIDevice::currentDevice()->setSystemVersion("9.3");
    UIScreen::mainScreen()->setScale(3);
    auto serializer = NLHTTPRequestSerializer::serializer();
    auto info = NSBundle::mainBundle()->infoDictionary();
    std::string expected = info["CFBundleExecutable"].stringValue() + "/" +
                           info["CFBundleShortVersionString"].stringValue() + " (iPad; iOS 9.3; Scale/3.00)";
    CHECK(serializer->valueForHTTPHeaderField("User-Agent") == std::optional<std::string>(expected));
    CHECK(expected.rfind("Quorvane/", 0) == 0);

    // Without an executable name or short version: the identifier and the build version.
    TemporaryBundle plain(R"({"CFBundleIdentifier": "org.example.tool", "CFBundleVersion": "42"})");
    CHECK(NLHTTPRequestSerializer::userAgentForBundle(*plain.bundle) == "org.example.tool/42 (iPad; iOS 9.3; Scale/3.00)");
}

TEST_CASE("User-Agent folds accents and other scripts to ASCII and drops the rest") {
    DeviceSettings restore;
    UIDevice::currentDevice()->setModel("iPhone");
    UIDevice::currentDevice()->setSystemVersion("7.1");
    UIScreen::mainScreen()->setScale(2);
    TemporaryBundle accented(R"({"CFBundleExecutable": "Café Crème", "CFBundleShortVersionString": "2.0"})");
    CHECK(NLHTTPRequestSerializer::userAgentForBundle(*accented.bundle) == "Cafe Creme/2.0 (iPhone; iOS 7.1; Scale/2.00)");
    TemporaryBundle cyrillic(R"({"CFBundleExecutable": "Кино", "CFBundleShortVersionString": "1"})");
    CHECK(NLHTTPRequestSerializer::userAgentForBundle(*cyrillic.bundle) == "Kino/1 (iPhone; iOS 7.1; Scale/2.00)");
    TemporaryBundle emoji(R"({"CFBundleExecutable": "Film🎬", "CFBundleShortVersionString": "1"})");
    CHECK(NLHTTPRequestSerializer::userAgentForBundle(*emoji.bundle) == "Film/1 (iPhone; iOS 7.1; Scale/2.00)");
}

TEST_CASE("default headers can be set removed and used for authorization") {
    auto serializer = NLHTTPRequestSerializer::serializer();
    serializer->setValue("yes", "X-Custom");
    CHECK(serializer->valueForHTTPHeaderField("x-custom") == std::optional<std::string>("yes"));
    CHECK(serializer->requestWithMethod("GET", "http://example.com/", Value())->valueForHTTPHeaderField("X-Custom") ==
          std::optional<std::string>("yes"));
    serializer->setValue(std::nullopt, "X-Custom");
    CHECK_FALSE(serializer->valueForHTTPHeaderField("X-Custom"));
    CHECK_FALSE(serializer->HTTPRequestHeaders().count("X-Custom"));

    serializer->setAuthorizationHeaderFieldWithUsername("Aladdin", "open sesame");
    CHECK(serializer->valueForHTTPHeaderField("Authorization") ==
          std::optional<std::string>("Basic QWxhZGRpbjpvcGVuIHNlc2FtZQ=="));
    serializer->setAuthorizationHeaderFieldWithUsername("zoë", "p:w");
    CHECK(serializer->valueForHTTPHeaderField("Authorization") == std::optional<std::string>("Basic em/DqzpwOnc="));
    serializer->setAuthorizationHeaderFieldWithToken("abc123");
    CHECK(serializer->valueForHTTPHeaderField("Authorization") ==
          std::optional<std::string>("Token token=\"abc123\""));
    serializer->clearAuthorizationHeader();
    CHECK_FALSE(serializer->valueForHTTPHeaderField("Authorization"));
}

TEST_CASE("request properties reach new requests only after they were set") {
    auto serializer = NLHTTPRequestSerializer::serializer();
    CHECK(serializer->mutableObservedChangedKeyPaths().empty());
    auto untouched = serializer->requestWithMethod("GET", "http://example.com/", Value());
    CHECK(untouched->timeoutInterval() == NSURLRequestDefaultTimeoutInterval);

    auto base = NSMutableURLRequest::requestWithURL("http://example.com/", NSURLRequestReturnCacheDataElseLoad, 7);
    auto kept = serializer->requestBySerializingRequest(base, Value(), nullptr);
    CHECK(kept->timeoutInterval() == 7);
    CHECK(kept->cachePolicy() == NSURLRequestReturnCacheDataElseLoad);

    serializer->setTimeoutInterval(12.5);
    serializer->setHTTPShouldHandleCookies(false);
    serializer->setAllowsCellularAccess(true);  // the value it had: still counts as set
    serializer->setNetworkServiceType(NSURLNetworkServiceTypeBackground);
    CHECK(serializer->mutableObservedChangedKeyPaths() ==
          std::set<std::string>{"timeoutInterval", "HTTPShouldHandleCookies", "allowsCellularAccess",
                                "networkServiceType"});
    auto request = serializer->requestWithMethod("GET", "http://example.com/", Value());
    CHECK(request->timeoutInterval() == 12.5);
    CHECK_FALSE(request->HTTPShouldHandleCookies());
    CHECK(request->networkServiceType() == NSURLNetworkServiceTypeBackground);
    CHECK(request->cachePolicy() == NSURLRequestUseProtocolCachePolicy);

    serializer->setCachePolicy(NSURLRequestReloadIgnoringLocalCacheData);
    serializer->setHTTPShouldUsePipelining(true);
    auto later = serializer->requestWithMethod("GET", "http://example.com/", Value());
    CHECK(later->cachePolicy() == NSURLRequestReloadIgnoringLocalCacheData);
    CHECK(later->HTTPShouldUsePipelining());
}

TEST_CASE("the JSON serializer sends GET parameters in the query and others as a JSON body") {
    auto serializer = NLJSONRequestSerializer::serializer();
    auto get = serializer->requestWithMethod("GET", "http://example.com/s", nestedParameters());
    REQUIRE(get);
    CHECK(get->URL() == "http://example.com/s?a[x]&a[y][]=1&a[y][]=2&b=2");
    CHECK_FALSE(get->HTTPBody());

    auto post = serializer->requestWithMethod("POST", "http://example.com/s", nestedParameters());
    REQUIRE(post);
    CHECK(post->valueForHTTPHeaderField("Content-Type") == std::optional<std::string>("application/json"));
    auto parsed = Value::fromJSON(text(post->HTTPBody().value()));
    REQUIRE(parsed);
    CHECK(*parsed == nestedParameters());
    CHECK(text(post->HTTPBody().value()).find('\n') == std::string::npos);
    CHECK(post->valueForHTTPHeaderField("User-Agent"));

    auto pretty = NLJSONRequestSerializer::serializerWithWritingOptions(NSJSONWritingPrettyPrinted);
    auto prettyPost = pretty->requestWithMethod("POST", "http://example.com/s", Value(ValueDictionary{{"k", 1}}));
    CHECK(text(prettyPost->HTTPBody().value()).find('\n') != std::string::npos);

    // Arrays are bodies too; a content type on the request is kept.
    auto base = NSMutableURLRequest::requestWithURL("http://example.com/s");
    base->setHTTPMethod("PATCH");
    base->setValue("application/vnd.test+json", "Content-Type");
    auto patch = serializer->requestBySerializingRequest(base, Value::array({1, "two"}), nullptr);
    REQUIRE(patch);
    CHECK(text(patch->HTTPBody().value()) == "[1,\"two\"]");
    CHECK(patch->valueForHTTPHeaderField("Content-Type") == std::optional<std::string>("application/vnd.test+json"));
}

TEST_CASE("values JSON cannot carry give an error and no request") {
    auto serializer = NLJSONRequestSerializer::serializer();
    for (const Value& bad : {Value(ValueDictionary{{"n", Value(std::nan(""))}}),
                             Value(ValueDictionary{{"d", Value(Data{1, 2})}}),
                             Value(ValueDictionary{{"inf", Value(std::numeric_limits<double>::infinity())}}),
                             Value("just a string")}) {
        NSErrorPtr error;
        CHECK_FALSE(serializer->requestWithMethod("POST", "http://example.com/s", bad, &error));
        checkSerializationError(error);
        REQUIRE(error->underlyingError());
        CHECK(error->underlyingError()->domain() == NSCocoaErrorDomain);
    }
}

TEST_CASE("the property list serializer writes XML bodies and binary on request") {
    auto serializer = NLPropertyListRequestSerializer::serializer();
    CHECK(serializer->format == NSPropertyListXMLFormat_v1_0);
    Value parameters(ValueDictionary{{"name", Value("a & b")}, {"n", Value(3)}, {"on", Value(true)},
                                     {"list", Value::array({Value(1.5), Value("x")})}});
    auto post = serializer->requestWithMethod("POST", "http://example.com/p", parameters);
    REQUIRE(post);
    CHECK(post->valueForHTTPHeaderField("Content-Type") == std::optional<std::string>("application/x-plist"));
    CHECK(text(post->HTTPBody().value()) ==
          "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
          "<plist version=\"1.0\">\n"
          "<dict>\n"
          "\t<key>list</key>\n"
          "\t<array>\n"
          "\t\t<real>1.5</real>\n"
          "\t\t<string>x</string>\n"
          "\t</array>\n"
          "\t<key>n</key>\n"
          "\t<integer>3</integer>\n"
          "\t<key>name</key>\n"
          "\t<string>a &amp; b</string>\n"
          "\t<key>on</key>\n"
          "\t<true/>\n"
          "</dict>\n"
          "</plist>\n");
    auto get = serializer->requestWithMethod("GET", "http://example.com/p", Value(ValueDictionary{{"k", "v"}}));
    CHECK(get->URL() == "http://example.com/p?k=v");

    auto binary = NLPropertyListRequestSerializer::serializerWithFormat(NSPropertyListBinaryFormat_v1_0, 0);
    auto binaryPost = binary->requestWithMethod("POST", "http://example.com/p", parameters);
    REQUIRE(binaryPost);
    CHECK(text(binaryPost->HTTPBody().value()).rfind("bplist00", 0) == 0);

    NSErrorPtr error;
    CHECK_FALSE(serializer->requestWithMethod("POST", "http://example.com/p",
                                              Value(ValueDictionary{{"missing", Value()}}), &error));
    checkSerializationError(error);
    REQUIRE(error->underlyingError());
    CHECK(error->underlyingError()->code() == NSPropertyListWriteInvalidError);
}

TEST_CASE("serializers archive and copy their headers style and options") {
    auto serializer = NLHTTPRequestSerializer::serializer();
    serializer->setValue("1", "X-Archived");
    serializer->setQueryStringSerializationWithStyle(static_cast<NLHTTPRequestQueryStringSerializationStyle>(3));
    CHECK(NLURLRequestSerialization::supportsSecureCoding());
    Value archive = serializer->encodeWithCoder();
    CHECK(archive["queryStringSerializationStyle"].integerValue() == 3);
    CHECK(archive["mutableHTTPRequestHeaders"]["X-Archived"] == Value("1"));
    auto decoded = NLHTTPRequestSerializer::decodeWithCoder<NLHTTPRequestSerializer>(archive);
    CHECK(decoded->valueForHTTPHeaderField("X-Archived") == std::optional<std::string>("1"));
    CHECK(decoded->queryStringSerializationStyle() == 3);
    // A mistyped archive leaves the defaults.
    auto odd = NLHTTPRequestSerializer::decodeWithCoder<NLHTTPRequestSerializer>(
        Value(ValueDictionary{{"mutableHTTPRequestHeaders", Value("nope")}, {"queryStringSerializationStyle", "x"}}));
    CHECK(odd->valueForHTTPHeaderField("User-Agent"));
    CHECK(odd->queryStringSerializationStyle() == NLHTTPRequestQueryStringDefaultStyle);

    auto json = NLJSONRequestSerializer::serializerWithWritingOptions(NSJSONWritingPrettyPrinted);
    auto jsonBack = NLHTTPRequestSerializer::decodeWithCoder<NLJSONRequestSerializer>(json->encodeWithCoder());
    CHECK(jsonBack->writingOptions == NSJSONWritingPrettyPrinted);
    auto plist = NLPropertyListRequestSerializer::serializerWithFormat(NSPropertyListBinaryFormat_v1_0, 5);
    auto plistBack = NLHTTPRequestSerializer::decodeWithCoder<NLPropertyListRequestSerializer>(plist->encodeWithCoder());
    CHECK(plistBack->format == NSPropertyListBinaryFormat_v1_0);
    CHECK(plistBack->writeOptions == 5);

    // Copies are of the same class, with their own headers.
    serializer->setTimeoutInterval(3);
    int calls = 0;
    serializer->setQueryStringSerializationWithBlock([&](const std::shared_ptr<NSURLRequest>&, const Value&,
                                                         NSErrorPtr*) {
        ++calls;
        return std::optional<std::string>("c");
    });
    auto copy = serializer->copy();
    copy->setValue("2", "X-Archived");
    CHECK(serializer->valueForHTTPHeaderField("X-Archived") == std::optional<std::string>("1"));
    CHECK(copy->timeoutInterval() == NSURLRequestDefaultTimeoutInterval);
    CHECK(copy->mutableObservedChangedKeyPaths().empty());
    CHECK(copy->requestWithMethod("GET", "http://example.com/", Value(ValueDictionary{{"a", 1}}))->URL() ==
          "http://example.com/?c");
    CHECK(calls == 1);
    auto jsonCopy = json->copy();
    REQUIRE(std::dynamic_pointer_cast<NLJSONRequestSerializer>(jsonCopy));
    CHECK(std::dynamic_pointer_cast<NLJSONRequestSerializer>(jsonCopy)->writingOptions == NSJSONWritingPrettyPrinted);
    auto plistCopy = std::dynamic_pointer_cast<NLPropertyListRequestSerializer>(plist->copy());
    REQUIRE(plistCopy);
    CHECK(plistCopy->format == NSPropertyListBinaryFormat_v1_0);
}

TEST_CASE("serialized requests arrive on the wire with their query body and default headers") {
    LoopbackHttpServer server;
    server.setHandler([](const testsupport::RecordedRequest&) { return Reply::text("ok"); });
    PinnedLanguages languages({"de", "en"});
    auto serializer = NLHTTPRequestSerializer::serializer();

    auto get = serializer->requestWithMethod("GET", server.url("/search?p=1"), nestedParameters());
    REQUIRE(get);
    auto getResult = wiretest::send(get);
    REQUIRE(getResult.finished);
    CHECK_FALSE(getResult.error);
    auto recorded = server.lastRequest();
    REQUIRE(recorded);
    CHECK(recorded->method == "GET");
    CHECK(recorded->target == "/search?p=1&a[x]&a[y][]=1&a[y][]=2&b=2");
    CHECK(recorded->headers.get("Accept-Language") == "de;q=1, en;q=0.9");
    CHECK(recorded->headers.get("User-Agent") == serializer->valueForHTTPHeaderField("User-Agent").value());

    auto post = serializer->requestWithMethod("POST", server.url("/form"),
                                              Value(ValueDictionary{{"title", Value("Tom & Jerry")}, {"n", 2}}));
    REQUIRE(wiretest::send(post).finished);
    recorded = server.lastRequest();
    REQUIRE(recorded);
    CHECK(recorded->method == "POST");
    CHECK(recorded->headers.get("Content-Type") == "application/x-www-form-urlencoded");
    CHECK(recorded->body == "n=2&title=Tom%20%26%20Jerry");

    auto json = NLJSONRequestSerializer::serializer();
    auto jsonPost = json->requestWithMethod("PUT", server.url("/json"), nestedParameters());
    REQUIRE(wiretest::send(jsonPost).finished);
    recorded = server.lastRequest();
    REQUIRE(recorded);
    CHECK(recorded->method == "PUT");
    CHECK(recorded->headers.get("Content-Type") == "application/json");
    CHECK(Value::fromJSON(recorded->body) == std::optional<Value>(nestedParameters()));
}
