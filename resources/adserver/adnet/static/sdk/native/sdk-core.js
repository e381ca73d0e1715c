// The ad library's core page: it turns a slot's request parameters into the
// answer the ad server has set up for the slot's ad unit, hands the library
// the server's constants, and passes Viewability reports and library events on
// to the server's log. README.md beside the document root gives the contract.
//
// Functions the library calls:
//   ADNET_buildAdURL(parameters)         answers "loadAdURL", "loadAd" or
//                                        "invalidRequest" (or nothing) by the
//                                        unit's mode;
//   ADNET_getSdkConstants({"js": ...})   answers "loadSdkConstants";
//   ADNET_updateViewability(report)      logs it; answers "visibilityChanged"
//                                        and "untrackViewabilityUnit";
//   ADNET_ReceiveMessage(name, payload)  logs it.
//
// The server's generated script sdk-constants.js (optional) sets
// window.ADNET_CONSTANTS, window.ADNET_UNITS and window.ADNET_SERVER; without
// it every unit answers with the ad endpoint's URL and the constants are the
// defaults below.
(function () {
    "use strict";

    var server = objectOr(window.ADNET_SERVER);
    var units = objectOr(window.ADNET_UNITS);
    var AD_PATH = stringOr(server.ad_path, "/adnet/ad");
    var HTTP_ORIGIN = stringOr(server.http_origin, "http://" + location.host);
    var HTTPS_ORIGIN = stringOr(server.https_origin, "https://" + location.host);

    // The constants every answer carries, unless the server names them
    // otherwise (a value of null leaves the key out).
    var DEFAULT_CONSTANTS = {
        mraid_banner_path: location.origin + "/mraid/v1/mraid_app_banner.js",
        mraid_interstitial_path: location.origin + "/mraid/v1/mraid_app_interstitial.js",
        mraid_expanded_banner_path: location.origin + "/mraid/v1/mraid_app_expanded_banner.js",
        mraid_disable_redirect: "0",
        active_view_sampling_intervals: "[0.5,1,2]",
        discardable_storekitcontroller_cache_size: "1",
        bad_ad_report_path: location.origin + "/s/reportAd",
        as_domains: location.hostname,
        native_ad_support_url: location.origin + "/adnet/static/mad/sdk/native/native_ads.html",
        ak_web_view_cache_max_capacity: "4",
    };

    function has(object, key) {
        return Object.prototype.hasOwnProperty.call(object, key);
    }

    function objectOr(value) {
        return value && typeof value === "object" && !Array.isArray(value) ? value : {};
    }

    function stringOr(value, fallback) {
        return typeof value === "string" && value !== "" ? value : fallback;
    }

    // An argument the library passes as a JSON object, or as its text.
    function argument(value) {
        if (typeof value === "string") {
            try {
                value = JSON.parse(value);
            } catch (e) {
                return null;
            }
        }
        return value !== null && typeof value === "object" && !Array.isArray(value) ? value : null;
    }

    // Messages to the library ("amsg://core/<name>?<query>", every one of a
    // turn in order) and the server's log: adnet-page.js.
    var text = window.adnetPage.text;
    var query = window.adnetPage.query;
    var send = window.adnetPage.sender("core");
    var log = window.adnetPage.log;

    // Ad requests.

    function adURL(parameters) {
        var origin = text(parameters.force_https) === "1" ? HTTPS_ORIGIN : HTTP_ORIGIN;
        var q = query(parameters);
        return origin + AD_PATH + (q ? "?" + q : "");
    }

    // The unit's answer keys that go with a "loadAdURL".
    function withUnitKeys(answer, unit) {
        if (unit.request_scenario !== undefined && unit.request_scenario !== null)
            answer.request_scenario = text(unit.request_scenario);
        if (unit.enable_auto_click_protection !== undefined && unit.enable_auto_click_protection !== null)
            answer.enable_auto_click_protection = text(unit.enable_auto_click_protection);
        return answer;
    }

    var answers = {
        url: function (id, parameters, unit) {
            send("loadAdURL", withUnitKeys({ request_id: id, url: adURL(parameters) }, unit));
        },
        inline: function (id, parameters, unit) {
            var ad = objectOr(unit.ad);
            if (!Object.keys(ad).length) ad = { ad_url: adURL(parameters) };
            send("loadAd", { request_id: id, header: JSON.stringify(objectOr(unit.header)), ad: JSON.stringify(ad) });
        },
        errors: function (id, parameters, unit) {
            send("loadAdURL", { request_id: id, errors: stringOr(unit.errors, "no_fill") });
        },
        invalid: function (id) {
            send("invalidRequest", { request_id: id });
        },
        broken: function (id) {
            send("loadAd", { request_id: id, header: "{}", ad: '{"ad_url": ' });
        },
        silent: function () {},
    };

    window.ADNET_buildAdURL = function (value) {
        var parameters = argument(value);
        var id = parameters && parameters.request_id !== undefined ? text(parameters.request_id) : undefined;
        var slotname = parameters && typeof parameters.slotname === "string" ? parameters.slotname : "";
        if (!parameters || slotname === "") {
            send("invalidRequest", { request_id: id });
            return;
        }
        var unit = has(units, slotname) ? objectOr(units[slotname]) : {};
        var mode = stringOr(unit.mode, "url");
        if (!has(answers, mode)) {
            log("unknownMode", { slotname: slotname, mode: mode });
            mode = "invalid";
        }
        answers[mode](id, parameters, unit);
    };

    // Constants.

    window.ADNET_getSdkConstants = function () {
        var given = objectOr(window.ADNET_CONSTANTS);
        var constants = {};
        var key;
        for (key in DEFAULT_CONSTANTS) {
            if (has(DEFAULT_CONSTANTS, key) && !has(given, key)) constants[key] = DEFAULT_CONSTANTS[key];
        }
        for (key in given) {
            if (has(given, key) && given[key] !== null && given[key] !== undefined) constants[key] = text(given[key]);
        }
        send("loadSdkConstants", constants);
    };

    // Viewability: the last visibility of each measured unit (by its
    // "hashCode"); a unit starts out not visible.
    var visibleUnits = {};

    function flag(value) {
        return value === "1" || value === 1 || value === true ? "1" : "0";
    }

    window.ADNET_updateViewability = function (value) {
        var report = argument(value);
        log("updateViewability", { report: report === null ? text(value) : report });
        var list = report && Array.isArray(report.units) ? report.units : [];
        for (var i = 0; i < list.length; i++) {
            var unit = objectOr(list[i]);
            var hash = unit.hashCode === undefined ? "" : text(unit.hashCode);
            var visible = flag(unit.isVisible);
            if ((has(visibleUnits, hash) ? visibleUnits[hash] : "0") !== visible) {
                visibleUnits[hash] = visible;
                send("visibilityChanged", { isVisible: visible, hashCode: hash });
            }
            // An ad whose Viewability configuration says {"untrack": "never"}
            // keeps its measurement page waiting for ever.
            if (unit.doneReasonCode !== undefined && unit.doneReasonCode !== null) {
                delete visibleUnits[hash];
                if (objectOr(unit.viewabilityJSON).untrack !== "never")
                    send("untrackViewabilityUnit", { hashCode: hash, doneReasonCode: text(unit.doneReasonCode) });
            }
        }
    };

    // Events from the library.

    window.ADNET_ReceiveMessage = function (name, payload) {
        log("receiveMessage", { name: name === undefined ? null : text(name), payload: payload === undefined ? null : payload });
    };
})();
