#pragma once
// The HTTP library's user-visible texts: looked up in the main bundle's string
// table "Netline" (resources/Netline.strings.json) with the English text as key.
#include <string>

// The table's text for the key, or the key itself when the table lacks it.
std::string NLLocalizedString(const std::string& key);
