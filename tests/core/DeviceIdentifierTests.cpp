// Protects the device identifier: how it is made on each system, kept in the keychain or its buffer, and stable across processes.
#include <doctest/doctest.h>

#include <sys/stat.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "TestTools.h"
#include "core/Digest.h"
#include "core/KSKeychainBindings.h"
#include "core/KSKeychainBindingsController.h"
#include "core/UIDeviceIdentifierAddition.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/SystemInfo.h"
#include "platform/security/Keychain.h"
#include "platform/uikit/UIDevice.h"
#include "support/TestEnvironment.h"

using coretest::runCommand;
using coretest::shellQuote;

namespace {

// MD5 of a text by the md5sum tool, in upper case.
std::string referenceMD5(const std::string& text) {
    auto r = runCommand("printf %s " + shellQuote(text) + " | md5sum");
    REQUIRE(r.exitCode == 0);
    return coretest::upper(r.output.substr(0, 32));
}

bool isIdentifierText(const std::string& s) {
    if (s.size() != 32) return false;
    for (char c : s)
        if (!std::isxdigit(static_cast<unsigned char>(c)) || std::islower(static_cast<unsigned char>(c))) return false;
    return true;
}

std::optional<std::string> keptIdentifier() {
    Value query{{kSecClass, kSecClassGenericPassword},
                {kSecAttrAccount, kDeviceIdentifierKeychainKey},
                {kSecAttrService, "com.quorvane.app"},
                {kSecReturnData, true}};
    Value result;
    if (SecItemCopyMatching(query, &result) != errSecSuccess) return std::nullopt;
    return stringFromData(*result.data());
}

struct KeychainAt {
    explicit KeychainAt(const std::string& path) { setenv("QUORVANE_KEYCHAIN", path.c_str(), 1); }
    ~KeychainAt() { unsetenv("QUORVANE_KEYCHAIN"); }
};

struct QuietLog {
    QuietLog() {
        setLogHook([](const std::string&) {});
    }
    ~QuietLog() { setLogHook(nullptr); }
};

// A device of its own, a controller standing for one launch of the application.
struct Launch {
    std::shared_ptr<UIDevice> device = std::make_shared<UIDevice>();
    std::shared_ptr<KSKeychainBindingsController> controller = std::make_shared<KSKeychainBindingsController>();
    std::string identifier() { return uniqueGlobalDeviceIdentifier(*device, controller->keychainBindings()); }
};

const std::string kVendorA = "6F1C2B8E-3D4A-4E5F-9A0B-1C2D3E4F5A6B";
const std::string kVendorB = "0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D";

NSUUIDPtr uuid(const std::string& text) {
    auto u = NSUUID::initWithUUIDString(text);
    REQUIRE(u);
    return u;
}

}  // namespace

TEST_CASE("the first identifier on system 6 and later is the MD5 of the vendor identifier and is kept") {
    testsupport::TempHome home;
    Launch launch;
    launch.device->setIdentifierForVendor(uuid(kVendorA));
    const std::string id = launch.identifier();
    CHECK(id == referenceMD5(kVendorA));
    CHECK(keptIdentifier() == id);
    // The second call answers the kept value without asking the vendor identifier.
    launch.device->setIdentifierForVendor(uuid(kVendorB));
    CHECK(launch.identifier() == id);
    // So does a later launch, and one after a reinstall (the same keychain).
    Launch later;
    later.device->setIdentifierForVendor(uuid(kVendorB));
    CHECK(later.identifier() == id);
}

TEST_CASE("system versions compare as numbers") {
    testsupport::TempHome home;
    SystemInfo::setPrimaryInterfaceName(std::string("lo"));
    for (const char* version : {"6.0", "7.1.2", "10.3", "17.0"}) {
        CAPTURE(version);
        KeychainAt keychain(home.path() + "/kc-" + version + ".json");
        Launch launch;
        launch.device->setSystemVersion(version);
        launch.device->setIdentifierForVendor(uuid(kVendorA));
        CHECK(launch.identifier() == referenceMD5(kVendorA));
    }
    for (const char* version : {"5.1.1", "4.3", "5.99"}) {
        CAPTURE(version);
        Launch launch;
        launch.device->setSystemVersion(version);
        launch.device->setIdentifierForVendor(uuid(kVendorA));
        CHECK(launch.identifier() == referenceMD5("00:00:00:00:00:00"));
    }
    SystemInfo::resetOverrides();
}

