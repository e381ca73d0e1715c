// Protects user defaults: every property-list value across instances, refusals, failed and atomic writes, corrupt files, registered defaults, suites.
#include <doctest/doctest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <mutex>
#include <string>
#include <vector>

#include "platform/foundation/AppHome.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSData.h"
#include "platform/foundation/NSFileManager.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSUserDefaults.h"
#include "support/TestEnvironment.h"

namespace {

// Collects console lines while alive.
struct LogCapture {
    LogCapture() {
        setLogHook([this](const std::string& line) {
            std::lock_guard lock(mutex);
            lines.push_back(line);
        });
    }
    ~LogCapture() { setLogHook(nullptr); }
    bool contains(const std::string& text) {
        std::lock_guard lock(mutex);
        for (const auto& l : lines)
            if (l.find(text) != std::string::npos) return true;
        return false;
    }
    std::mutex mutex;
    std::vector<std::string> lines;
};

std::vector<std::string> preferenceFiles() {
    return NSFileManager::defaultManager()->contentsOfDirectoryAtPath(AppHome::preferences()).value_or(
        std::vector<std::string>{});
}

class Probe : public NSObject {};

}  // namespace

TEST_CASE("user defaults persist every kind of property list value across instances") {
    testsupport::TempHome home;
    Value nested{{"list", Value::array({1, "two", Value(Data{0, 1, 2}), Value(Date{1234.5})})},
                 {"$data", "a key that looks like a tag"}};
    Value lonelyTag{{"$date", "only key"}};
    {
        auto first = NSUserDefaults::initWithSuiteName("test.persist");
        REQUIRE(first);
        CHECK(first->setObject("popular", "kStateMovieFilter"));
        CHECK(first->setObject(Value(std::int64_t{9007199254740993}), "big"));
        CHECK(first->setObject(Value(std::numeric_limits<std::uint64_t>::max()), "ubig"));
        CHECK(first->setObject(true, "flag"));
        CHECK(first->setObject(2.0, "two"));
        CHECK(first->setObject(std::numeric_limits<double>::infinity(), "inf"));
        CHECK(first->setObject(Value(Data{0xDE, 0xAD, 0xBE, 0xEF, 0x00}), "bytes"));
        CHECK(first->setObject(Value(Date{1700000000.25}), "when"));
        CHECK(first->setObject(nested, "nested"));
        CHECK(first->setObject(lonelyTag, "tagLike"));
        CHECK(first->setObject(Value::dictionary(), "empty"));
    }
    // A new instance over the same file: what a restart sees.
    auto second = NSUserDefaults::initWithSuiteName("test.persist");
    CHECK(second->stringForKey("kStateMovieFilter") == "popular");
    CHECK(second->integerForKey("big") == 9007199254740993);
    CHECK(second->objectForKey("ubig").type() == Value::Type::Unsigned);
    CHECK(second->objectForKey("ubig").unsignedLongLongValue() == std::numeric_limits<std::uint64_t>::max());
    CHECK(second->boolForKey("flag"));
    CHECK(second->objectForKey("two").type() == Value::Type::Double);
    CHECK(std::isinf(second->doubleForKey("inf")));
    CHECK(second->dataForKey("bytes") == Data{0xDE, 0xAD, 0xBE, 0xEF, 0x00});
    CHECK(second->objectForKey("when").date() == Date{1700000000.25});
    CHECK(second->objectForKey("nested") == nested);
    CHECK(second->objectForKey("tagLike") == lonelyTag);
    CHECK(second->dictionaryForKey("empty").isDictionary());
    CHECK(second->dictionaryForKey("empty").count() == 0);
    CHECK(NSFileManager::defaultManager()->fileExistsAtPath(AppHome::preferences() + "/test.persist.json"));
}

