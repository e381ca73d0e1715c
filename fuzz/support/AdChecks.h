#pragma once
// What an ad made from outside input must hold, whatever that input was: its
// tracking URL sets hold each URL once, every URL it fetches, loads against or
// pings is http or https with a host, its numbers are finite, its orientation
// is one of the codes, its Viewability settings a dictionary or nothing.
#include "adkit/requests/AKAd.h"

namespace fuzz {

void checkAd(const AKAd& ad);

}  // namespace fuzz
