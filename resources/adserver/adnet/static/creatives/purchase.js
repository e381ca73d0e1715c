// Offers an in-app purchase: it makes the page a 320 x 50 banner in flat #6A1B9A
// whose whole area is the link "Buy coins" (id "buy"); a tap on it sends the page message
// "amsg://adnet/open?a=in_app_purchase&product_id=...&quantity=...&report_urls=..."
// with these settings, each replaced by the member of window.ADNET_PURCHASE
// when a page sets that object before the script:
//   product_id   the store product ID (default "com.example.coins")
//   quantity     the number of items (default "1")
//   report_urls  the reporting URL formats, one text separated by spaces or an
//                array (default: this origin's purchase report with every keyword)
(function () {
    "use strict";
    var keywords = ["sku", "status", "quantity", "sessionid", "appid", "appversion", "osversion", "sdkversion",
                    "timestamp"];
    var report = location.origin + "/adnet/purchase/report?" + keywords.map(function (keyword) {
        return keyword + "=@" + keyword + "@";
    }).join("&");
    var settings = { product_id: "com.example.coins", quantity: "1", report_urls: report };
    var own = window.ADNET_PURCHASE;
    if (own && typeof own === "object") {
        for (var member in settings) {
            if (own[member] === undefined) continue;
            var value = own[member];
            settings[member] = Array.isArray(value) ? value.join(" ") : String(value);
        }
    }
    settings.report_urls = settings.report_urls.split("{origin}").join(location.origin);

    var send = window.adnetPage.sender("adnet");
    document.addEventListener("DOMContentLoaded", function () {
        var style = document.createElement("style");
        style.textContent = "html, body { margin: 0; padding: 0; width: 320px; height: 50px; overflow: hidden; " +
            "background: #6A1B9A; } #buy { position: absolute; left: 0; top: 0; width: 320px; height: 50px; " +
            "line-height: 50px; text-align: center; font: bold 16px sans-serif; color: #FFFFFF; " +
            "text-decoration: none; }";
        document.head.appendChild(style);
        var buy = document.createElement("a");
        buy.id = "buy";
        buy.href = "#buy";
        buy.textContent = "Buy coins";
        buy.addEventListener("click", function (event) {
            event.preventDefault();
            send("open", { a: "in_app_purchase", product_id: settings.product_id, quantity: settings.quantity,
                           report_urls: settings.report_urls });
        });
        document.body.appendChild(buy);
    });
})();
