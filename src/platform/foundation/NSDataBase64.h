#pragma once
// Base64 text of bytes (RFC 4648: the standard alphabet, "=" padding).
#include <cstddef>
#include <string>

#include "platform/foundation/Data.h"

// One line, or lines of `lineLength` characters joined by CRLF when it is above 0.
std::string base64EncodeRFC4648(const Data& data, std::size_t lineLength = 0);
