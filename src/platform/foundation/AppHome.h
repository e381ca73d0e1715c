#pragma once
// The application home: QUORVANE_HOME (default ~/.local/share/quorvane) holds
// Documents/, Library/Caches/, Library/Preferences/, tmp/ and the keychain file.
// The folders are created when first asked for.
#include <string>

namespace AppHome {
std::string root();
std::string documents();    // <home>/Documents
std::string caches();       // <home>/Library/Caches
std::string preferences();  // <home>/Library/Preferences
std::string tmp();          // <home>/tmp
// The keychain file lives beside the data folders, so removing the application's
// data (a reinstall) keeps it; QUORVANE_KEYCHAIN overrides its path.
std::string keychainFile();
}  // namespace AppHome
