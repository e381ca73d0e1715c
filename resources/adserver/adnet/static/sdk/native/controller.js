// The publisher controller page: the ad library hands it activity reports of
// publisher-managed campaigns, and it passes each on to the server's log.
// README.md beside the document root gives the contract.
//
// Functions the library calls:
//   adkit.contentads.pma.reportActivity(metadata, request)
//       posts {"seq", "kind": "reportActivity", "metadata", "request"} to the
//       log ("seq" from 1 in the order of the calls).
(function () {
    "use strict";

    var server = window.ADNET_SERVER && typeof window.ADNET_SERVER === "object" ? window.ADNET_SERVER : {};
    var LOG_PATH = typeof server.log_path === "string" && server.log_path !== "" ? server.log_path : "/adnet/log";
    var sequence = 0;

    // An argument the library passes as a JSON value, or as its text.
    function argument(value) {
        if (typeof value !== "string") return value === undefined ? null : value;
        try {
            return JSON.parse(value);
        } catch (e) {
            return value;
        }
    }

    function reportActivity(metadata, request) {
        var entry = { seq: ++sequence, kind: "reportActivity", metadata: argument(metadata), request: argument(request) };
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

    var adkit = (window.adkit = window.adkit || {});
    adkit.contentads = adkit.contentads || {};
    adkit.contentads.pma = adkit.contentads.pma || {};
    adkit.contentads.pma.reportActivity = reportActivity;
})();
