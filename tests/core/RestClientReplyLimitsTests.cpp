// The catalogue client against replies it must not keep or cannot read: a
// body past its memory limit, and a body that is no text in its charset.
#include <doctest/doctest.h>

#include <string>

#include "core/NLRestClient.h"
#include "networking/NLURLConnectionOperation.h"
#include "networking/NLURLResponseSerialization.h"
#include "platform/net/NSURLError.h"
#include "support/LoopbackHttpServer.h"
#include "support/TestEnvironment.h"

using testsupport::LoopbackHttpServer;
using testsupport::Reply;
using testsupport::runMainUntil;

TEST_CASE("catalogue replies over 16 MiB or not text in their charset fail with their own errors") {
    testsupport::TempHome home;
    LoopbackHttpServer server;
    struct Case {
        const char* name;
        Reply reply;
        const char* domain;
        long code;
    };
    const Case cases[] = {
        {"17 MiB announced", Reply::text(std::string(17u << 20, 'A'), "text/html"), NSURLErrorDomain,
         NLURLErrorDataLengthExceedsMaximum},
        {"17 MiB chunked", Reply::text(std::string(17u << 20, 'A'), "text/html").chunked(1 << 16), NSURLErrorDomain,
         NLURLErrorDataLengthExceedsMaximum},
        {"no UTF-8", Reply::text("QUJD\xff\xfe", "text/html"), NLURLResponseSerializationErrorDomain,
         NLURLErrorCannotDecodeContentData},
        {"no text in the named charset", Reply::text("QUJD\x81", "text/html; charset=Shift_JIS"),
         NLURLResponseSerializationErrorDomain, NLURLErrorCannotDecodeContentData},
    };
    for (const auto& c : cases) {
        INFO(std::string(c.name));
        server.setHandler([&](const testsupport::RecordedRequest&) { return c.reply; });
        auto client = std::make_shared<NLRestClient>();
        client->setBaseURL(server.url("/admin/index.php/apiios_final"));
        int calls = 0;
        NSErrorPtr error;
        client->getDetailMovies(
            7, [&](const Value&) { ++calls; },
            [&](const NSErrorPtr& e) {
                ++calls;
                error = e;
            });
        REQUIRE(runMainUntil([&] { return calls > 0; }, 30));
        CHECK(calls == 1);
        REQUIRE(error);
        CHECK(error->domain() == c.domain);
        CHECK(error->code() == c.code);
    }
}
