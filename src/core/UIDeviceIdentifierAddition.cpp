#include "core/UIDeviceIdentifierAddition.h"

#include <unistd.h>

#include <functional>

#include "core/Digest.h"
#include "core/KSKeychainBindings.h"
#include "core/UIDeviceHardware.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/HexString.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/Value.h"
#include "platform/security/CommonCrypto.h"
#include "platform/uikit/UIDevice.h"

namespace {

// 32 upper-case hexadecimal digits, as an MD5 text, from the system's generator.
std::string randomIdentifier() {
    unsigned char bytes[16];
    if (SecRandomCopyBytes(kSecRandomDefault, sizeof bytes, bytes) == 0) {
        return hexString(bytes, sizeof bytes, /*upper=*/true);
    }
    // No random source: still distinct per host, process and moment.
    char host[256] = {};
    ::gethostname(host, sizeof host - 1);
    return md5(format("%s-%d-%f", host, static_cast<int>(::getpid()), Clock::now()));
}

// The identifier kept under the key, or a new one from make() that is kept there.
std::string keptIdentifier(const std::shared_ptr<KSKeychainBindings>& bindings, const std::function<std::string()>& make) {
    if (bindings->objectForKey(kDeviceIdentifierKeychainKey)) {
        Value kept = bindings->objectForKey(kDeviceIdentifierKeychainKey);
        if (kept.isString() && !kept.string()->empty()) return *kept.string();
    }
    std::string identifier = make();
    // A failed store is logged by the controller; its buffer still keeps the
    // identifier for the rest of the process.
    bindings->setObject(identifier, kDeviceIdentifierKeychainKey);
    return identifier;
}

}  // namespace

std::string uniqueGlobalDeviceIdentifier(const UIDevice& device) {
    return uniqueGlobalDeviceIdentifier(device, KSKeychainBindings::sharedKeychainBindings());
}

std::string uniqueGlobalDeviceIdentifier(const UIDevice& device, const std::shared_ptr<KSKeychainBindings>& bindings) {
    const float version = Value(device.systemVersion()).floatValue();
    if (version >= 6.0f) {
        return keptIdentifier(bindings, [&] {
            auto vendor = device.identifierForVendor();
            return vendor ? md5(vendor->UUIDString()) : randomIdentifier();
        });
    }
    if (auto mac = macaddress(device)) return md5(*mac);
    return keptIdentifier(bindings, randomIdentifier);
}

std::optional<std::string> uniqueDeviceIdentifier(const UIDevice& device) {
    auto mac = macaddress(device);
    if (!mac) return std::nullopt;
    return md5(format("%@%@", *mac, NSBundle::mainBundle()->bundleIdentifier()));
}
