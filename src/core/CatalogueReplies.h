#pragma once
// What the catalogue backend answers inside the reply envelope, how its fields
// convert, and the one step that readies a reply's "data" for the screens: a
// reply is refused only when a container has the wrong shape; inside a sound
// container every field converts as its reader reads it.
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
// Numbers given as numeric strings convert ("42" is 42); numbers given where text
// is expected read as their text (1917 is "1917").
std::int32_t intField(const Value& object, const std::string& key);
// "year": a number, or a string read as its leading decimal integer.
std::uint32_t unsignedField(const Value& object, const std::string& key);
float floatField(const Value& object, const std::string& key);
bool flagField(const Value& object, const std::string& key);
std::string textField(const Value& object, const std::string& key);

// Readies the "data" of a successful reply for the call's readers, in place.
// Refused (false, with a description of what is wrong) only when a container has
// the wrong shape: a list that is not an object or whose "films" is not an array,
// a detail that is not an object or whose "chapters" is not an array. Otherwise:
// - null data stays null (the readers treat it as an empty page, no detail, no
//   configuration);
// - elements of "films", "chapters" and of the stream list that are not objects
//   are dropped, so one odd element never costs the others;
// - text fields given as numbers are replaced by their text (a title 1917, a
//   stream name 720), so every reader of a chapter or stream entry finds text;
// - a stream list or a configuration of any other kind is handed on unchanged:
//   the picker shows only for an array, the configuration reads only an object.
bool prepareReplyData(CatalogueReplyKind kind, Value& data, std::string* problem = nullptr);

// True when the server's version is newer than the bundle's (digit runs compared
// as numbers: "1.10" is newer than "1.9"; an empty server version never is).
bool isNewerVersion(const std::string& serverVersion, const std::string& bundleVersion);

}  // namespace CatalogueReply