TEST_CASE("user defaults refuse null and objects with an error and a console line") {
    testsupport::TempHome home;
    LogCapture log;
    auto defaults = NSUserDefaults::initWithSuiteName("test.refuse");
    REQUIRE(defaults->setObject("kept", "key"));

    NSErrorPtr error;
    CHECK_FALSE(defaults->setObject(Value(), "key", &error));
    REQUIRE(error);
    CHECK(error->domain() == NSCocoaErrorDomain);
    CHECK(error->code() == NSPropertyListWriteInvalidError);
    CHECK(error->localizedDescription().find("key") != std::string::npos);
    CHECK(defaults->stringForKey("key") == "kept");  // the old value stays

    error.reset();
    CHECK_FALSE(defaults->setObject(Value::array({1, Value()}), "list", &error));
    CHECK(error);
    error.reset();
    CHECK_FALSE(defaults->setObject(Value{{"inner", Value(std::make_shared<Probe>())}}, "dict", &error));
    REQUIRE(error);
    CHECK(error->localizedDescription().find("Probe") != std::string::npos);
    CHECK(log.contains("\"dict\""));
    CHECK(log.contains("\"list\""));
    CHECK_FALSE(defaults->objectForKey("list"));
    CHECK_FALSE(defaults->objectForKey("dict"));
    // Nothing refused reached the file.
    auto reread = NSUserDefaults::initWithSuiteName("test.refuse");
    CHECK_FALSE(reread->objectForKey("list"));
    CHECK(reread->dictionaryRepresentation().count() == 1);
}

TEST_CASE("user defaults writes leave no temporary files") {
    testsupport::TempHome home;
    auto defaults = NSUserDefaults::initWithSuiteName("test.atomic");
    for (int i = 0; i < 20; ++i) defaults->setInteger(i, "k" + std::to_string(i));
    defaults->removeObjectForKey("k3");
    CHECK(defaults->synchronize());
    CHECK(preferenceFiles() == std::vector<std::string>{"test.atomic.json"});
    auto reread = NSUserDefaults::initWithSuiteName("test.atomic");
    CHECK(reread->integerForKey("k19") == 19);
    CHECK_FALSE(reread->objectForKey("k3"));
}

TEST_CASE("user defaults report a failed write from synchronize and keep the value") {
    testsupport::TempHome home;
    LogCapture log;
    auto defaults = NSUserDefaults::initWithSuiteName("test.blocked");
    std::string path = defaults->filePath();
    // A directory where the file belongs makes every write fail, whoever runs the test.
    REQUIRE(NSFileManager::defaultManager()->createDirectoryAtPath(path, false));
    CHECK(defaults->setObject("value", "key"));
    CHECK(defaults->stringForKey("key") == "value");
    CHECK_FALSE(defaults->synchronize());
    CHECK(log.contains("cannot write"));
    // No temporary file stays behind.
    for (const auto& name : preferenceFiles()) CHECK(name == "test.blocked.json");
    // Once the way is clear the pending change is written.
    REQUIRE(NSFileManager::defaultManager()->removeItemAtPath(path));
    CHECK(defaults->synchronize());
    CHECK(NSUserDefaults::initWithSuiteName("test.blocked")->stringForKey("key") == "value");
}

TEST_CASE("a corrupt preferences file is moved aside and the domain starts empty") {
    testsupport::TempHome home;
    LogCapture log;
    auto probe = NSUserDefaults::initWithSuiteName("test.corrupt");
    std::string path = probe->filePath();
    REQUIRE(writeToFile(dataFromString("{\"key\": \"val"), path, false));

    auto defaults = NSUserDefaults::initWithSuiteName("test.corrupt");
    CHECK_FALSE(defaults->objectForKey("key"));
    CHECK(log.contains(path));
    auto kept = dataWithContentsOfFile(path + ".corrupt");
    REQUIRE(kept);
    CHECK(stringFromData(*kept) == "{\"key\": \"val");
    CHECK(defaults->setObject("fresh", "key"));
    CHECK(NSUserDefaults::initWithSuiteName("test.corrupt")->stringForKey("key") == "fresh");

    // Valid JSON of the wrong shape counts as corrupt too, and an earlier copy is not overwritten.
    REQUIRE(writeToFile(dataFromString("[1, 2, 3]"), path, false));
    auto again = NSUserDefaults::initWithSuiteName("test.corrupt");
    CHECK(again->dictionaryRepresentation().count() == 0);
    CHECK(stringFromData(*dataWithContentsOfFile(path + ".corrupt")) == "{\"key\": \"val");
    CHECK(stringFromData(*dataWithContentsOfFile(path + ".corrupt.1")) == "[1, 2, 3]");

    // A tagged value that does not decode (bad base64) is no better.
    REQUIRE(writeToFile(dataFromString(R"({"bytes": {"$data": "not base64!"}})"), path, false));
    CHECK_FALSE(NSUserDefaults::initWithSuiteName("test.corrupt")->objectForKey("bytes"));
    CHECK(NSFileManager::defaultManager()->fileExistsAtPath(path + ".corrupt.2"));
}

