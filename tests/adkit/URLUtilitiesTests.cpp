// Protects the URL and string helpers: query appending and reading, URL
// classification, "@keyword@" templates, number texts and digests.
#include <clocale>
#include <random>

#include "AdkitTestSupport.h"
#include "adkit/foundation/AKAdHosts.h"
#include "adkit/foundation/AKMacros.h"
#include "adkit/foundation/AKObjectAdditions.h"
#include "adkit/foundation/AKStringAdditions.h"
#include "adkit/foundation/AKURLUtilities.h"

namespace {

std::string appended(const std::string& url, const AKQueryPairs& pairs) {
    auto result = ak_appendQueryParameters(*NSURL::URLWithString(url), pairs);
    return result ? result->absoluteString() : "<nil>";
}

std::string filled(std::string templ, const std::string& pattern, const std::string& value) {
    REQUIRE(ak_replaceAtQuotedKeywordPattern(templ, pattern, ak_escapeAts(value)));
    ak_removeAtQuotedKeywords(templ);
    return ak_unescapeAts(templ);
}

}  // namespace

TEST_CASE("url utilities: appending parameters keeps the destination last and the fragment after the query") {
    struct Row {
        const char* url;
        AKQueryPairs pairs;
        const char* expected;
    };
    const Row rows[] = {
        {"http://h/p", {{"a", Value("1")}}, "http://h/p?a=1"},
        {"http://h/p?x=2", {{"a", Value("1")}}, "http://h/p?x=2&a=1"},
        {"http://h/p?x=1&adurl=http://d/e", {{"b", Value("2")}}, "http://h/p?x=1&b=2&adurl=http://d/e"},
        {"http://h/p", {{"v", Value("a b&c")}}, "http://h/p?v=a%20b%26c"},
        {"http://h/p?x=1", {{"k", Value("")}}, "http://h/p?x=1&k"},
        {"http://h/p", {{"k", Value("")}}, "http://h/p?k"},
        {"http://h/p", {{"n", Value(3)}, {"m", Value("x")}}, "http://h/p?n=3&m=x"},
        // Mended: before "#", no second "?", keys escaped.
        {"http://h/p#frag", {{"a", Value("1")}}, "http://h/p?a=1#frag"},
        {"http://h/p?x=1#frag", {{"a", Value("1")}}, "http://h/p?x=1&a=1#frag"},
        {"http://h/p?", {{"a", Value("1")}}, "http://h/p?a=1"},
        {"http://h/p", {{"a b&c", Value("1")}}, "http://h/p?a%20b%26c=1"},
    };
    for (const Row& row : rows) {
        CAPTURE(row.url);
        CHECK(appended(row.url, row.pairs) == row.expected);
    }
    CHECK(ak_appendQueryValue(*NSURL::URLWithString("http://h/p"), std::nullopt, "k")->absoluteString() == "http://h/p?k");
}

TEST_CASE("url utilities: reading queries, tickets, hosts, schemes and classification") {
    auto url = [](const std::string& s) { return NSURL::URLWithString(s); };
    CHECK(ak_parameterValueForKey(*url("http://h/?k=v%20w"), "k") == std::optional<std::string>("v%20w"));
    CHECK_FALSE(ak_parameterValueForKey(*url("http://h/?k=a=b"), "k").has_value());
    CHECK_FALSE(ak_parameterValueForKey(*url("http://h/?x=1;k=2"), "k").has_value());
    const Value query = ak_dictionaryFromQueryParametersAndConvertKeysToLowercase(*url("http://h/?A=1;b=%41&c&d=1=2"), true);
    CHECK(query.count() == 2);
    CHECK(query["a"] == Value("1"));
    CHECK(query["b"] == Value("A"));
    CHECK(ak_dictionaryFromQueryParametersAndConvertKeysToLowercase(*url("http://h/"), true).count() == 0);
    CHECK(ak_impressionTicket(*url("http://h/aclk/abc/def/x")) == std::optional<std::string>("abc/def"));
    CHECK_FALSE(ak_impressionTicket(*url("http://h/aclk")).has_value());
    CHECK(ak_absoluteStringWithoutFragmentComponent(*url("http://h/p?q#f")) == "http://h/p?q");
    CHECK(ak_isHostEqualToString(*url("http://Host.Example/"), "host.example", false));
    CHECK_FALSE(ak_isHostEqualToString(*url("http://Host.Example/"), "host.example", true));
    CHECK(ak_isSchemeEqualToString(*url("HTTP://h/"), "http", false));
    CHECK(ak_isMediationURL(*url("http://h/mediate?x")));
    CHECK(ak_isSDKJavaScriptURL(*url(ak_SDKJavaScriptURLString())));
    CHECK_FALSE(ak_isSDKJavaScriptURL(*url(ak_SDKJavaScriptURLString() + "?x")));
    CHECK(ak_isXFPURL(*url("http://" + AKAdHosts::publisherManagedOrigin().host + "/gampad")));
    CHECK(ak_isEquivalentToURLString("http://h/p/", "http://h/p"));
    CHECK_FALSE(ak_isEquivalentToURLString("http://h/p//", "http://h/p"));
    CHECK(ak_stripTrailingSlash("") == "");
}

