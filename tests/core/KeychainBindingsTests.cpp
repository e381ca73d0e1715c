// Protects the keychain bindings: strings stored as generic-password items, writes skipped when unchanged, removal, the buffer and logged failures.
#include <doctest/doctest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "core/KSKeychainBindings.h"
#include "core/KSKeychainBindingsController.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSLog.h"
#include "platform/security/Keychain.h"
#include "support/TestEnvironment.h"

namespace {

// Console lines while the object lives.
struct LogCapture {
    std::vector<std::string> lines;
    LogCapture() {
        setLogHook([this](const std::string& line) { lines.push_back(line); });
    }
    ~LogCapture() { setLogHook(nullptr); }
};

// Points the keychain at a path while the object lives.
struct KeychainAt {
    explicit KeychainAt(const std::string& path) { setenv("QUORVANE_KEYCHAIN", path.c_str(), 1); }
    ~KeychainAt() { unsetenv("QUORVANE_KEYCHAIN"); }
};

// The data of the item (service = bundle identifier, account = key), read
// straight from the keychain.
std::optional<std::string> itemText(const std::string& key) {
    Value query{{kSecClass, kSecClassGenericPassword},
                {kSecAttrService, NSBundle::mainBundle()->bundleIdentifier()},
                {kSecAttrAccount, key},
                {kSecReturnAttributes, true},
                {kSecReturnData, true}};
    Value result;
    if (SecItemCopyMatching(query, &result) != errSecSuccess) return std::nullopt;
    return stringFromData(*result[kSecValueData].data());
}

Value itemAttributes(const std::string& key) {
    Value query{{kSecClass, kSecClassGenericPassword}, {kSecAttrAccount, key}, {kSecReturnAttributes, true}};
    Value result;
    SecItemCopyMatching(query, &result);
    return result;
}

ino_t keychainInode() {
    struct stat st {};
    if (::stat(AppHome::keychainFile().c_str(), &st) != 0) return 0;
    return st.st_ino;
}

std::shared_ptr<KSKeychainBindingsController> freshController() {
    return std::make_shared<KSKeychainBindingsController>();
}

}  // namespace

TEST_CASE("keychain bindings store strings as generic-password items of the bundle") {
    testsupport::TempHome home;
    auto controller = freshController();
    auto bindings = controller->keychainBindings();
    CHECK(controller->serviceName() == "com.quorvane.app");
    CHECK(controller->keychainBindings() == bindings);

    bindings->setObject(Value("4F2A"), "kdevice_id_vomblecast");
    CHECK(itemText("kdevice_id_vomblecast") == "4F2A");
    Value attrs = itemAttributes("kdevice_id_vomblecast");
    CHECK(attrs[kSecAttrService] == Value("com.quorvane.app"));
    CHECK(attrs[kSecAttrAccessible] == Value(kSecAttrAccessibleWhenUnlocked));
    CHECK(bindings->objectForKey("kdevice_id_vomblecast") == Value("4F2A"));
    CHECK(bindings->stringForKey("kdevice_id_vomblecast") == "4F2A");
    CHECK(controller->values()["kdevice_id_vomblecast"] == Value("4F2A"));

    // Another controller (a later launch) reads the item from the keychain.
    auto later = freshController();
    CHECK(later->values().count() == 0);
    CHECK(later->keychainBindings()->objectForKey("kdevice_id_vomblecast") == Value("4F2A"));
    CHECK(later->values()["kdevice_id_vomblecast"] == Value("4F2A"));

    // The accessibility attribute goes with the item.
    bindings->setString(std::string("x"), "other", kSecAttrAccessibleAfterFirstUnlock);
    CHECK(itemAttributes("other")[kSecAttrAccessible] == Value(kSecAttrAccessibleAfterFirstUnlock));
    bindings->setString(std::string("y"), "other", kSecAttrAccessibleAlways);
    CHECK(itemText("other") == "y");
    CHECK(itemAttributes("other")[kSecAttrAccessible] == Value(kSecAttrAccessibleAlways));
}

