// Protects the object model basics: key-value observation, associated objects, class-registry conformance of objects, notifications and their observers (also posts to one object's observers only), formatting and errors.
#include <doctest/doctest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "platform/dispatch/Dispatch.h"
#include "platform/foundation/ClassRegistry.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/MachTime.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSObject.h"
#include "platform/runloop/NSThread.h"
#include "support/TestEnvironment.h"

using testsupport::runMainUntil;

namespace {

class Movie : public NSObject {
public:
    void setTitle(std::string t) {
        willChangeValueForKey("title");
        title_ = std::move(t);
        didChangeValueForKey("title");
    }
    const std::string& title() const { return title_; }
    std::string description() const override { return "Movie(" + title_ + ")"; }

private:
    std::string title_;
};

class Listener : public NSObject {
public:
    std::vector<std::string> received;
};

const char kTagKey = 0;
const char kOtherKey = 0;

class RegistryDelegate : public NSObject {
public:
    std::string className() const override { return "RegistryDelegate"; }
};
class RegistryDelegateSubclass : public RegistryDelegate {
public:
    std::string className() const override { return "RegistryDelegateSubclass"; }
};

}  // namespace

// ---- Class registry ----------------------------------------------------------------------

TEST_CASE("an object conforms to the protocols its class or a superclass lists and to what those inherit") {
    ClassRegistry::registerProtocol("RegistryBase");
    ClassRegistry::registerProtocol("RegistryMiddle", {"RegistryBase"});
    ClassRegistry::registerProtocol("RegistryLeaf", {"RegistryMiddle"});
    ClassRegistry::registerProtocol("RegistryCycleA", {"RegistryCycleB"});
    ClassRegistry::registerProtocol("RegistryCycleB", {"RegistryCycleA"});
    ClassRegistry::registerClass({"RegistryDelegate", "NSObject", {"RegistryLeaf", "RegistryCycleA"}, nullptr});
    ClassRegistry::registerClass({"RegistryDelegateSubclass", "RegistryDelegate", {}, nullptr});
    RegistryDelegate object;
    RegistryDelegateSubclass subclassObject;
    NSObject unregistered;
    struct Row {
        const NSObject* object;
        const char* protocol;
        bool conforms;
    };
    const Row rows[] = {
        {&object, "RegistryLeaf", true},          {&object, "RegistryMiddle", true},
        {&object, "RegistryBase", true},          {&subclassObject, "RegistryBase", true},
        {&object, "RegistryOther", false},        {&object, "RegistryCycleB", true},
        {&object, "RegistryCycleNone", false},    {&unregistered, "RegistryBase", false},
    };
    for (const Row& row : rows) {
        CAPTURE(row.object->className());
        CAPTURE(std::string(row.protocol));
        CHECK(NSObjectConformsToProtocol(*row.object, row.protocol) == row.conforms);
    }
    CHECK_FALSE(ClassRegistry::protocolConformsTo("RegistryBase", "RegistryLeaf"));

    // A class made from a dictionary through its factory, which may refuse it.
    ClassRegistry::registerClass({"RegistryMade", "NSObject", {}, nullptr, [](const Value& d) {
                                      return d["ok"].boolValue() ? std::make_shared<NSObject>() : nullptr;
                                  }});
    CHECK(ClassRegistry::createWithDictionary("RegistryMade", Value({{"ok", Value(true)}})) != nullptr);
    CHECK(ClassRegistry::createWithDictionary("RegistryMade", Value::dictionary()) == nullptr);
    CHECK(ClassRegistry::createWithDictionary("RegistryDelegate", Value({{"ok", Value(true)}})) == nullptr);

    // Instance and class-level operations, inherited and overridden along the superclass chain.
    ClassRegistry::registerClass({"RegistryOps", "NSObject", {}, nullptr, nullptr, {"takeSize:"},
                                  {{"version", [] { return Value("1.0"); }}, {"extras", [] { return Value(); }}}});
    ClassRegistry::registerClass({"RegistryOpsSub", "RegistryOps", {}, nullptr, nullptr, {"resize:"},
                                  {{"version", [] { return Value("2.0"); }}}});
    CHECK(ClassRegistry::instancesRespondTo("RegistryOpsSub", "takeSize:"));
    CHECK(ClassRegistry::instancesRespondTo("RegistryOpsSub", "resize:"));
    CHECK_FALSE(ClassRegistry::instancesRespondTo("RegistryOps", "resize:"));
    CHECK_FALSE(ClassRegistry::instancesRespondTo("RegistryUnknown", "takeSize:"));
    CHECK(ClassRegistry::classRespondsTo("RegistryOpsSub", "extras"));
    CHECK_FALSE(ClassRegistry::classRespondsTo("RegistryOpsSub", "takeSize:"));
    CHECK(ClassRegistry::callClassOperation("RegistryOpsSub", "version") == std::optional<Value>(Value("2.0")));
    CHECK(ClassRegistry::callClassOperation("RegistryOps", "version") == std::optional<Value>(Value("1.0")));
    CHECK_FALSE(ClassRegistry::callClassOperation("RegistryOps", "resize:").has_value());
}

