#pragma once
// The device identifier the catalogue backend knows this installation by: 32
// upper-case hexadecimal digits, kept in the keychain so that it survives a
// reinstall of the application.
#include <memory>
#include <optional>
#include <string>

class UIDevice;
class KSKeychainBindings;

// The keychain key the identifier is kept under.
inline constexpr const char* kDeviceIdentifierKeychainKey = "kdevice_id_vomblecast";

// On system 6.0 and later: the kept identifier, or, the first time, the MD5 of the
// vendor identifier, which is then kept. Before 6.0: the MD5 of the primary
// interface's MAC address. When neither source exists, a random identifier made
// once and kept in the keychain. The bindings are the shared ones unless given.
std::string uniqueGlobalDeviceIdentifier(const UIDevice& device);
std::string uniqueGlobalDeviceIdentifier(const UIDevice& device, const std::shared_ptr<KSKeychainBindings>& bindings);

// The MD5 of the MAC address text followed by the bundle identifier; nullopt
// without a readable MAC address.
std::optional<std::string> uniqueDeviceIdentifier(const UIDevice& device);