TEST_CASE("url utilities: keyword templates, escapes, and a pattern that does not compile") {
    CHECK(filled("a=@x@&b=@@x@@", "x", "V") == "a=V&b=@x@");
    // Three "@" before a keyword: the doubled one stays until unescaping.
    std::string t = "@@@x@";
    REQUIRE(ak_replaceAtQuotedKeywordPattern(t, "x", "V"));
    CHECK(t == "@@V");
    CHECK(ak_unescapeAts(t) == "@V");
    // Replacement text is literal, "$" and "\" included, and an "@" in a value forms no keyword.
    CHECK(filled("u=@gw_x@", "gw_x", "$1\\@y@") == "u=$1\\@y@");
    CHECK(filled("@a@-@b@-@c@", "(a|b)", "Q") == "Q-Q-");
    std::string untouched = "@x@";
    CHECK_FALSE(ak_replaceAtQuotedKeywordPattern(untouched, "(", "V"));
    CHECK(untouched == "@x@");
}

TEST_CASE("url utilities: unescape(remove(escape(s))) gives s back for any text") {
    std::mt19937 random(11);
    const char alphabet[] = {'@', '@', '@', 'a', 'b', '$', '\\', '1', ' ', '%'};
    for (int i = 0; i < 2000; ++i) {
        std::string s(random() % 24, ' ');
        for (auto& c : s) c = alphabet[random() % sizeof alphabet];
        std::string t = ak_escapeAts(s);
        ak_removeAtQuotedKeywords(t);
        REQUIRE(ak_unescapeAts(t) == s);
    }
}

TEST_CASE("url utilities: number texts use a point in every locale, and digests are lower-case hex") {
    struct Row {
        double value;
        const char* text;
    };
    const Row rows[] = {{2.5, "2.5"}, {100, "100"}, {0, "0"}, {0.125, "0.125"}, {320.0, "320"}, {1.05, "1.05"}, {-1.5, "-1.5"}};
    const char* previous = std::setlocale(LC_ALL, nullptr);
    const std::string saved = previous ? previous : "C";
    for (const char* locale : {"C", "de_DE.UTF-8", "fr_FR.UTF-8"}) {
        std::setlocale(LC_ALL, locale);  // a locale that is not installed leaves "C"
        for (const Row& row : rows) CHECK(ak_shortStringWithCGFloat(row.value) == std::optional<std::string>(row.text));
    }
    std::setlocale(LC_ALL, saved.c_str());
    CHECK(ak_MD5String("") == std::optional<std::string>("d41d8cd98f00b204e9800998ecf8427e"));
    CHECK(ak_MD5String("slotname") == std::optional<std::string>(adkittest::runCommand("printf slotname | md5sum").output.substr(0, 32)));
    CHECK_FALSE(ak_MD5String("\xFF").has_value());
    Value request = Value::dictionary();
    ak_setStringForBoolValue(request, false, "a");
    ak_setStringIfTrueForBoolValue(request, true, "b");
    ak_setStringIfTrueForBoolValue(request, false, "b");
    ak_setStringForCGFloat(request, 2.0, "c");
    ak_setIfNotNilObject(request, Value(), "a");
    CHECK(AKMacros::dictionaryToJSONString(request) == R"({"a":"0","c":"2"})");
    CHECK(AKMacros::dictionaryToJSONString(Value{{"d", Value(Date{1})}}) == "");
    CHECK(AKMacros::dictionaryToJSONString(Value::dictionary()) == "{}");
    CHECK_FALSE(AKMacros::readJsonIntoDictionary("[1]").has_value());
    CHECK(AKMacros::readJsonIntoDictionary(R"({"a":1})")->count() == 1);
    CHECK_FALSE(AKMacros::readJsonIntoDictionary("{").has_value());
    NSErrorPtr error;
    const CGRect rect = AKCGRectFromDictionary(Value{{"x", Value(1)}, {"y", Value(2)}, {"width", Value(3)}, {"height", Value(4)}}, &error);
    CHECK((rect == CGRectMake(1, 2, 3, 4)));
    CHECK(error == nullptr);
    CHECK((AKCGRectFromDictionary(Value{{"x", Value(1)}, {"y", Value(2)}, {"width", Value("3")}, {"height", Value(4)}}, &error) == CGRectZero));
    REQUIRE(error);
    CHECK(error->domain() == "cg_rect_conversion");
    CHECK(error->code() == 1);
    CHECK(error->userInfo().count() == 1);
    CHECK(AKURLsFromStrings(Value::array({Value("http://a/"), Value("not a url"), Value(3), Value("http://b/")})).size() == 2);
}