TEST_CASE("a preferences file past the size limit is moved aside unread, one at the limit is read") {
    testsupport::TempHome home;
    LogCapture log;
    std::string path = NSUserDefaults::initWithSuiteName("test.large")->filePath();
    // Valid defaults padded with blanks after the dictionary to the size wanted.
    auto writeDefaults = [&](std::int64_t size) {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        const std::string head = R"({"key": "kept"})";
        out << head;
        const std::string blanks(1 << 20, ' ');
        for (std::int64_t left = size - static_cast<std::int64_t>(head.size()); left > 0;
             left -= static_cast<std::int64_t>(blanks.size()))
            out.write(blanks.data(), std::min<std::int64_t>(left, static_cast<std::int64_t>(blanks.size())));
    };
    writeDefaults(NSUserDefaults::kMaximumFileSize);
    CHECK(NSUserDefaults::initWithSuiteName("test.large")->stringForKey("key") == "kept");

    writeDefaults(NSUserDefaults::kMaximumFileSize + 1);
    auto defaults = NSUserDefaults::initWithSuiteName("test.large");
    CHECK_FALSE(defaults->objectForKey("key"));
    CHECK(log.contains(path));
    CHECK(std::filesystem::file_size(path + ".corrupt") == static_cast<std::uintmax_t>(NSUserDefaults::kMaximumFileSize + 1));
    CHECK(defaults->setObject("fresh", "key"));
    CHECK(NSUserDefaults::initWithSuiteName("test.large")->stringForKey("key") == "fresh");

    // A sparse file of 256 MiB goes aside the same way, without being read.
    REQUIRE(::truncate(path.c_str(), 256ll << 20) == 0);
    CHECK_FALSE(NSUserDefaults::initWithSuiteName("test.large")->objectForKey("key"));
    CHECK(std::filesystem::file_size(path + ".corrupt.1") == (256ull << 20));
}

TEST_CASE("user defaults typed accessors convert by the value rules") {
    testsupport::TempHome home;
    auto d = NSUserDefaults::initWithSuiteName("test.typed");
    d->setObject(42, "number");
    d->setObject("12abc", "numericText");
    d->setObject("YES", "yes");
    d->setObject(Value::array({1, 2}), "list");
    d->setObject(Value{{"a", 1}}, "dict");
    CHECK(d->stringForKey("number") == "42");
    CHECK_FALSE(d->stringForKey("list"));
    CHECK(d->integerForKey("numericText") == 12);
    CHECK(d->doubleForKey("numericText") == 12.0);
    CHECK(d->boolForKey("yes"));
    CHECK_FALSE(d->boolForKey("missing"));
    CHECK(d->integerForKey("list") == 0);
    CHECK(d->arrayForKey("list").count() == 2);
    CHECK_FALSE(d->arrayForKey("dict"));
    CHECK(d->dictionaryForKey("dict")["a"] == Value(1));
    CHECK_FALSE(d->dictionaryForKey("list"));
    CHECK_FALSE(d->dataForKey("number"));
}

