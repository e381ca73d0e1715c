#pragma once
// What the HTTP harnesses ask of every response they get: the derived metadata
// (MIME type, charset, length, file name, status text) and the usual lookups.
#include "platform/net/NSHTTPURLResponse.h"

namespace fuzz {

void checkHTTPResponse(const NSHTTPURLResponse& response);

}  // namespace fuzz