// ---- Key-value observation -------------------------------------------------------------

TEST_CASE("key value observers run on every set and stop when the token goes") {
    auto movie = std::make_shared<Movie>();
    std::vector<std::string> seen;
    {
        auto token = movie->observeValueForKey("title", [&](const std::string& key) {
            seen.push_back(key + "=" + movie->title());
        });
        CHECK(movie->observerCount("title") == 1);
        movie->setTitle("A");
        movie->setTitle("A");  // the same value fires again
        movie->setTitle("B");
        CHECK(token.connected());
    }
    CHECK(movie->observerCount("title") == 0);
    movie->setTitle("C");
    CHECK(seen == std::vector<std::string>{"title=A", "title=A", "title=B"});
}

TEST_CASE("prior observers see the old value and explicit disconnect works") {
    auto movie = std::make_shared<Movie>();
    movie->setTitle("old");
    std::vector<std::string> seen;
    auto prior = movie->observeValueForKey("title", [&](const std::string&) { seen.push_back("before " + movie->title()); }, true);
    auto after = movie->observeValueForKey("title", [&](const std::string&) { seen.push_back("after " + movie->title()); });
    auto other = movie->observeValueForKey("year", [&](const std::string&) { seen.push_back("year"); });
    movie->setTitle("new");
    CHECK(seen == std::vector<std::string>{"before old", "after new"});
    after.disconnect();
    CHECK_FALSE(after.connected());
    movie->setTitle("newer");
    CHECK(seen.back() == "before new");
    CHECK(movie->observerCount("title") == 1);
    CHECK(movie->observerCount("year") == 1);
}

TEST_CASE("an observation token outliving its object disconnects harmlessly") {
    ObservationToken token;
    {
        auto movie = std::make_shared<Movie>();
        token = movie->observeValueForKey("title", [](const std::string&) {});
        // A moved-into token takes over the observation.
        ObservationToken second = movie->observeValueForKey("title", [](const std::string&) {});
        ObservationToken moved = std::move(second);
        CHECK(movie->observerCount("title") == 2);
        CHECK_FALSE(second.connected());
    }
    token.disconnect();  // the object is gone: nothing to do, nothing touched
    CHECK_FALSE(token.connected());
}

// ---- Associated objects -------------------------------------------------------------------

TEST_CASE("associated objects are kept per key and released with the object") {
    std::weak_ptr<std::string> watch;
    {
        auto movie = std::make_shared<Movie>();
        auto tag = std::make_shared<std::string>("tag");
        watch = tag;
        movie->setAssociatedObject(&kTagKey, tag);
        movie->setAssociatedObject(&kOtherKey, std::make_shared<int>(5));
        tag.reset();
        REQUIRE(movie->associated<std::string>(&kTagKey));
        CHECK(*movie->associated<std::string>(&kTagKey) == "tag");
        CHECK(*movie->associated<int>(&kOtherKey) == 5);
        movie->setAssociatedObject(&kOtherKey, nullptr);
        CHECK_FALSE(movie->associatedObject(&kOtherKey));
        CHECK_FALSE(watch.expired());
    }
    CHECK(watch.expired());
}

// ---- Notifications ---------------------------------------------------------------------------

TEST_CASE("notification observers filter by sender") {
    auto center = std::make_shared<NSNotificationCenter>();
    auto listener = std::make_shared<Listener>();
    auto a = std::make_shared<Movie>();
    auto b = std::make_shared<Movie>();
    a->setTitle("a");
    b->setTitle("b");
    center->addObserver(listener, [&](const NSNotification& n) { listener->received.push_back("onlyA:" + n.object()->description()); },
                        "kUpdate", a);
    center->addObserver(listener, [&](const NSNotification& n) {
        listener->received.push_back("any:" + (n.object() ? n.object()->description() : std::string("nil")));
    }, "kUpdate");
    center->postNotificationName("kUpdate", a);
    center->postNotificationName("kUpdate", b);
    center->postNotificationName("kUpdate");
    center->postNotificationName("kOther", a);
    CHECK(listener->received ==
          std::vector<std::string>{"onlyA:Movie(a)", "any:Movie(a)", "any:Movie(b)", "any:nil"});

    // Posting to the observers of the object only: those of every sender hear nothing.
    listener->received.clear();
    center->postNotificationToObserversOfObject(NSNotification("kUpdate", a));
    center->postNotificationToObserversOfObject(NSNotification("kUpdate", b));
    center->postNotificationToObserversOfObject(NSNotification("kUpdate"));
    CHECK(listener->received == std::vector<std::string>{"onlyA:Movie(a)"});
}

TEST_CASE("notification observers are removed by name or entirely") {
    auto center = std::make_shared<NSNotificationCenter>();
    auto listener = std::make_shared<Listener>();
    auto handler = [&](const NSNotification& n) { listener->received.push_back(n.name()); };
    center->addObserver(listener, handler, "kStart");
    center->addObserver(listener, handler, "kStop");
    center->postNotificationName("kStart");
    center->removeObserver(listener.get(), "kStart");
    center->postNotificationName("kStart");
    center->postNotificationName("kStop");
    CHECK(center->observerCount("kStart") == 0);
    center->removeObserver(listener.get());
    center->postNotificationName("kStop");
    CHECK(listener->received == std::vector<std::string>{"kStart", "kStop"});
    CHECK(center->observerCount("kStop") == 0);
}

