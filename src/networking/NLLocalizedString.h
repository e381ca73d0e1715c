#pragma once
// The networking library's user-visible texts, looked up with the English text
// as key in a string table of the main bundle ("<table>.strings.json", a JSON
// object of key -> text): the HTTP library's in table "Netline", the file
// downloader's in the bundle's default table "Localizable". A table is read once
// per bundle folder and kept.
#include <memory>
#include <string>

class NSBundle;

// The table's text for the key, or the key itself when the table (or the entry)
// is missing.
std::string NLLocalizedStringFromTable(const std::string& key, const std::string& table, const NSBundle& bundle);
// The table's text in the bundle the library reads (the main bundle unless set).
std::string NLLocalizedStringFromTable(const std::string& key, const std::string& table);
// From table "Netline".
std::string NLLocalizedString(const std::string& key);

// The bundle whose tables the library reads; null goes back to the main bundle.
// Returns the bundle set before (for tests that read their own tables).
std::shared_ptr<NSBundle> NLSetStringTableBundle(std::shared_ptr<NSBundle> bundle);
