#include "platform/foundation/AppHome.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace {
std::string ensure(const std::filesystem::path& p) {
    std::error_code ec;
    std::filesystem::create_directories(p, ec);
    return p.string();
}
}  // namespace

namespace AppHome {

std::string root() {
    if (const char* h = std::getenv("QUORVANE_HOME"); h && *h) return ensure(h);
    const char* home = std::getenv("HOME");
    std::filesystem::path base = (home && *home) ? home : "/tmp";
    return ensure(base / ".local" / "share" / "quorvane");
}

std::string documents() { return ensure(std::filesystem::path(root()) / "Documents"); }
std::string caches() { return ensure(std::filesystem::path(root()) / "Library" / "Caches"); }
std::string preferences() { return ensure(std::filesystem::path(root()) / "Library" / "Preferences"); }
std::string tmp() { return ensure(std::filesystem::path(root()) / "tmp"); }

std::string keychainFile() {
    if (const char* k = std::getenv("QUORVANE_KEYCHAIN"); k && *k) return k;
    return (std::filesystem::path(root()) / "keychain.json").string();
}

}  // namespace AppHome