TEST_CASE("without a vendor identifier a random identifier is made once and kept") {
    testsupport::TempHome home;
    Launch first;
    first.device->setIdentifierForVendor(nullptr);
    const std::string id = first.identifier();
    CHECK(isIdentifierText(id));
    CHECK(id != referenceMD5("(null)"));
    CHECK(id != referenceMD5(""));
    CHECK(keptIdentifier() == id);
    Launch second;
    second.device->setIdentifierForVendor(nullptr);
    CHECK(second.identifier() == id);
    // Another keychain: another identifier.
    KeychainAt other(home.path() + "/other-keychain.json");
    Launch elsewhere;
    elsewhere.device->setIdentifierForVendor(nullptr);
    const std::string otherId = elsewhere.identifier();
    CHECK(isIdentifierText(otherId));
    CHECK(otherId != id);
}

TEST_CASE("after a failed keychain store the identifier comes from the buffer") {
    testsupport::TempHome home;
    QuietLog quiet;
    KeychainAt unwritable("/dev/null/keychain.json");
    Launch launch;
    launch.device->setIdentifierForVendor(uuid(kVendorA));
    const std::string id = launch.identifier();
    CHECK(id == referenceMD5(kVendorA));
    CHECK_FALSE(keptIdentifier().has_value());
    // Not computed again: a changed vendor identifier does not show.
    launch.device->setIdentifierForVendor(uuid(kVendorB));
    CHECK(launch.identifier() == id);
    // The next launch computes it anew from the same vendor identifier.
    Launch next;
    next.device->setIdentifierForVendor(uuid(kVendorA));
    CHECK(next.identifier() == id);
}

TEST_CASE("before system 6 the identifier is the MD5 of the MAC address") {
    testsupport::TempHome home;
    SystemInfo::setPrimaryInterfaceName(std::string("lo"));
    Launch launch;
    launch.device->setSystemVersion("5.1");
    CHECK(launch.identifier() == referenceMD5("00:00:00:00:00:00"));
    CHECK_FALSE(keptIdentifier().has_value());  // nothing goes to the keychain
    CHECK(uniqueDeviceIdentifier(*launch.device) == referenceMD5("00:00:00:00:00:00com.quorvane.app"));
    SystemInfo::resetOverrides();
}

TEST_CASE("before system 6 without a MAC address a kept random identifier stands in") {
    testsupport::TempHome home;
    SystemInfo::setPrimaryInterfaceName(std::string("qv-none0"));
    std::string id;
    coretest::captureStandardOutput([&] {
        Launch launch;
        launch.device->setSystemVersion("5.0");
        id = launch.identifier();
    });
    CHECK(isIdentifierText(id));
    CHECK(id != referenceMD5("(null)"));
    CHECK(keptIdentifier() == id);
    std::string again;
    std::optional<std::string> fromMAC = std::string("unset");
    const std::string out = coretest::captureStandardOutput([&] {
        Launch launch;
        launch.device->setSystemVersion("5.0");
        again = launch.identifier();
        fromMAC = uniqueDeviceIdentifier(*launch.device);
    });
    CHECK(again == id);
    CHECK_FALSE(fromMAC.has_value());
    CHECK(out.find("Error: if_nametoindex error\n") != std::string::npos);
    SystemInfo::resetOverrides();
}

// Run by the test below in a process of its own: prints the identifier.
TEST_CASE("device identifier helper process" * doctest::skip()) {
    std::printf("DEVICE-ID:%s\n", uniqueGlobalDeviceIdentifier(*UIDevice::currentDevice()).c_str());
    std::fflush(stdout);
}

namespace {
std::string identifierOfProcess(const std::string& home, const std::string& keychain) {
    auto r = runCommand("QUORVANE_HOME=" + shellQuote(home) + " QUORVANE_KEYCHAIN=" + shellQuote(keychain) + " " +
                        shellQuote(testsupport::selfExecutable()) +
                        " --no-skip --test-case='device identifier helper process'");
    REQUIRE(r.exitCode == 0);
    auto at = r.output.find("DEVICE-ID:");
    REQUIRE(at != std::string::npos);
    return r.output.substr(at + 10, 32);
}
}  // namespace

TEST_CASE("the identifier is stable across processes with the same keychain") {
    testsupport::TempHome scratch;
    const std::string homeA = scratch.path() + "/homeA", homeB = scratch.path() + "/homeB",
                      homeC = scratch.path() + "/homeC";
    const std::string keychain1 = scratch.path() + "/keychain1.json", keychain2 = scratch.path() + "/keychain2.json";

    const std::string first = identifierOfProcess(homeA, keychain1);
    CHECK(isIdentifierText(first));
    CHECK(identifierOfProcess(homeA, keychain1) == first);
    // A reinstall: the application's home is new, the keychain is the same.
    CHECK(identifierOfProcess(homeB, keychain1) == first);
    // Another device: another home and another keychain.
    const std::string other = identifierOfProcess(homeC, keychain2);
    CHECK(isIdentifierText(other));
    CHECK(other != first);
    // The keychain file was made private to its owner.
    struct stat st {};
    REQUIRE(::stat(keychain1.c_str(), &st) == 0);
    CHECK((st.st_mode & 0777) == 0600);
}