TEST_CASE("notification observers are held weakly") {
    auto center = std::make_shared<NSNotificationCenter>();
    int calls = 0;
    auto listener = std::make_shared<Listener>();
    center->addObserver(listener, [&calls](const NSNotification&) { ++calls; }, "kPing");
    center->postNotificationName("kPing");
    CHECK(calls == 1);
    CHECK(center->observerCount("kPing") == 1);
    listener.reset();
    center->postNotificationName("kPing");
    CHECK(calls == 1);
    CHECK(center->observerCount("kPing") == 0);
}

TEST_CASE("block observers with a queue get the notification on that queue") {
    auto center = std::make_shared<NSNotificationCenter>();
    std::atomic<int> onMain{0};
    std::atomic<bool> wrongThread{false};
    std::string userInfoSeen;
    auto token = center->addObserverForName("kFinish", nullptr, dispatch_get_main_queue(), [&](const NSNotification& n) {
        if (!NSThread::isMainThread()) wrongThread = true;
        userInfoSeen = n.userInfo()["file"].stringValue();
        ++onMain;
    });
    // Posted from another thread, delivered later on the main queue.
    std::thread poster([&] { center->postNotificationName("kFinish", nullptr, Value{{"file", "movie.mp4"}}); });
    poster.join();
    REQUIRE(runMainUntil([&] { return onMain == 1; }, 5));
    CHECK_FALSE(wrongThread);
    CHECK(userInfoSeen == "movie.mp4");

    auto serial = dispatch_queue_create("com.quorvane.test.notifications");
    std::atomic<bool> done{false};
    std::string label;
    auto token2 = center->addObserverForName("kFinish", nullptr, serial, [&](const NSNotification&) {
        label = dispatch_queue_get_label(nullptr);
        done = true;
    });
    center->removeObserver(token.get());  // the first block stops
    center->postNotificationName("kFinish");
    REQUIRE(runMainUntil([&] { return done.load(); }, 5));
    CHECK(label == "com.quorvane.test.notifications");
    CHECK(onMain == 1);
    center->removeObserver(token2.get());
    CHECK(center->observerCount("kFinish") == 0);
}

// ---- Formats ----------------------------------------------------------------------------------

TEST_CASE("format handles objects integers hex and fixed point") {
    auto movie = std::make_shared<Movie>();
    movie->setTitle("Up");
    CHECK(format("%@|%d|%02X|%.2f", "str", 42, 10, 3.14159) == "str|42|0A|3.14");
    CHECK(format("%@ and %@", movie, Value(1.5)) == "Movie(Up) and 1.5");
    CHECK(format("%@", nullptr) == "(null)");
    CHECK(format("%d%%", -7) == "-7%");
    CHECK(format("%X", -1) == "FFFFFFFF");
    CHECK(format("%02x", 255) == "ff");
    CHECK(format("%5d|%-3d|", 42, 7) == "   42|7  |");
    CHECK(format("%ld %lld %zu", 1L, 2LL, std::size_t{3}) == "1 2 3");
    CHECK(format("%@", Value::array({1, "a"})) == "(\n    1,\n    a\n)");
    CHECK(format("%d and %@") == "0 and (null)");  // missing arguments
    CHECK(format("%0.1g", 0.9f) == "0.9");
    CHECK(format("%s", std::string("plain")) == "plain");
}

TEST_CASE("errors carry domain code and description") {
    auto error = NSError::make("com.netline.error.serialization.response", -1011, "Request failed");
    CHECK(error->domain() == "com.netline.error.serialization.response");
    CHECK(error->code() == -1011);
    CHECK(error->localizedDescription() == "Request failed");
    auto wrapped = NSError::errorWithDomain(NSURLErrorDomain, -999, Value{{NSUnderlyingErrorKey, Value(error)}});
    CHECK(wrapped->underlyingError() == error);
    CHECK(wrapped->localizedDescription().find("-999") != std::string::npos);
    CHECK(format("%@", wrapped).find("Code=-999") != std::string::npos);
}

TEST_CASE("the tick counter never goes back when tests set the clock back, and moves with it") {
    const double real = Clock::now();
    const std::uint64_t t0 = mach_absolute_time();
    std::uint64_t last = t0;
    // Virtual time far behind, then far ahead of the real time, then real time again.
    for (const double start : {real - 1.0e8, real + 2.0e9, 0.0}) {
        if (start == 0) {
            Clock::useRealTime();
        } else {
            Clock::useVirtualTime(start);
        }
        const std::uint64_t before = mach_absolute_time();
        CHECK(before >= last);
        if (Clock::isVirtual()) {
            Clock::advance(1.5);
            CHECK(mach_absolute_time() - before == 1500000000u);
        }
        last = mach_absolute_time();
    }
    CHECK(last > t0);
}
