#pragma once
// What the catalogue backend answers inside the reply envelope, how its fields
// convert, and the checks that keep a reply of the wrong shape from reaching the
// screens.
#include <cstdint>
#include <optional>
#include <string>

#include "platform/foundation/NSError.h"
#include "platform/foundation/Value.h"

// The kinds of "data" the six catalogue calls answer.
enum class CatalogueReplyKind {
    List,           // "movies", "tvshow", "search": {"more", "films": [FilmInfo]}
    Detail,         // "detail": DetailInfo with "chapters"
    Streams,        // "stream": [StreamInfo]
    Configuration,  // "getversion": the server configuration
};

namespace CatalogueReply {

// Field conversions shared by every reader. A missing key or a JSON null reads as
// 0, 0.0, false or an empty text.
std::int32_t intField(const Value& object, const std::string& key);
// "year": a number, or a string read as its leading decimal integer.
std::uint32_t unsignedField(const Value& object, const std::string& key);
float floatField(const Value& object, const std::string& key);
bool flagField(const Value& object, const std::string& key);
std::string textField(const Value& object, const std::string& key);

// True when `data` has the shape the call's readers rely on; otherwise false with
// a description of what is wrong.
bool validate(CatalogueReplyKind kind, const Value& data, std::string* problem = nullptr);

// True when the server's version is newer than the bundle's (digit runs compared
// as numbers: "1.10" is newer than "1.9"; an empty server version never is).
bool isNewerVersion(const std::string& serverVersion, const std::string& bundleVersion);

}  // namespace CatalogueReply
