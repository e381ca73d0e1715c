#pragma once
// The user's locale preferences. A headless stand-in: the preferred languages
// come from LANGUAGE (a colon-separated list) or else LANG ("fr_FR.UTF-8" gives
// "fr-FR"), with "en" when neither names a language; tests can set them.
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/NSObject.h"

class NSLocale : public NSObject {
public:
    // The user's languages, most preferred first (never empty).
    static std::vector<std::string> preferredLanguages();
    // Pins the list (for tests and configuration); nullopt goes back to the environment.
    static void setPreferredLanguages(std::optional<std::vector<std::string>> languages);
    // The language tag of a POSIX locale name ("pt_BR.UTF-8@euro" -> "pt-BR");
    // empty for "C", "POSIX" and empty names.
    static std::string languageTagFromPOSIXLocale(const std::string& name);
};
