// What our pages share: page messages to the ad library and entries in the
// server's log. Loaded before the page's own script.
//
//   adnetPage.sender(host)     a function (name, parameters) sending page
//                              messages "amsg://<host>/<name>?<query>"
//   adnetPage.log(kind, fields) one POST {"seq", "kind", ...fields} to the
//                              server's log ("seq" from 1 in this page)
//   adnetPage.query(parameters) the query text of a message (strings as they
//                              are, objects and arrays as JSON, null left out)
(function () {
    "use strict";

    var server = window.ADNET_SERVER && typeof window.ADNET_SERVER === "object" ? window.ADNET_SERVER : {};
    var LOG_PATH = typeof server.log_path === "string" && server.log_path !== "" ? server.log_path : "/adnet/log";

    function has(object, key) {
        return Object.prototype.hasOwnProperty.call(object, key);
    }

    // A parameter's text: strings as they are, objects and arrays as JSON.
    function text(value) {
        if (typeof value === "string") return value;
        if (value !== null && typeof value === "object") return JSON.stringify(value);
        return String(value);
    }

    function query(parameters) {
        var pairs = [];
        for (var key in parameters || {}) {
            if (!has(parameters, key) || parameters[key] === undefined || parameters[key] === null) continue;
            pairs.push(encodeURIComponent(key) + "=" + encodeURIComponent(text(parameters[key])));
        }
        return pairs.join("&");
    }

    // Messages to the library: each a navigation of a new hidden frame, so
    // that every message of one script turn reaches the library, in order (a
    // change of the page's own location would keep only the last). A frame is
    // removed on a later turn, once its navigation has been asked about. The
    // engine keeps at most 1,000 frames in a page, and a long turn looks like a
    // hung page to the library's watchdog, so at most MAX_FRAMES frames go out
    // in one turn: later messages wait for the frames of the turn before to go.
    // One queue serves every sender of the page, so their messages keep order.
    var MAX_FRAMES = 100;
    var waiting = [];
    var sent = [];
    var sweepPending = false;

    function sender(host) {
        return function (name, parameters) {
            var q = query(parameters);
            waiting.push("amsg://" + host + "/" + name + (q ? "?" + q : ""));
            pump();
        };
    }

    function pump() {
        var parent = document.body || document.documentElement;
        while (waiting.length && sent.length < MAX_FRAMES) {
            var frame = document.createElement("iframe");
            frame.setAttribute("aria-hidden", "true");
            frame.style.display = "none";
            frame.src = waiting.shift();
            parent.appendChild(frame);
            sent.push(frame);
        }
        if (sent.length && !sweepPending) {
            sweepPending = true;
            setTimeout(sweep, 0);
        }
    }

    function sweep() {
        sweepPending = false;
        var done = sent;
        sent = [];
        for (var i = 0; i < done.length; i++) {
            if (done[i].parentNode) done[i].parentNode.removeChild(done[i]);
        }
        pump();
    }

    // The server's log: one POST of a JSON object per entry, numbered in the
    // order the page made them, as requests may overtake each other on the way.
    var logSequence = 0;

    function log(kind, fields) {
        var entry = { seq: ++logSequence, kind: kind };
        for (var key in fields || {}) {
            if (has(fields, key)) entry[key] = fields[key];
        }
        try {
            fetch(LOG_PATH, {
                method: "POST",
                headers: { "Content-Type": "application/json" },
                body: JSON.stringify(entry),
                keepalive: true,
            }).catch(function () {});
        } catch (e) {
            // No log is no reason to fail the page.
        }
    }

    window.adnetPage = { sender: sender, log: log, query: query, text: text };
})();
