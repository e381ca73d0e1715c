#include "HostileCreatives.h"

#include <utility>

#include "UnitTable.h"

namespace adserver {

namespace {

// What each item does once a frame has been painted.
const std::pair<const char*, const char*> kBehaviours[] = {
    {"script-loop", "for (;;) {}"},
    {"alert-loop", "for (;;) { alert('hostile creative'); }"},
    {"self-navigate", "location.href = '{origin}/adnet/click?ai=hostile-self-navigate';"},
    // 100 messages every 10 ms, each batch's frames removed with the next.
    {"message-flood",
     "var k = 0, batch = [];"
     "setInterval(function () {"
     "  batch.forEach(function (f) { f.remove(); }); batch = [];"
     "  for (var i = 0; i < 100; i++, k++) {"
     "    var f = document.createElement('iframe'); f.style.display = 'none';"
     "    f.src = 'amsg://mraid/flood?n=' + k; document.body.appendChild(f); batch.push(f);"
     "    window.postMessage({flood: k}, '*');"
     "  }"
     "}, 10);"},
    {"open-windows",
     "var w = 0;"
     "function more() { window.open('{origin}/adnet/landing?w=' + (w++), '_blank'); }"
     "for (var i = 0; i < 20; i++) more();"
     "setInterval(more, 100);"},
};

const char* behaviourOf(const std::string& item) {
    for (const auto& [name, script] : kBehaviours)
        if (item == name) return script;
    return nullptr;
}

}  // namespace

bool isHostileItem(const std::string& item) { return behaviourOf(item) != nullptr; }

std::optional<std::string> hostileCreative(const std::string& item, const std::string& origin) {
    const char* behaviour = behaviourOf(item);
    if (!behaviour) return std::nullopt;
    const std::string page =
        "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n"
        "<meta name=\"viewport\" content=\"width=device-width,initial-scale=1\">\n"
        "<title>hostile " + item + "</title>\n"
        "<style>html, body { margin: 0; width: 100%; height: 100%; overflow: hidden; background: #37474F; }\n"
        "p { margin: 0; font: bold 14px sans-serif; color: #FFFFFF; text-align: center; }</style>\n"
        "</head>\n<body>\n<p>hostile " + item + "</p>\n<script>\n"
        "(function () {\n"
        "  var started = false;\n"
        "  function misbehave() { if (started) return; started = true; " + behaviour + " }\n"
        "  requestAnimationFrame(function () { requestAnimationFrame(function () { setTimeout(misbehave, 0); }); });\n"
        "  window.addEventListener('load', function () { setTimeout(misbehave, 250); });\n"
        "})();\n</script>\n</body>\n</html>\n";
    return withOrigin(page, origin);
}

}  // namespace adserver
