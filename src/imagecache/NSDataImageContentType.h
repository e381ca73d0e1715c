#pragma once
// Image content types sniffed from the first bytes of encoded data.
#include <optional>
#include <string>
#include "platform/foundation/Data.h"

// "image/jpeg", "image/png", "image/gif", "image/tiff", "image/webp", or
// nullopt for empty data and any other start.
std::optional<std::string> ri_contentTypeForImageData(const Data& data);
// The older name of the same routine.
std::optional<std::string> contentTypeForImageData(const Data& data);
