// Protects the ad server's click chains and landing pages as clients meet
// them: chains to the HTTPS port, the cookie page, store links, linked landing
// pages, and a page held part-way that ends once released.
#include <doctest/doctest.h>

#include <future>
#include <string>

#include "support/AdServerProcess.h"
#include "support/HttpFetch.h"

using namespace testtools;

TEST_CASE("click routes: chains to the https port, a cookie page, store links, linked pages and a page held until released") {
    AdServerProcess server;
    REQUIRE(server.started());
    const std::string http = server.origin("http"), https = server.origin("https");
    struct Case {
        std::string path;
        long status;
        std::string location;
        std::string contains;
    };
    for (const Case& c : {Case{"/click/chain", 302, https + "/click/cookie", ""},
                          Case{"/click/chain?then=/click/page/1", 302, https + "/click/page/1", ""},
                          Case{"/click/store", 302, "https://apps.example/app/id123", ""},
                          Case{"/click/store?to=scheme", 302, "itms-apps://apps.example/app/id123", ""},
                          Case{"/click/cookie", 200, "", "Thanks for the click"},
                          Case{"/click/page/1", 200, "", "href=\"" + http + "/click/page/2\""},
                          Case{"/click/page/2", 200, "", "The second page"},
                          Case{"/click/elsewhere", 404, "", ""}}) {
        CAPTURE(c.path);
        const HttpReply reply = httpGet(http + c.path);
        CHECK(reply.status == c.status);
        CHECK(reply.header("location") == c.location);
        CHECK(reply.body.find(c.contains) != std::string::npos);
    }
    CHECK(httpGet(http + "/click/cookie").header("set-cookie") == "adclick=1; Path=/");

    // The held page ends, whole, once its release came.
    auto held = std::async(std::launch::async, [&] { return httpGet(http + "/click/trickle?hold=t", {}, 60000); });
    CHECK(httpGet(http + "/click/release?hold=t").status == 204);
    const HttpReply page = held.get();
    CHECK(page.status == 200);
    CHECK(page.body.find("<a id=\"next\" href=\"/click/page/2\">") != std::string::npos);
    CHECK(page.body.find("</html>") != std::string::npos);
}
