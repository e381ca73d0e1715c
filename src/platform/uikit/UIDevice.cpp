#include "platform/foundation/ProcessLifetime.h"
#include "platform/uikit/UIDevice.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/foundation/AppHome.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/SystemInfo.h"
#include "platform/uikit/UIInterfaceRotation.h"

namespace {

constexpr const char* kDefaultSystemVersion = "7.0";

NSUUIDPtr readIdentifier(const std::string& path) {
    std::ifstream in(path);
    if (!in) return nullptr;
    std::string line;
    std::getline(in, line);
    return NSUUID::initWithUUIDString(line);
}

// The identifier kept in the home; created on first need. Creation publishes a
// complete file with link(), so two processes racing agree on the first one.
NSUUIDPtr homeVendorIdentifier() {
    const std::string path = (std::filesystem::path(AppHome::preferences()) / "UIDevice.identifierForVendor").string();
    if (auto existing = readIdentifier(path)) return existing;
    std::string tmpl = path + ".XXXXXX";
    int fd = ::mkostemp(tmpl.data(), O_CLOEXEC);
    if (fd < 0) return nullptr;
    std::string text = NSUUID::UUID()->UUIDString() + "\n";
    bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) && ::fsync(fd) == 0;
    ::close(fd);
    if (ok) {
        if (::link(tmpl.c_str(), path.c_str()) != 0 && errno == EEXIST) {
            // Someone else was first; a damaged file is replaced by ours.
            if (!readIdentifier(path)) ok = ::rename(tmpl.c_str(), path.c_str()) == 0;
        }
    }
    ::unlink(tmpl.c_str());
    if (!ok) return nullptr;
    return readIdentifier(path);
}

}  // namespace

UIDevice::UIDevice()
    : systemVersion_(kDefaultSystemVersion), idiom_(UIUserInterfaceIdiomPhone), orientation_(UIDeviceOrientationPortrait) {}

std::shared_ptr<UIDevice> UIDevice::currentDevice() {
    static ProcessLifetime<std::shared_ptr<UIDevice>> device(std::make_shared<UIDevice>());
    return *device;
}

std::string UIDevice::name() const {
    {
        std::lock_guard lock(mutex_);
        if (name_) return *name_;
    }
    return SystemInfo::valueForName("kern.hostname").value_or("localhost");
}

std::string UIDevice::model() const {
    std::lock_guard lock(mutex_);
    if (model_) return *model_;
    return idiom_ == UIUserInterfaceIdiomPad ? "iPad" : "iPhone";
}

std::string UIDevice::systemName() const { return "iPhone OS"; }

std::string UIDevice::systemVersion() const {
    std::lock_guard lock(mutex_);
    return systemVersion_;
}

UIUserInterfaceIdiom UIDevice::userInterfaceIdiom() const {
    std::lock_guard lock(mutex_);
    return idiom_;
}

NSUUIDPtr UIDevice::identifierForVendor() const {
    {
        std::lock_guard lock(mutex_);
        if (vendorPinned_) return pinnedVendor_;
    }
    return homeVendorIdentifier();
}

UIDeviceOrientation UIDevice::orientation() const {
    std::lock_guard lock(mutex_);
    return generatingCount_ > 0 ? orientation_ : UIDeviceOrientationUnknown;
}

void UIDevice::beginGeneratingDeviceOrientationNotifications() {
    std::lock_guard lock(mutex_);
    ++generatingCount_;
}

void UIDevice::endGeneratingDeviceOrientationNotifications() {
    std::lock_guard lock(mutex_);
    if (generatingCount_ > 0) --generatingCount_;
}

bool UIDevice::isGeneratingDeviceOrientationNotifications() const {
    std::lock_guard lock(mutex_);
    return generatingCount_ > 0;
}

void UIDevice::setName(const std::string& name) {
    std::lock_guard lock(mutex_);
    name_ = name;
}

void UIDevice::setModel(const std::string& model) {
    std::lock_guard lock(mutex_);
    model_ = model;
}

void UIDevice::setSystemVersion(const std::string& version) {
    std::lock_guard lock(mutex_);
    systemVersion_ = version;
}

void UIDevice::setUserInterfaceIdiom(UIUserInterfaceIdiom idiom) {
    std::lock_guard lock(mutex_);
    idiom_ = idiom;
}

void UIDevice::setIdentifierForVendor(NSUUIDPtr identifier) {
    std::lock_guard lock(mutex_);
    vendorPinned_ = true;
    pinnedVendor_ = std::move(identifier);
}

void UIDevice::resetIdentifierForVendor() {
    std::lock_guard lock(mutex_);
    vendorPinned_ = false;
    pinnedVendor_ = nullptr;
}

void UIDevice::setOrientation(UIDeviceOrientation orientation) {
    bool post;
    {
        std::lock_guard lock(mutex_);
        post = generatingCount_ > 0 && orientation_ != orientation;
        orientation_ = orientation;
    }
    if (post) NSNotificationCenter::defaultCenter()->postNotificationName(UIDeviceOrientationDidChangeNotification, self());
    UIInterfaceRotation::deviceDidChangeOrientation(orientation);
}

void UIDevice::resetToDefaults() {
    std::lock_guard lock(mutex_);
    name_.reset();
    model_.reset();
    systemVersion_ = kDefaultSystemVersion;
    idiom_ = UIUserInterfaceIdiomPhone;
    vendorPinned_ = false;
    pinnedVendor_ = nullptr;
    orientation_ = UIDeviceOrientationPortrait;
    generatingCount_ = 0;
}
