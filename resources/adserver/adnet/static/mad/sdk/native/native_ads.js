// The native ads' script: the support page's preprocessing and the click of a
// native ad, shared by the support page and the app-event creative.
//
//   adkit.adnet.sendMessage(name, parameters)  one page message to the library
//   adkit.adnet.nativeAds.preProcessJsonAmsg(configuration)
//       answers "nativeAdPreProcess" with "success": the configuration's JSON
//       text as given, rewritten, or never (see resources/adserver/README.md)
//   adkit.adnet.nativeAds.handleClick({"ad": ..., "click": {...}})
//       requests the ad's "adkit_click_tracking_url"
(function () {
    "use strict";
    var adkit = window.adkit = window.adkit || {};
    var adnet = adkit.adnet = adkit.adnet || {};
    var nativeAds = adnet.nativeAds = adnet.nativeAds || {};

    // Messages "amsg://adnet/<name>?<query>", every one of a turn in order
    // (adnet-page.js, loaded before this script).
    adnet.sendMessage = window.adnetPage.sender("adnet");

    function objectOf(value) {
        if (typeof value === "string") {
            try { return JSON.parse(value); } catch (e) { return null; }
        }
        return value;
    }

    // The page's own choice from its query ("?answer=rewrite&delay=500"),
    // replaced member by member by the configuration's "preprocess" object.
    function choice(configuration) {
        var chosen = { answer: "given", delay: 0, set: null };
        var pairs = location.search.replace(/^\?/, "").split("&");
        for (var i = 0; i < pairs.length; i++) {
            var pair = pairs[i].split("=");
            if (pair[0] === "answer") chosen.answer = decodeURIComponent(pair[1] || "");
            if (pair[0] === "delay") chosen.delay = Number(decodeURIComponent(pair[1] || "0")) || 0;
        }
        var own = configuration && typeof configuration === "object" ? configuration.preprocess : null;
        if (own && typeof own === "object") {
            if (typeof own.answer === "string") chosen.answer = own.answer;
            if (typeof own.delay === "number") chosen.delay = own.delay;
            if (own.set && typeof own.set === "object") chosen.set = own.set;
        }
        return chosen;
    }

    // The first ad object with the chosen members set (a headline marked
    // "(rewritten)" when the choice names none).
    function rewritten(configuration, set) {
        var copy = JSON.parse(JSON.stringify(configuration));
        var ad = copy.ads && copy.ads[0];
        if (!ad || typeof ad !== "object") return copy;
        if (!set) set = { headline: String(ad.headline || "") + " (rewritten)" };
        for (var key in set) {
            if (Object.prototype.hasOwnProperty.call(set, key)) ad[key] = set[key];
        }
        return copy;
    }

    nativeAds.preProcessJsonAmsg = function (input) {
        var configuration = objectOf(input);
        var chosen = choice(configuration);
        if (chosen.answer === "never") return;
        var answer;
        if (chosen.answer === "invalid") {
            answer = "{not json";
        } else {
            var out = chosen.answer === "rewrite" ? rewritten(configuration, chosen.set) : configuration;
            if (out && typeof out === "object") {
                out = JSON.parse(JSON.stringify(out));
                delete out.preprocess;
            }
            answer = JSON.stringify(out);
        }
        var reply = function () { adnet.sendMessage("nativeAdPreProcess", { success: answer }); };
        if (chosen.delay > 0) setTimeout(reply, chosen.delay); else reply();
    };

    // The click tracking request goes out as an image load: no answer is read.
    var pending = [];
    nativeAds.handleClick = function (input) {
        var click = objectOf(input);
        var ad = click && click.ad;
        var tracking = ad && ad.tracking_urls_and_actions;
        var url = tracking && tracking.adkit_click_tracking_url;
        if (typeof url !== "string" || !url) return false;
        var image = new Image();
        image.onload = image.onerror = function () { pending.splice(pending.indexOf(image), 1); };
        pending.push(image);
        image.src = url;
        return true;
    };
})();
