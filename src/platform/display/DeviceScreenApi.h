#pragma once
// The device screen's HTTP interface, apart from the HTTP library: one request
// in, one response out. Runs on the server's threads; everything that reads or
// moves views hops to the main queue and is awaited (no answer in the time
// limit: 503).
//
// Checks, in this order: the Host must be 127.0.0.1 or localhost with the
// server's port, and an Origin, when sent, the same (else 403); a POST body must
// be JSON (415 for another content type) of at most the body limit (413), an
// object with valid values (400).
//
//   GET  /                      the page
//   GET  /frame.png[?after=N]   the screen as it is (drawn first when nobody
//                               watched the frames); with after, the newest frame
//                               once it is newer than N, waiting up to the
//                               long-poll limit. Header
//                               X-Frame-Number. 503 before the first frame. A
//                               frame is encoded when first asked for, once.
//   GET  /api/screen            {width, height, scale, device, orientation, interface,
//                               frame}: the frame's size in points (the screen turned
//                               as the interface is), "phone" or "tablet", the device's
//                               orientation, "portrait" or "landscape" for the
//                               interface, and the newest frame's number
//   GET  /api/tree              {screen: ..., views: [...]} (see DeviceTree.h)
//   GET  /api/opened[?after=N]  {last, opened: [{number, url}]}: the URLs the application
//                               opened outside itself (DeviceOpenedURLs.h), the newest kept;
//                               with after, those numbered above N, waiting up to the
//                               long-poll limit for one (none when the time is up). Pass
//                               `last` as the next after.
//   POST /api/tap               {x, y} | {label[, index]} | {id[, index]}
//   POST /api/press             the same, with duration (seconds, default 1)
//   POST /api/touch             {phase: "down" | "move" | "up", x, y} (or a target): a
//                               finger held between its down and its up as long as the
//                               client holds it, so every recognizer sees the hold as it
//                               was (DeviceInput::touchDown); a move or up with no finger
//                               down answers 409
//   POST /api/scroll            {x, y, dx, dy} or a target with dx, dy; "wheel": true
//                               for a wheel turn; dx, dy is the finger's move (a wheel
//                               turn moves the nearest scroll view, held to its edges)
//   POST /api/type              {text}
//   POST /api/key               {key: "Return" | "Backspace"}
//   POST /api/rotate            {orientation: "portrait" | "portraitUpsideDown" |
//                               "landscapeLeft" | "landscapeRight"}
//   POST /api/wait              {label | id, gone?, timeout_ms?}: 200 once the view
//                               is on screen (or gone), 408 when the time is up
// A target by label or id is tapped at the centre of its visible part: 404 when
// no shown view matches, 409 when several do (without index) or it is covered.
// Input answers {delivered, receiver}; input nothing took answers 409.
#include <atomic>
#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "platform/foundation/Data.h"

class DeviceFrameStore;
class DeviceInput;
class DeviceOpenedURLs;

struct DeviceHttpRequest {
    std::string method;  // "GET", "POST", ...
    std::string path;    // without the query
    std::map<std::string, std::string> query;
    std::map<std::string, std::string> headers;  // names in lower case
    std::string body;
    std::string header(const std::string& lowerName) const;
};

struct DeviceHttpResponse {
    int status = 200;
    std::string contentType = "application/json";
    std::string body;
    std::shared_ptr<const Data> bytes;  // instead of body when set
    std::vector<std::pair<std::string, std::string>> headers;
};

class DeviceScreenApi {
public:
    struct Options {
        int port = 0;
        double mainQueueTimeout = 5;    // seconds the main loop has to answer
        double longPollTimeout = 25;    // seconds /frame.png?after waits
        double longestWait = 25;        // seconds /api/wait may wait
        std::size_t maxBodyBytes = 64 * 1024;
        std::string deviceKind = "phone";
    };

    DeviceScreenApi(Options options, std::shared_ptr<DeviceFrameStore> frames, std::shared_ptr<DeviceInput> input,
                    std::shared_ptr<DeviceOpenedURLs> opened);

    // Any thread but the main one.
    DeviceHttpResponse handle(const DeviceHttpRequest& request);
    // Whether answering the request may take long by the client's wish (a long
    // poll, /api/wait, a press): the server answers those on threads of their
    // own, not on the few that serve everyone.
    static bool mayWait(const DeviceHttpRequest& request);
    // Ends every wait at once (the server is stopping); later requests get 503.
    void cancel() { cancelled_ = true; }
    const Options& options() const { return options_; }

private:
    DeviceHttpResponse route(const DeviceHttpRequest& request);
    DeviceHttpResponse frame(const DeviceHttpRequest& request);
    DeviceHttpResponse screen();
    DeviceHttpResponse tree();
    DeviceHttpResponse opened(const DeviceHttpRequest& request);
    DeviceHttpResponse post(const std::string& path, const std::string& body);
    DeviceHttpResponse wait(const nlohmann::json& body);

    Options options_;
    std::shared_ptr<DeviceFrameStore> frames_;
    std::shared_ptr<DeviceInput> input_;  // used on the main queue only
    std::shared_ptr<DeviceOpenedURLs> opened_;
    std::atomic<bool> cancelled_{false};
};
