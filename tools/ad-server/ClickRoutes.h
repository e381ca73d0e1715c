#pragma once
// The routes of click chains and landing pages, for the in-app browser's roads
// (both ports):
//
//   /click/chain[?then=<path>]      302 to this host's https port at `then` (default /click/cookie)
//   /click/cookie                   200, an HTML page that sets the cookie "adclick=1"
//   /click/store[?to=scheme]        302 to "https://apps.example/app/id123", or with to=scheme
//                                   to "itms-apps://apps.example/app/id123"
//   /click/page/1, /click/page/2    landing pages (green, blue); the first links to the second
//   /click/trickle?hold=<token>     an orange landing page whose link (top 200 points) leads to
//                                   /click/page/2, sent in two pieces: the second (the link) only
//                                   once /click/release?hold=<token> came (or the server stops,
//                                   or 60 s passed)
//   /click/release?hold=<token>     204: lets the held page of that token finish
//
// Safe from the server's worker threads.
#include <optional>
#include <string>

namespace httplib {
struct Request;
}

namespace adserver {

struct Answer;
class ServerState;

// The answer for a click route, or nothing for any other path.
std::optional<Answer> clickRouteAnswer(const httplib::Request& request, const std::string& origin, ServerState& state);

}  // namespace adserver
