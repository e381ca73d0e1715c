// Protects the page-message format: amsg URLs parsed as pages send them, the typed handler dispatch, page events sent in call order on the main queue (null for a payload that is no JSON), and a message no handler took reaching only observers of its own web view.
#include <doctest/doctest.h>

#include <optional>
#include <thread>

#include "AdkitTestSupport.h"
#include "RenderingTestDoubles.h"
#include "adkit/rendering/AKAMSGHandler.h"
#include "adkit/rendering/AKNotification.h"
#include "adkit/rendering/AKNotificationCenter.h"
#include "platform/foundation/NSNotificationCenter.h"

using adkittest::waitFor;
using renderingtest::RecordedAdWebView;

TEST_CASE("amsg URLs give a message name and parameters exactly as pages write them") {
    struct Case {
        std::string URL;
        std::optional<std::string> name;  // nullopt: no message
        AKNotification::Parameters parameters;
    };
    const Case cases[] = {
        {"AMSG://host/click?u=a", "click", {{"u", "a"}}},
        {"amsg://host/open?a=browser&u=http%3A%2F%2Fexample.com%2Fp%3Fq%3D1#x", "open",
         {{"a", "browser"}, {"u", "http://example.com/p?q=1"}}},
        {"amsg://host/q?string=a%20b;x=1&bad&k=v=w", "q", {{"string", "a b"}, {"x", "1"}}},
        {"amsg://host/q?Key=1", "q", {{"Key", "1"}}},
        {"amsg://host/q?a=1&a=2", "q", {{"a", "2"}}},
        {"amsg://host/q?=v&e=", "q", {{"", "v"}, {"e", ""}}},
        {"amsg://host/q?bad=%C3&ok=1", "q", {{"ok", "1"}}},
        {"amsg://host/a/b", "a/b", {}},
        {"amsg://host/a%20b", "a b", {}},
        {"amsg://host/", std::nullopt, {}},
        {"amsg://host", std::nullopt, {}},
        {"amsg://host?u=a", std::nullopt, {}},
        {"http://host/click?u=a", std::nullopt, {}},
        {"/click?u=a", std::nullopt, {}},
    };
    for (const Case& c : cases) {
        CAPTURE(c.URL);
        const auto note = AKNotification::initWithNotificationURL(c.URL);
        REQUIRE(static_cast<bool>(note) == c.name.has_value());
        if (!note) continue;
        CHECK(note->name() == *c.name);
        CHECK(note->parameters() == c.parameters);
        CHECK(AKNotification::isNotificationURL(c.URL));
    }
    CHECK_FALSE(AKNotification::initWithName("", {}));
}

namespace {
class CountingHandler : public AKAMSGHandler {
public:
    CountingHandler()
        : AKAMSGHandler(std::make_shared<const ActionSelectorDictionary>(
              ActionSelectorDictionary{{"one", action<CountingHandler, &CountingHandler::one>()}})) {}
    void one(const AKAMSGHandlerArguments& arguments) { received.push_back(arguments); }
    std::vector<AKAMSGHandlerArguments> received;
};
}  // namespace

TEST_CASE("a handler answers yes only for a message its table maps, and hands over the web view and message") {
    const RecordedAdWebView page;
    auto handler = std::make_shared<CountingHandler>();
    CHECK(handler->handleRequest(NSURLRequest::requestWithURL("amsg://x/one?k=v"), page.view));
    CHECK_FALSE(handler->handleRequest(NSURLRequest::requestWithURL("amsg://x/two?k=v"), page.view));
    CHECK_FALSE(handler->handleRequest(NSURLRequest::requestWithURL("http://x/one?k=v"), page.view));
    CHECK_FALSE(handler->handleRequest(NSURLRequest::requestWithURL("amsg://x/"), page.view));
    REQUIRE(handler->received.size() == 1);
    CHECK(handler->received[0].webView == page.view);
    CHECK(handler->received[0].note->name() == "one");
    CHECK(handler->received[0].parameter("k") == "v");
}

TEST_CASE("page events are written as ADNET_ReceiveMessage calls, with null for a payload that is no JSON") {
    struct Case {
        const char* name;
        std::optional<Value> payload;
        const char* text;
    };
    const Case cases[] = {
        {"onshow", std::nullopt, "ADNET_ReceiveMessage('onshow');"},
        {"openableURLs", Value{{"sms://", true}, {"tel://", false}},
         "ADNET_ReceiveMessage('openableURLs', {\"sms://\":true,\"tel://\":false});"},
        {"onScreenInfoChanged", Value::dictionary(), "ADNET_ReceiveMessage('onScreenInfoChanged', {});"},
        {"bad", Value{{"when", Value(Date{})}}, "ADNET_ReceiveMessage('bad', null);"},
        {"bad", Value::array({Value(1)}), "ADNET_ReceiveMessage('bad', null);"},
    };
    for (const Case& c : cases) {
        CAPTURE(c.text);
        CHECK(AKNotificationCenter::JSCommandForNotificationName(c.name, c.payload) == c.text);
    }
}

TEST_CASE("page events reach the web view on the main queue in the order they were posted, from any thread") {
    const RecordedAdWebView page;
    AKNotificationCenter::postJSNotification("first", std::nullopt, page.view);
    CHECK(page.events().empty());  // evaluated later, on the main queue
    std::thread([&] { AKNotificationCenter::postJSNotification("second", Value{{"n", 2}}, page.view); }).join();
    AKNotificationCenter::postJSNotification("third", std::nullopt, page.view);
    waitFor([&] { return page.events().size() == 3; }, "three page events");
    CHECK(page.events() == std::vector<std::string>{"ADNET_ReceiveMessage('first');",
                                                    "ADNET_ReceiveMessage('second', {\"n\":2});",
                                                    "ADNET_ReceiveMessage('third');"});
}

TEST_CASE("a message no handler took is posted later only to the observers of the web view that sent it") {
    const RecordedAdWebView sender;
    const RecordedAdWebView other;
    auto observer = std::make_shared<NSObject>();
    std::vector<std::string> heard;
    auto center = AKNotificationCenter::defaultCenter();
    center->addObserver(observer, [&](const NSNotification& n) { heard.push_back("sender k=" + n.userInfo()["k"].stringValue()); },
                        "customMessage", sender.view);
    center->addObserver(observer, [&](const NSNotification&) { heard.push_back("any sender"); }, "customMessage");
    center->addObserver(observer, [&](const NSNotification&) { heard.push_back("other view"); }, "customMessage",
                        other.view);

    AKNotificationCenter::postNotificationFromURL("amsg://x/customMessage?k=v", sender.view, -1);
    CHECK(heard.empty());  // posted on the main queue, not during the call
    waitFor([&] { return !heard.empty(); }, "the unhandled message to reach the sender's observer");
    CHECK(heard == std::vector<std::string>{"sender k=v"});
    center->removeObserver(observer.get());
}
