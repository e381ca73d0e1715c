// Protects the device and screen stand-ins: settable facts, orientation announcements, identifierForVendor per home and across threads.
#include <doctest/doctest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/foundation/AppHome.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/SystemInfo.h"
#include "platform/uikit/UIDevice.h"
#include "platform/uikit/UIScreen.h"
#include "support/TestEnvironment.h"

namespace {

bool isUUID(const std::string& s) {
    if (s.size() != 36) return false;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash != (s[i] == '-')) return false;
        if (!dash && !std::isxdigit(static_cast<unsigned char>(s[i]))) return false;
        if (!dash && std::islower(static_cast<unsigned char>(s[i]))) return false;
    }
    return s[14] == '4';  // a random (version 4) UUID
}

}  // namespace

TEST_CASE("the device stand-in has settable system facts") {
    auto device = std::make_shared<UIDevice>();
    CHECK(device->systemVersion() == "7.0");
    CHECK(device->systemName() == "iPhone OS");
    CHECK(device->userInterfaceIdiom() == UIUserInterfaceIdiomPhone);
    CHECK(device->model() == "iPhone");
    CHECK(device->name() == SystemInfo::valueForName("kern.hostname"));
    device->setSystemVersion("6.1.3");
    device->setUserInterfaceIdiom(UIUserInterfaceIdiomPad);
    device->setName("Test Pad");
    CHECK(device->systemVersion() == "6.1.3");
    CHECK(device->model() == "iPad");
    CHECK(device->localizedModel() == "iPad");
    CHECK(device->name() == "Test Pad");
    device->setModel("iPod touch");
    CHECK(device->model() == "iPod touch");
    device->resetToDefaults();
    CHECK(device->systemVersion() == "7.0");
    CHECK(device->model() == "iPhone");

    auto current = UIDevice::currentDevice();
    CHECK(current == UIDevice::currentDevice());
    current->setUserInterfaceIdiom(UIUserInterfaceIdiomPad);
    CHECK(UI_USER_INTERFACE_IDIOM() == UIUserInterfaceIdiomPad);
    current->resetToDefaults();
    CHECK(UI_USER_INTERFACE_IDIOM() == UIUserInterfaceIdiomPhone);
}

TEST_CASE("orientation changes are announced only while notifications are generated") {
    auto device = std::make_shared<UIDevice>();
    std::vector<UIDeviceOrientation> seen;
    auto observer = std::make_shared<NSObject>();
    NSNotificationCenter::defaultCenter()->addObserver(
        observer,
        [&](const NSNotification& n) {
            auto sender = std::dynamic_pointer_cast<UIDevice>(n.object());
            REQUIRE(sender);
            seen.push_back(sender->orientation());
        },
        UIDeviceOrientationDidChangeNotification, device);

    CHECK_FALSE(device->isGeneratingDeviceOrientationNotifications());
    CHECK(device->orientation() == UIDeviceOrientationUnknown);
    device->setOrientation(UIDeviceOrientationLandscapeLeft);
    CHECK(seen.empty());

    device->beginGeneratingDeviceOrientationNotifications();
    CHECK(device->isGeneratingDeviceOrientationNotifications());
    CHECK(device->orientation() == UIDeviceOrientationLandscapeLeft);
    device->setOrientation(UIDeviceOrientationPortrait);
    device->setOrientation(UIDeviceOrientationPortrait);  // no change, no notification
    device->setOrientation(UIDeviceOrientationLandscapeRight);
    CHECK(seen == std::vector<UIDeviceOrientation>{UIDeviceOrientationPortrait, UIDeviceOrientationLandscapeRight});

    // Begin and end are counted.
    device->beginGeneratingDeviceOrientationNotifications();
    device->endGeneratingDeviceOrientationNotifications();
    CHECK(device->isGeneratingDeviceOrientationNotifications());
    device->endGeneratingDeviceOrientationNotifications();
    CHECK_FALSE(device->isGeneratingDeviceOrientationNotifications());
    device->endGeneratingDeviceOrientationNotifications();  // unbalanced: stays off
    device->setOrientation(UIDeviceOrientationFaceUp);
    CHECK(seen.size() == 2);
    CHECK(device->orientation() == UIDeviceOrientationUnknown);
    CHECK(UIDeviceOrientationIsLandscape(UIDeviceOrientationLandscapeLeft));
    CHECK_FALSE(UIDeviceOrientationIsPortrait(UIDeviceOrientationFaceUp));
    NSNotificationCenter::defaultCenter()->removeObserver(observer.get());
}

