#pragma once
// How long an HTTP response may be reused, from its header fields:
//   "Pragma: no-cache" -> never;
//   reference date = "Date" (a "Date" that does not parse -> never), else now;
//   "Cache-Control" with "no-store" -> never; "max-age=N" -> reference + N for
//   N >= 1, never for N < 1, and a max-age that is no integer falls through to
//   "Expires": when after the reference date, now + (Expires - reference).
// Dates are the three HTTP forms in English and GMT. Times are Clock times.
#include <optional>
#include <string>

#include "platform/foundation/Value.h"
#include "platform/net/NSHTTPURLResponse.h"

std::optional<Date> ak_expirationDate(const NSHTTPURLResponse& response);
std::optional<Date> ak_dateFromHttpDateString(const std::string& text);
