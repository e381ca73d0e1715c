// The publisher toolbar's script. The server sends it with ORIGIN set to its
// own origin; the library runs it in a page of its own (no base URL) and
// calls the two functions below with one JSON object each:
//   ADNET_initializeToolbar({adUnitID?, credentials?, adContent?})
//   ADNET_decodeImpression({adContent?, authenticationPageTitle})
// Every call is posted to the server's log as
//   {"kind": "toolbar", "call": <function name>, "argument": <the object>}.
// The page is three full-width bands, top to bottom: "Sign in" (purple: the
// sign-in page through "loadAuthenticationUri"), "Remember" (green:
// "storeCredentials" with user "publisher" and token "t0ken") and "Forget"
// (orange: "clearCredentials").
(function () {
    "use strict";

    var ORIGIN = "{origin}";
    var SIGN_IN_PAGE = ORIGIN + "/toolbar/signin.html";

    function record(call, argument) {
        var entry = JSON.stringify({kind: "toolbar", call: call, argument: argument});
        fetch(ORIGIN + "/adnet/log", {method: "POST", mode: "no-cors", body: entry}).catch(function () {});
    }

    // Page messages, each through a hidden frame of its own so that several in
    // one turn all reach the library; frames go on the next turn.
    function say(name, parameters) {
        var pairs = [];
        for (var key in parameters || {}) {
            if (Object.prototype.hasOwnProperty.call(parameters, key))
                pairs.push(encodeURIComponent(key) + "=" + encodeURIComponent(parameters[key]));
        }
        var frame = document.createElement("iframe");
        frame.style.display = "none";
        frame.src = "amsg://toolbar/" + name + (pairs.length ? "?" + pairs.join("&") : "");
        document.body.appendChild(frame);
        setTimeout(function () {
            if (frame.parentNode) frame.parentNode.removeChild(frame);
        }, 0);
    }

    function band(label, colour, action) {
        var element = document.createElement("div");
        element.textContent = label;
        element.style.cssText = "height:33.34vh;background:" + colour +
            ";color:#fff;font:bold 24px sans-serif;display:flex;align-items:center;justify-content:center";
        element.addEventListener("click", action);
        return element;
    }

    function render() {
        if (document.getElementById("toolbar")) return;
        var viewport = document.createElement("meta");
        viewport.name = "viewport";
        viewport.content = "width=device-width";
        document.head.appendChild(viewport);
        document.documentElement.style.cssText = "margin:0;height:100%";
        document.body.style.cssText = "margin:0;height:100%;overflow:hidden";
        var bands = document.createElement("div");
        bands.id = "toolbar";
        bands.appendChild(band("Sign in", "#6A1B9A", function () {
            say("loadAuthenticationUri", {authenticationUri: SIGN_IN_PAGE});
        }));
        bands.appendChild(band("Remember", "#2E7D32", function () {
            say("storeCredentials", {user: "publisher", token: "t0ken"});
        }));
        bands.appendChild(band("Forget", "#EF6C00", function () {
            say("clearCredentials");
        }));
        document.body.appendChild(bands);
    }

    window.ADNET_initializeToolbar = function (argument) {
        record("ADNET_initializeToolbar", argument);
        render();
        say("log", {string: "toolbar ready"});
        say("showJavaScriptWebView");
    };

    window.ADNET_decodeImpression = function (argument) {
        record("ADNET_decodeImpression", argument);
        say("showJavaScriptWebView");
    };
})();
