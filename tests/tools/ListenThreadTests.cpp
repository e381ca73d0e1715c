// The local peers' listening thread: a stop that comes right after the start,
// before the thread has begun listening, still ends it (the ad server's control
// closes its ports this way when a test orders "down" first thing).
#include <doctest/doctest.h>

#include <httplib.h>

#include <chrono>
#include <future>
#include <thread>

#include "ListenThread.h"

TEST_CASE("a server stopped right after its listening thread starts ends, and the thread serves the next one") {
    // Leaked when a stop hangs, so the thread left listening never uses freed memory.
    auto* listening = new peers::ListenThread;
    for (int round = 0; round < 50; ++round) {
        CAPTURE(round);
        auto* http = new httplib::Server;
        http->Get("/ping", [round](const httplib::Request&, httplib::Response& response) {
            response.set_content("pong " + std::to_string(round), "text/plain");
        });
        const int port = http->bind_to_any_port("127.0.0.1");
        REQUIRE(port > 0);
        listening->start(*http);
        if (round % 10 == 9) {  // now and then a request before the stop
            httplib::Client client("127.0.0.1", port);
            auto reply = client.Get("/ping");
            REQUIRE(reply);
            CHECK(reply->body == "pong " + std::to_string(round));
        }
        std::promise<void> stopped;
        auto ended = stopped.get_future();
        std::thread([listening, &stopped] {
            listening->stop();
            stopped.set_value();
        }).detach();
        REQUIRE_MESSAGE(ended.wait_for(std::chrono::seconds(20)) == std::future_status::ready,
                        "the stop did not end the listening");
        CHECK_FALSE(listening->serving());
        delete http;
    }
    delete listening;
}