TEST_CASE("setting the same string again performs no keychain write") {
    testsupport::TempHome home;
    auto controller = freshController();  // the facade refers to it weakly
    auto bindings = controller->keychainBindings();
    bindings->setObject(Value("same"), "k");
    const ino_t first = keychainInode();
    REQUIRE(first != 0);
    bindings->setObject(Value("same"), "k");
    CHECK(keychainInode() == first);  // every write replaces the file
    bindings->setObject(Value("changed"), "k");
    CHECK(keychainInode() != first);
    CHECK(itemText("k") == "changed");
}

TEST_CASE("removeObjectForKey deletes the item and drops the key from the buffer") {
    testsupport::TempHome home;
    auto controller = freshController();
    auto bindings = controller->keychainBindings();
    bindings->setObject(Value("v"), "gone");
    REQUIRE(itemText("gone") == "v");
    bindings->removeObjectForKey("gone");
    CHECK_FALSE(itemText("gone").has_value());
    CHECK(controller->values().count() == 0);
    CHECK(bindings->objectForKey("gone").isNull());
    CHECK_FALSE(bindings->stringForKey("gone").has_value());
}

TEST_CASE("the buffer answers for an item that went missing") {
    testsupport::TempHome home;
    auto controller = freshController();
    auto bindings = controller->keychainBindings();
    bindings->setObject(Value("kept"), "k");
    Value query{{kSecClass, kSecClassGenericPassword}, {kSecAttrAccount, "k"}};
    REQUIRE(SecItemDelete(query) == errSecSuccess);
    CHECK(bindings->objectForKey("k") == Value("kept"));
    // An item changed behind our back is read again.
    REQUIRE(controller->storeString(std::string("newer"), "k"));
    CHECK(bindings->objectForKey("k") == Value("newer"));
}

TEST_CASE("key paths outside values bypass the keychain") {
    testsupport::TempHome home;
    LogCapture log;
    auto controller = freshController();
    controller->setValue(Value("x"), "other.k");
    controller->setValue(Value("x"), "valuesk");
    CHECK(keychainInode() == 0);  // no keychain file was written
    CHECK(controller->valueForKeyPath("other.k").isNull());
    CHECK(controller->valueForKeyPath("serviceName") == Value("com.quorvane.app"));
    CHECK(controller->values().count() == 0);
    controller->setValue(Value("v"), "values.a.b");
    CHECK(itemText("a.b") == "v");
    CHECK(controller->valueForKeyPath("values")["a.b"] == Value("v"));
}

TEST_CASE("keychain bindings log failed stores with the keychain status") {
    testsupport::TempHome home;
    LogCapture log;
    KeychainAt unwritable("/dev/null/keychain.json");
    auto controller = freshController();
    CHECK_FALSE(controller->storeString(std::string("v"), "k"));
    REQUIRE(log.lines.size() == 1);
    CHECK(log.lines[0] == "Could not store(Add) string. Error was:-36");
    CHECK_FALSE(controller->storeString(std::nullopt, "k"));
    REQUIRE(log.lines.size() == 2);
    CHECK(log.lines[1] == "Could not store(Delete) string. Error was:-25300");
    // The value still lives in the buffer for the rest of the process.
    controller->keychainBindings()->setObject(Value("buffered"), "k");
    CHECK(controller->keychainBindings()->objectForKey("k") == Value("buffered"));
}

TEST_CASE("keychain bindings keep numbers as their text and refuse other values") {
    testsupport::TempHome home;
    LogCapture log;
    auto controller = freshController();  // the facade refers to it weakly
    auto bindings = controller->keychainBindings();
    bindings->setObject(Value(42), "n");
    CHECK(itemText("n") == "42");
    CHECK(bindings->objectForKey("n") == Value("42"));
    bindings->setObject(Value(Data{1, 2}), "d");
    CHECK_FALSE(itemText("d").has_value());
    CHECK(log.lines.size() == 1);
}

TEST_CASE("the shared bindings are one process-wide pair") {
    auto shared = KSKeychainBindings::sharedKeychainBindings();
    CHECK(shared == KSKeychainBindings::sharedKeychainBindings());
    CHECK(shared == KSKeychainBindingsController::sharedKeychainBindingsController()->keychainBindings());
}