TEST_CASE("user defaults hand out copies of stored containers") {
    testsupport::TempHome home;
    auto d = NSUserDefaults::initWithSuiteName("test.copies");
    Value dict{{"a", 1}};
    d->setObject(dict, "dict");
    dict.setObject("a", 2);  // changing the caller's value after the set
    Value read = d->dictionaryForKey("dict");
    read.setObject("b", 3);  // changing what was read
    CHECK(d->dictionaryForKey("dict") == Value{{"a", 1}});
}

TEST_CASE("registered defaults are fallbacks that are never written") {
    testsupport::TempHome home;
    LogCapture log;
    auto d = NSUserDefaults::initWithSuiteName("test.registered");
    d->registerDefaults(Value{{"kStateMovieFilter", "popular"}, {"count", 30}, {"bad", Value()}});
    CHECK(d->stringForKey("kStateMovieFilter") == "popular");
    CHECK(d->integerForKey("count") == 30);
    CHECK_FALSE(d->objectForKey("bad"));
    CHECK(log.contains("\"bad\""));
    d->setObject("rating", "kStateMovieFilter");
    CHECK(d->stringForKey("kStateMovieFilter") == "rating");
    d->removeObjectForKey("kStateMovieFilter");
    CHECK(d->stringForKey("kStateMovieFilter") == "popular");
    CHECK(d->dictionaryRepresentation()["count"] == Value(30));
    auto other = NSUserDefaults::initWithSuiteName("test.registered");
    CHECK_FALSE(other->objectForKey("count"));
}

TEST_CASE("two live instances of one domain see and keep each other's changes") {
    testsupport::TempHome home;
    auto a = NSUserDefaults::initWithSuiteName("test.shared");
    auto b = NSUserDefaults::initWithSuiteName("test.shared");
    a->setObject("from a", "x");
    CHECK(b->stringForKey("x") == "from a");
    b->setObject("from b", "y");
    a->setObject("again a", "z");  // must not drop b's key
    auto c = NSUserDefaults::initWithSuiteName("test.shared");
    CHECK(c->stringForKey("x") == "from a");
    CHECK(c->stringForKey("y") == "from b");
    CHECK(c->stringForKey("z") == "again a");
    b->removeObjectForKey("x");
    CHECK_FALSE(a->objectForKey("x"));
}

TEST_CASE("standard user defaults use the bundle identifier and follow the home") {
    NSUserDefaults::resetStandardUserDefaults();
    {
        testsupport::TempHome first;
        auto standard = NSUserDefaults::standardUserDefaults();
        CHECK(standard->domain() == NSBundle::mainBundle()->bundleIdentifier());
        CHECK(standard == NSUserDefaults::standardUserDefaults());
        standard->setObject("first home", "where");
        CHECK(NSFileManager::defaultManager()->fileExistsAtPath(AppHome::preferences() + "/" + standard->domain() +
                                                                 ".json"));
        {
            testsupport::TempHome second;
            // The same instance reads the new home's (empty) file.
            CHECK_FALSE(standard->objectForKey("where"));
            standard->setObject("second home", "where");
        }
        CHECK(standard->stringForKey("where") == "first home");
        NSUserDefaults::resetStandardUserDefaults();
        auto fresh = NSUserDefaults::standardUserDefaults();
        CHECK(fresh != standard);
        CHECK(fresh->stringForKey("where") == "first home");
    }
    NSUserDefaults::resetStandardUserDefaults();
}

TEST_CASE("suite names that cannot be file names are refused") {
    testsupport::TempHome home;
    CHECK_FALSE(NSUserDefaults::initWithSuiteName("../escape"));
    CHECK_FALSE(NSUserDefaults::initWithSuiteName("a/b"));
    CHECK_FALSE(NSUserDefaults::initWithSuiteName(".hidden"));
    auto main = NSUserDefaults::initWithSuiteName("");
    REQUIRE(main);
    CHECK(main->domain() == NSBundle::mainBundle()->bundleIdentifier());
}
