// Generated from src/core.js by src/assemble.cmake: edit those and run the
// assembly again (`cmake -P resources/adserver/mraid/v1/src/assemble.cmake`).
(function (window, document, kind) {
// The rich-media container (version 1.0 of the creative interface) that the ad
// library hands to a creative asking for "mraid.js". One body for the three
// kinds of page, run as a function of `kind`:
//   "banner"        an inline banner; it can expand and collapse again;
//   "interstitial"  a full-screen interstitial;
//   "expanded"      the second page of an expanded banner, full screen.
//
// Messages to the library are navigations of a new hidden frame to
// "amsg://mraid/<name>?<query>", one frame per message, so every message of a
// script turn arrives, in order (a change of the page's own location would
// keep only the last one). Events from the library arrive as calls of
// window.ADNET_ReceiveMessage(name, payload). The state and the viewability
// follow those events only: the library, not the creative, says when the ad
// is ready, expanded, collapsed, shown or hidden.
"use strict";

if (window.mraid && window.mraid.__container === "quorvane") return;

var VERSION = "1.0";
var EVENTS = ["ready", "error", "stateChange", "viewableChange"];
// A message frame stays in the page this long, long enough for the web view to
// have seen (and refused) its navigation.
var MESSAGE_FRAME_LIFETIME_MS = 1000;

var fullScreen = kind !== "banner";
var placementType = kind === "interstitial" ? "interstitial" : "inline";
var state = "loading";
var viewable = false;
var ready = false;
var listeners = {};
var features = {};
var screenSize = {
    width: (window.screen && window.screen.width) || window.innerWidth || 0,
    height: (window.screen && window.screen.height) || window.innerHeight || 0,
};
var landscape = screenSize.width > screenSize.height;
var expandProperties = { width: -1, height: -1, useCustomClose: false, isModal: true, forceOrientation: "none" };

function has(object, key) {
    return Object.prototype.hasOwnProperty.call(object, key);
}

// Messages out.

function send(name, parameters) {
    var query = [];
    for (var key in parameters) {
        if (!has(parameters, key) || parameters[key] === undefined || parameters[key] === null) continue;
        query.push(encodeURIComponent(key) + "=" + encodeURIComponent(String(parameters[key])));
    }
    var frame = document.createElement("iframe");
    frame.setAttribute("aria-hidden", "true");
    frame.style.display = "none";
    frame.src = "amsg://mraid/" + name + (query.length ? "?" + query.join("&") : "");
    (document.body || document.documentElement).appendChild(frame);
    setTimeout(function () {
        if (frame.parentNode) frame.parentNode.removeChild(frame);
    }, MESSAGE_FRAME_LIFETIME_MS);
}

// A URL the creative gives, made absolute against the page.
function absolute(url) {
    try {
        return new URL(String(url), document.baseURI).href;
    } catch (e) {
        return String(url);
    }
}

function flag(value) {
    return value ? "1" : "0";
}

// Events to the creative.

function fire(event, args) {
    var list = (listeners[event] || []).slice();
    for (var i = 0; i < list.length; i++) {
        try {
            list[i].apply(window, args);
        } catch (e) {
            // One listener's fault does not keep the others from hearing.
        }
    }
}

function fireError(message, action) {
    fire("error", [message, action]);
}

function setState(next) {
    if (state === next) return;
    state = next;
    fire("stateChange", [next]);
}

function setViewable(next) {
    next = !!next;
    if (viewable === next) return;
    viewable = next;
    fire("viewableChange", [next]);
}

// Events from the library.

function truth(value) {
    return value === true || value === 1 || value === "1" || value === "true";
}

var receivers = {
    onReadyEventReceived: function () {
        if (ready) return;
        ready = true;
        state = kind === "expanded" ? "expanded" : "default";
        fire("ready", []);
    },
    expanding: function () {
        if (kind === "banner") setState("expanded");
    },
    collapsed: function () {
        if (kind === "banner") setState("default");
    },
    onshow: function () {
        setViewable(true);
    },
    onhide: function () {
        setViewable(false);
        if (fullScreen) setState("hidden");
    },
    onAdVisibilityChanged: function (payload) {
        setViewable(truth(payload.visible));
    },
    onScreenInfoChanged: function (payload) {
        var width = Number(payload.width), height = Number(payload.height);
        if (width >= 0 && height >= 0) screenSize = { width: width, height: height };
        landscape = truth(payload.isOrientationLandscape);
    },
    onDeviceFeaturesReceived: function (payload) {
        features = {};
        for (var name in payload) {
            if (has(payload, name)) features[name] = truth(payload[name]);
        }
    },
};

var creativeReceiver = typeof window.ADNET_ReceiveMessage === "function" ? window.ADNET_ReceiveMessage : null;

function receive(name, payload) {
    if (has(receivers, name)) {
        try {
            receivers[name](payload && typeof payload === "object" ? payload : {});
        } catch (e) {
            // A payload the container cannot read changes nothing.
        }
    }
    if (creativeReceiver) return creativeReceiver.apply(window, arguments);
}

// A creative that sets its own receiver later is called after the container's.
try {
    Object.defineProperty(window, "ADNET_ReceiveMessage", {
        configurable: true,
        enumerable: true,
        get: function () {
            return receive;
        },
        set: function (next) {
            creativeReceiver = typeof next === "function" && next !== receive ? next : null;
        },
    });
} catch (e) {
    window.ADNET_ReceiveMessage = receive;
}

// Calendar dates as the library reads them: 2014-05-01T10:00:00+02:00.
function calendarDate(value) {
    if (!(value instanceof Date)) return value === undefined || value === null ? value : String(value);
    if (isNaN(value.getTime())) return undefined;
    function two(n) {
        return (n < 10 ? "0" : "") + n;
    }
    var offset = -value.getTimezoneOffset();
    var sign = offset < 0 ? "-" : "+";
    offset = Math.abs(offset);
    return value.getFullYear() + "-" + two(value.getMonth() + 1) + "-" + two(value.getDate()) + "T" +
        two(value.getHours()) + ":" + two(value.getMinutes()) + ":" + two(value.getSeconds()) +
        sign + two(Math.floor(offset / 60)) + ":" + two(offset % 60);
}

function orientationCode() {
    if (expandProperties.forceOrientation === "portrait") return "p";
    if (expandProperties.forceOrientation === "landscape") return "l";
    return "a";
}

// The interface.

var mraid = {
    __container: "quorvane",

    getVersion: function () {
        return VERSION;
    },
    getState: function () {
        return state;
    },
    isViewable: function () {
        return viewable;
    },
    getPlacementType: function () {
        return placementType;
    },
    supports: function (feature) {
        return has(features, feature) && features[feature] === true;
    },
    getScreenSize: function () {
        return { width: screenSize.width, height: screenSize.height };
    },
    getMaxSize: function () {
        return { width: screenSize.width, height: screenSize.height };
    },
    isOrientationLandscape: function () {
        return landscape;
    },

    addEventListener: function (event, listener) {
        if (EVENTS.indexOf(event) < 0 || typeof listener !== "function") {
            fireError("addEventListener needs one of " + EVENTS.join(", ") + " and a function", "addEventListener");
            return;
        }
        var list = listeners[event] || (listeners[event] = []);
        if (list.indexOf(listener) < 0) list.push(listener);
    },
    removeEventListener: function (event, listener) {
        var list = listeners[event];
        if (!list) {
            fireError("no listener for " + event, "removeEventListener");
            return;
        }
        if (listener === undefined) {
            delete listeners[event];
            return;
        }
        var at = list.indexOf(listener);
        if (at < 0) {
            fireError("that listener does not listen to " + event, "removeEventListener");
            return;
        }
        list.splice(at, 1);
    },

    expand: function (url) {
        if (kind !== "banner" || state !== "default") {
            fireError("only a banner in its default state can expand", "expand");
            return;
        }
        var parameters = { custom_close: flag(expandProperties.useCustomClose), o: orientationCode() };
        if (url === undefined || url === null || url === "") {
            parameters.a = "expand";
        } else {
            parameters.a = "webapp";
            parameters.u = absolute(url);
        }
        send("open", parameters);
    },
    close: function () {
        if (state === "expanded" || (kind === "interstitial" && state === "default")) {
            send("close", {});
            return;
        }
        fireError("nothing to close in the " + state + " state", "close");
    },
    useCustomClose: function (use) {
        expandProperties.useCustomClose = !!use;
        send("customClose", { custom_close: flag(use) });
    },
    getExpandProperties: function () {
        return {
            width: expandProperties.width < 0 ? screenSize.width : expandProperties.width,
            height: expandProperties.height < 0 ? screenSize.height : expandProperties.height,
            useCustomClose: expandProperties.useCustomClose,
            isModal: true,
            forceOrientation: expandProperties.forceOrientation,
        };
    },
    setExpandProperties: function (properties) {
        if (!properties || typeof properties !== "object") {
            fireError("setExpandProperties needs an object", "setExpandProperties");
            return;
        }
        if (typeof properties.width === "number" && properties.width >= 0) expandProperties.width = properties.width;
        if (typeof properties.height === "number" && properties.height >= 0) expandProperties.height = properties.height;
        if (has(properties, "useCustomClose")) expandProperties.useCustomClose = !!properties.useCustomClose;
        if (["portrait", "landscape", "none"].indexOf(properties.forceOrientation) >= 0) {
            expandProperties.forceOrientation = properties.forceOrientation;
        }
    },

    open: function (url) {
        if (url === undefined || url === null || url === "") {
            fireError("open needs a URL", "open");
            return;
        }
        send("open", { a: "browser", u: absolute(url) });
    },
    storePicture: function (url) {
        if (url === undefined || url === null || url === "") {
            fireError("storePicture needs a URL", "storePicture");
            return;
        }
        if (has(features, "storePicture") && !features.storePicture) {
            fireError("this device cannot store pictures", "storePicture");
            return;
        }
        send("mraid", { a: "storePicture", iurl: absolute(url) });
    },
    createCalendarEvent: function (event) {
        var start = event && calendarDate(event.start);
        if (!start) {
            fireError("createCalendarEvent needs an event with a start", "createCalendarEvent");
            return;
        }
        send("mraid", {
            a: "createCalendarEvent",
            start: start,
            end: calendarDate(event.end) || start,
            summary: event.summary || "",
            description: event.description || "",
            location: event.location || "",
        });
    },
    // Version 1.0 has no resize: the creative hears an error and the library
    // is asked for nothing (a resize without its sizes would open a web app of
    // no size).
    resize: function () {
        fireError("resize is not supported", "resize");
    },
};

window.mraid = mraid;
})(window, document, "expanded");
