#pragma once
// Uniform type identifiers and their tags (file-name extensions, MIME types).
// Well-known types have their public identifiers ("public.png"); any other
// extension gets a dynamic identifier ("dyn.ext.<extension>") whose MIME type
// comes from the system's media-type list (/etc/mime.types) when it names one.
#include <optional>
#include <string>

inline constexpr const char* kUTTagClassFilenameExtension = "public.filename-extension";
inline constexpr const char* kUTTagClassMIMEType = "public.mime-type";

// The preferred identifier for the tag of the class (extensions compare without
// regard to case); nullopt for an unknown tag class or an empty tag.
std::optional<std::string> UTTypeCreatePreferredIdentifierForTag(const std::string& tagClass, const std::string& tag,
                                                                 const std::optional<std::string>& conformingTo = {});
// The preferred tag of the class for the identifier; nullopt when there is none.
std::optional<std::string> UTTypeCopyPreferredTagWithClass(const std::string& identifier, const std::string& tagClass);

// Where the media-type list is read from (tests point it elsewhere; nullopt:
// /etc/mime.types). The list is read again after a change.
void UTTypeSetMediaTypesPath(std::optional<std::string> path);
