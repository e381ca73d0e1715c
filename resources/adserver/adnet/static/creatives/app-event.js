// Sends one "appEvent" page message with a name and info chosen by the page's
// query, each member replaced by window.ADNET_APP_EVENT when that is set:
//   name    the event's name (default "native_ad_content")
//   info    the info text as it is
//   config  instead of info: a path on this origin whose text becomes the
//           info, "{origin}" in it replaced by the origin of that path
//   delay   milliseconds after the load (default 0: on load)
(function () {
    "use strict";
    var settings = { name: "native_ad_content", info: null, config: null, delay: 0 };
    var pairs = location.search.replace(/^\?/, "").split("&");
    for (var i = 0; i < pairs.length; i++) {
        var at = pairs[i].indexOf("=");
        if (at <= 0) continue;
        var key = decodeURIComponent(pairs[i].slice(0, at));
        if (key in settings) settings[key] = decodeURIComponent(pairs[i].slice(at + 1).replace(/\+/g, " "));
    }
    var own = window.ADNET_APP_EVENT;
    if (own && typeof own === "object") {
        for (var member in settings) {
            if (own[member] !== undefined) settings[member] = typeof own[member] === "string" || member === "delay"
                ? own[member] : JSON.stringify(own[member]);
        }
    }

    function send(info) {
        var parameters = { name: settings.name };
        if (info !== null) parameters.info = info;
        window.adkit.adnet.sendMessage("appEvent", parameters);
    }

    function fire() {
        if (!settings.config) {
            send(settings.info);
            return;
        }
        var request = new XMLHttpRequest();
        request.open("GET", settings.config);
        request.onload = function () {
            var origin = new URL(settings.config, location.href).origin;
            send(request.status === 200 ? request.responseText.split("{origin}").join(origin) : "");
        };
        request.onerror = function () { send(""); };
        request.send();
    }

    window.addEventListener("load", function () {
        var delay = Number(settings.delay) || 0;
        if (delay > 0) setTimeout(fire, delay); else fire();
    });
})();