TEST_CASE("identifierForVendor is one UUID per application home") {
    std::string first;
    {
        testsupport::TempHome home;
        auto device = std::make_shared<UIDevice>();
        auto id = device->identifierForVendor();
        REQUIRE(id);
        CHECK(isUUID(id->UUIDString()));
        first = id->UUIDString();
        CHECK(device->identifierForVendor()->UUIDString() == first);
        CHECK(std::make_shared<UIDevice>()->identifierForVendor()->UUIDString() == first);  // kept in the home
        CHECK(std::filesystem::exists(AppHome::preferences() + "/UIDevice.identifierForVendor"));
        // Removing the application's data forgets it.
        std::filesystem::remove_all(home.path() + "/Library");
        auto after = device->identifierForVendor();
        REQUIRE(after);
        CHECK(after->UUIDString() != first);
    }
    testsupport::TempHome other;
    auto id = std::make_shared<UIDevice>()->identifierForVendor();
    REQUIRE(id);
    CHECK(id->UUIDString() != first);
}

TEST_CASE("identifierForVendor can be pinned or made absent") {
    testsupport::TempHome home;
    auto device = std::make_shared<UIDevice>();
    const auto own = device->identifierForVendor();
    REQUIRE(own);
    device->setIdentifierForVendor(NSUUID::initWithUUIDString("11111111-2222-4333-8444-555555555555"));
    REQUIRE(device->identifierForVendor());
    CHECK(device->identifierForVendor()->UUIDString() == "11111111-2222-4333-8444-555555555555");
    device->setIdentifierForVendor(nullptr);
    CHECK_FALSE(device->identifierForVendor());
    device->resetIdentifierForVendor();
    CHECK(*device->identifierForVendor() == *own);
}

TEST_CASE("identifierForVendor asked from many threads at once is one identifier") {
    testsupport::TempHome home;
    std::vector<NSUUIDPtr> ids(8);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < ids.size(); ++i)
        threads.emplace_back([&ids, i] { ids[i] = std::make_shared<UIDevice>()->identifierForVendor(); });
    for (auto& t : threads) t.join();
    std::set<std::string> distinct;
    for (const auto& id : ids) {
        REQUIRE(id);
        distinct.insert(id->UUIDString());
    }
    CHECK(distinct.size() == 1);
}

TEST_CASE("identifierForVendor replaces a damaged stored identifier") {
    testsupport::TempHome home;
    {
        std::ofstream out(AppHome::preferences() + "/UIDevice.identifierForVendor");
        out << "not a uuid\n";
    }
    auto id = std::make_shared<UIDevice>()->identifierForVendor();
    REQUIRE(id);
    CHECK(isUUID(id->UUIDString()));
    CHECK(*std::make_shared<UIDevice>()->identifierForVendor() == *id);
}

TEST_CASE("the main screen has settable bounds and scale") {
    auto screen = UIScreen::mainScreen();
    CHECK(screen == UIScreen::mainScreen());
    CHECK(screen->bounds() == CGRectMake(0, 0, 320, 568));
    CHECK(screen->scale() == 2.0);
    int scaleChanges = 0, boundsChanges = 0;
    auto t1 = screen->observeValueForKey("scale", [&](const std::string&) { ++scaleChanges; });
    auto t2 = screen->observeValueForKey("bounds", [&](const std::string&) { ++boundsChanges; });
    screen->setScale(3.0);
    screen->setBounds(CGRectMake(0, 0, 768, 1024));
    CHECK(screen->scale() == 3.0);
    CHECK(screen->bounds().size == CGSizeMake(768, 1024));
    CHECK(scaleChanges == 1);
    CHECK(boundsChanges == 1);
    screen->setScale(2.0);
    screen->setBounds(CGRectMake(0, 0, 320, 568));
}
