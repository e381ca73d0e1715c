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
        window.adnetPage.log("reportActivity", { metadata: argument(metadata), request: argument(request) });
    }

    var adkit = (window.adkit = window.adkit || {});
    adkit.contentads = adkit.contentads || {};
    adkit.contentads.pma = adkit.contentads.pma || {};
    adkit.contentads.pma.reportActivity = reportActivity;
})();
