#pragma once
// The device. A headless stand-in: system version, model, name and interface idiom
// are values with defaults that can be set; the vendor identifier is a UUID kept in
// the application home (so removing the application's data forgets it, as removing
// the application does on the platform); the orientation is set by tests and
// announced like a rotation would be.
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSUUID.h"

enum UIUserInterfaceIdiom : long {
    UIUserInterfaceIdiomUnspecified = -1,
    UIUserInterfaceIdiomPhone = 0,
    UIUserInterfaceIdiomPad = 1,
};

enum UIDeviceOrientation : long {
    UIDeviceOrientationUnknown = 0,
    UIDeviceOrientationPortrait = 1,
    UIDeviceOrientationPortraitUpsideDown = 2,
    UIDeviceOrientationLandscapeLeft = 3,
    UIDeviceOrientationLandscapeRight = 4,
    UIDeviceOrientationFaceUp = 5,
    UIDeviceOrientationFaceDown = 6,
};

inline bool UIDeviceOrientationIsPortrait(UIDeviceOrientation o) {
    return o == UIDeviceOrientationPortrait || o == UIDeviceOrientationPortraitUpsideDown;
}
inline bool UIDeviceOrientationIsLandscape(UIDeviceOrientation o) {
    return o == UIDeviceOrientationLandscapeLeft || o == UIDeviceOrientationLandscapeRight;
}
inline bool UIDeviceOrientationIsValidInterfaceOrientation(UIDeviceOrientation o) {
    return UIDeviceOrientationIsPortrait(o) || UIDeviceOrientationIsLandscape(o);
}

inline constexpr const char* UIDeviceOrientationDidChangeNotification = "UIDeviceOrientationDidChangeNotification";

class UIDevice : public NSObject {
public:
    UIDevice();
    static std::shared_ptr<UIDevice> currentDevice();

    std::string name() const;           // the host name unless set
    std::string model() const;          // "iPhone" or "iPad" after the idiom unless set
    std::string localizedModel() const { return model(); }
    std::string systemName() const;     // "iPhone OS"
    std::string systemVersion() const;  // "7.0" unless set
    UIUserInterfaceIdiom userInterfaceIdiom() const;

    // A random UUID, created once per application home and kept in
    // <home>/Library/Preferences; null when it cannot be had (the home is not
    // writable) or when a test made it absent.
    NSUUIDPtr identifierForVendor() const;

    // The physical orientation, reported only while notifications are being
    // generated (UIDeviceOrientationUnknown otherwise).
    UIDeviceOrientation orientation() const;
    // Counted: every begin needs its end.
    void beginGeneratingDeviceOrientationNotifications();
    void endGeneratingDeviceOrientationNotifications();
    bool isGeneratingDeviceOrientationNotifications() const;

    // Settings for tests and for the stand-in's configuration.
    void setName(const std::string& name);
    void setModel(const std::string& model);
    void setSystemVersion(const std::string& version);
    void setUserInterfaceIdiom(UIUserInterfaceIdiom idiom);
    // Pins the vendor identifier (null: absent) until resetIdentifierForVendor().
    void setIdentifierForVendor(NSUUIDPtr identifier);
    void resetIdentifierForVendor();
    // Turns the device: while notifications are generated and the orientation
    // changes, posts UIDeviceOrientationDidChangeNotification with the device;
    // then the interface follows when its controllers allow it
    // (UIInterfaceRotation.h).
    void setOrientation(UIDeviceOrientation orientation);
    // Back to the defaults (values, vendor identifier from the home, portrait,
    // no notifications).
    void resetToDefaults();

private:
    mutable std::mutex mutex_;
    std::optional<std::string> name_;
    std::optional<std::string> model_;
    std::string systemVersion_;
    UIUserInterfaceIdiom idiom_;
    bool vendorPinned_ = false;
    NSUUIDPtr pinnedVendor_;
    UIDeviceOrientation orientation_;
    int generatingCount_ = 0;
};

// The idiom of the current device.
inline UIUserInterfaceIdiom UI_USER_INTERFACE_IDIOM() { return UIDevice::currentDevice()->userInterfaceIdiom(); }
