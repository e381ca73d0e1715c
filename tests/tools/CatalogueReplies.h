#pragma once
// Reading the catalogue server's replies in tests: decrypt with the openssl command
// line, parse the envelope, and walk the pages of a list.
#include <nlohmann/json.hpp>

#include <optional>
#include <string>

#include "support/CatalogueServerProcess.h"
#include "support/HttpFetch.h"

namespace testtools {

// The decrypted body parsed as JSON (any top-level value); empty optional when openssl
// cannot decrypt it or it is not JSON.
std::optional<nlohmann::json> decryptedJson(const HttpReply& reply, const std::string& scratch, bool singleLine = true);

// GETs a signed action and returns the envelope's "data", checking status 200 and the
// "msg" "Success" on the way (null after a failed check).
nlohmann::json fetchData(const CatalogueServerProcess& server, const std::string& action,
                         const QueryParameters& parameters = {});

// The "films" of every page of a list action, from page 1 until "more" is false, with
// the paging rules checked on the way: 30 per page while more follow, at least one and
// at most 30 on the last, an empty page after it.
nlohmann::json fetchAllPages(const CatalogueServerProcess& server, const std::string& action,
                             QueryParameters parameters);

}  // namespace testtools
