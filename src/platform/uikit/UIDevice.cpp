#include "platform/uikit/UIDevice.h"

#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/foundation/AppHome.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/SystemInfo.h"
#include "platform/security/CommonCrypto.h"

namespace {

constexpr const char* kDefaultSystemVersion = "7.0";

bool isUUIDText(const std::string& s) {
    if (s.size() != 36) return false;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (s[i] != '-') return false;
        } else if (!std::isxdigit(static_cast<unsigned char>(s[i])) ||
                   std::islower(static_cast<unsigned char>(s[i]))) {
            return false;
        }
    }
    return true;
}

std::optional<std::string> randomUUIDText() {
    unsigned char b[16];
    if (SecRandomCopyBytes(kSecRandomDefault, sizeof b, b) != 0) return std::nullopt;
    b[6] = static_cast<unsigned char>((b[6] & 0x0F) | 0x40);  // version 4
    b[8] = static_cast<unsigned char>((b[8] & 0x3F) | 0x80);  // RFC 4122 variant
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) out.push_back('-');
        out.push_back(digits[b[i] >> 4]);
        out.push_back(digits[b[i] & 15]);
    }
    return out;
}

std::optional<std::string> readIdentifier(const std::string& path) {
    std::ifstream in(path);
    if (!in) return std::nullopt;
    std::string line;
    std::getline(in, line);
    if (!isUUIDText(line)) return std::nullopt;
    return line;
}

// The identifier kept in the home; created on first need. Creation publishes a
// complete file with link(), so two processes racing agree on the first one.
std::optional<std::string> homeVendorIdentifier() {
    const std::string path = (std::filesystem::path(AppHome::preferences()) / "UIDevice.identifierForVendor").string();
    if (auto existing = readIdentifier(path)) return existing;
    auto fresh = randomUUIDText();
    if (!fresh) return std::nullopt;
    std::string tmpl = path + ".XXXXXX";
    int fd = ::mkostemp(tmpl.data(), O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    std::string text = *fresh + "\n";
    bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) && ::fsync(fd) == 0;
    ::close(fd);
    if (ok) {
        if (::link(tmpl.c_str(), path.c_str()) != 0 && errno == EEXIST) {
            // Someone else was first; a damaged file is replaced by ours.
            if (!readIdentifier(path)) ok = ::rename(tmpl.c_str(), path.c_str()) == 0;
        }
    }
    ::unlink(tmpl.c_str());
    if (!ok) return std::nullopt;
    return readIdentifier(path);
}

}  // namespace

UIDevice::UIDevice()
    : systemVersion_(kDefaultSystemVersion), idiom_(UIUserInterfaceIdiomPhone), orientation_(UIDeviceOrientationPortrait) {}

std::shared_ptr<UIDevice> UIDevice::currentDevice() {
    static auto* device = new std::shared_ptr<UIDevice>(std::make_shared<UIDevice>());
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

std::optional<std::string> UIDevice::identifierForVendor() const {
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

void UIDevice::setIdentifierForVendor(std::optional<std::string> identifier) {
    std::lock_guard lock(mutex_);
    vendorPinned_ = true;
    pinnedVendor_ = std::move(identifier);
}

void UIDevice::resetIdentifierForVendor() {
    std::lock_guard lock(mutex_);
    vendorPinned_ = false;
    pinnedVendor_.reset();
}

void UIDevice::setOrientation(UIDeviceOrientation orientation) {
    bool post;
    {
        std::lock_guard lock(mutex_);
        post = generatingCount_ > 0 && orientation_ != orientation;
        orientation_ = orientation;
    }
    if (post) NSNotificationCenter::defaultCenter()->postNotificationName(UIDeviceOrientationDidChangeNotification, self());
}

void UIDevice::resetToDefaults() {
    std::lock_guard lock(mutex_);
    name_.reset();
    model_.reset();
    systemVersion_ = kDefaultSystemVersion;
    idiom_ = UIUserInterfaceIdiomPhone;
    vendorPinned_ = false;
    pinnedVendor_.reset();
    orientation_ = UIDeviceOrientationPortrait;
    generatingCount_ = 0;
}
