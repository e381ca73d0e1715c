// The catalogue client against the real catalogue server and scripted loopback backends:
// requests, signing, reply decoding and the shapes of reply data.
#include <doctest/doctest.h>

#include <cstdlib>
#include <functional>
#include <mutex>
#include <random>
#include <set>
#include <string>

#include "core/AESAdditions.h"
#include "core/Base64.h"
#include "core/Digest.h"
#include "core/MoviesModel.h"
#include "core/NLRestClient.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/NSJSONSerialization.h"
#include "platform/foundation/NSLog.h"
#include "platform/runloop/NSRunLoop.h"
#include "support/CatalogueServerProcess.h"
#include "support/LoopbackHttpServer.h"
#include "support/TestEnvironment.h"

using testsupport::runMainUntil;

namespace {

constexpr const char* kApiPath = "/admin/index.php/apiios_final";
constexpr const char* kReplyKey = "wqle#*!408mzbrt5kc&e(7xy)26fhu0v";

// The outcome of one call: the data handed to success or the error handed to failure.
struct Outcome {
    int calls = 0;
    bool succeeded = false;
    Value data;
    NSErrorPtr error;
    NLRestClient::Success success() {
        return [this](const Value& d) {
            ++calls;
            succeeded = true;
            data = d;
        };
    }
    NLRestClient::Failure failure() {
        return [this](const NSErrorPtr& e) {
            ++calls;
            error = e;
        };
    }
    bool wait() { return runMainUntil([this] { return calls > 0; }, 20); }
};

struct ClientFixture {
    testsupport::TempHome home;
    testtools::CatalogueServerProcess server;
    std::shared_ptr<NLRestClient> client = std::make_shared<NLRestClient>();
    ClientFixture() {
        REQUIRE(server.started());
        client->setBaseURL(server.origin() + kApiPath);
    }
    // A client whose requests order the given fault through the path prefix.
    std::shared_ptr<NLRestClient> faulty(const std::string& faults) const {
        auto c = std::make_shared<NLRestClient>();
        c->setBaseURL(server.origin() + "/fault/" + faults + kApiPath);
        return c;
    }
};

// A reply body as the backend makes it: Base64 of the encrypted envelope text.
std::string encryptedReply(const std::string& json) {
    auto cipher = AES256EncryptWithKey(dataFromString(json), kReplyKey);
    REQUIRE(cipher);
    auto text = base64EncodedString(*cipher);
    REQUIRE(text);
    return *text;
}

}  // namespace

TEST_CASE("the six calls reach the backend and hand over the envelope's data") {
    ClientFixture f;
    Outcome movies, shows, detail, streams, config, search;
    f.client->getListMoviesWithType("popular", 0, 1, movies.success(), movies.failure());
    f.client->getListTVShowWithType("rating", 0, 1, shows.success(), shows.failure());
    f.client->getConfigVersionSuccess(config.success(), config.failure());
    REQUIRE(movies.wait());
    REQUIRE(shows.wait());
    REQUIRE(config.wait());
    REQUIRE(movies.succeeded);
    CHECK(movies.data["films"].count() == 30);
    CHECK(movies.data["more"].boolValue());
    REQUIRE(shows.succeeded);
    CHECK(shows.data["films"].count() > 0);
    REQUIRE(config.succeeded);
    CHECK(config.data["AppVersion"].isString());
    CHECK(config.data["AdvCount"].intValue() == 3);

    auto firstID = movies.data["films"][0]["id"].intValue();
    f.client->getDetailMovies(firstID, detail.success(), detail.failure());
    REQUIRE(detail.wait());
    REQUIRE(detail.succeeded);
    CHECK(detail.data["id"].intValue() == firstID);
    REQUIRE(detail.data["chapters"].count() >= 1);
    f.client->getListStreamOfChapter(detail.data["chapters"][0]["id"].intValue(), streams.success(), streams.failure());
    REQUIRE(streams.wait());
    REQUIRE(streams.succeeded);
    REQUIRE(streams.data.isArray());
    CHECK(streams.data[0]["link"].isString());

    auto word = movies.data["films"][0]["title"].stringValue().substr(0, 4);
    f.client->searchMoviesWithKey(word, 1, search.success(), search.failure());
    REQUIRE(search.wait());
    REQUIRE(search.succeeded);
    CHECK(search.data["films"].count() >= 1);
    // Exactly one callback per call.
    NSRunLoop::mainRunLoop()->runFor(0.05);
    for (auto* o : {&movies, &shows, &detail, &streams, &config, &search}) CHECK(o->calls == 1);
}

TEST_CASE("paging runs to a last page that says there is no more") {
    ClientFixture f;
    int page = 1, total = 0;
    bool more = true;
    while (more && page < 20) {
        Outcome o;
        f.client->getListMoviesWithType("new", 0, page, o.success(), o.failure());
        REQUIRE(o.wait());
        REQUIRE(o.succeeded);
        total += static_cast<int>(o.data["films"].count());
        more = o.data["more"].boolValue();
        ++page;
    }
    CHECK_FALSE(more);
    CHECK(total == 120);  // the backend's default number of movies
}

TEST_CASE("search keywords with reserved and non-ASCII characters arrive intact") {
    ClientFixture f;
    for (std::string keyword : {"a&b=c", "1+1", "caf\xC3\xA9 \xE6\x98\xA0\xE7\x94\xBB", "100%"}) {
        Outcome o;
        f.client->searchMoviesWithKey(keyword, 1, o.success(), o.failure());
        REQUIRE(o.wait());
        // The backend found no title but understood the request: an empty page, not an error.
        REQUIRE_MESSAGE(o.succeeded, keyword);
        CHECK(o.data["films"].count() == 0);
    }
    auto url = f.client->buildRESTFULLUrlWithURL("http://h/p", Value{{"keyword", "a&b=c+d \xC3\xA9"}});
    CHECK(url.rfind("http://h/p?keyword=a%26b%3Dc%2Bd%20%C3%A9&os=ios&", 0) == 0);
}

TEST_CASE("time and token come from one clock value, also past 2038") {
    testsupport::TempHome home;
    NLRestClient client;
    std::vector<std::string> lines;
    setLogHook([&](const std::string& l) { lines.push_back(l); });
    for (std::int64_t t : {std::int64_t(1500000000), std::int64_t(5000000000)}) {
        Clock::useVirtualTime(static_cast<double>(t) + 0.75);
        auto suffix = client.exeLink();
        Clock::useRealTime();
        auto text = std::to_string(t);
        CHECK(suffix.find("&token=" + md5("rivo718#pelmarq642" + text) + "&") != std::string::npos);
        CHECK(suffix.size() > text.size());
        CHECK(suffix.substr(suffix.size() - text.size() - 6) == "&time=" + text);
        CHECK(suffix.rfind("&os=ios&version=", 0) == 0);
    }
    setLogHook(nullptr);
    REQUIRE(lines.size() == 2);
    CHECK(lines[0] == "---- 1500000");
    CHECK(lines[1] == "---- 5000000");
}

TEST_CASE("backend faults give the client's errors") {
    ClientFixture f;
    auto call = [&](const std::string& faults) {
        auto o = std::make_shared<Outcome>();
        f.faulty(faults)->getConfigVersionSuccess(o->success(), o->failure());
        REQUIRE(o->wait());
        return o;
    };
    auto base = f.faulty("x")->baseURL();
    SUBCASE("an HTTP 500 passes the transport's error") {
        auto o = call("http500");
        REQUIRE(o->error);
        CHECK(o->error->code() == -1011);
    }
    SUBCASE("undecodable replies are code 0 under the base URL") {
        for (const char* fault : {"badbase64", "lowercase", "empty"}) {
            auto c = std::make_shared<NLRestClient>();
            c->setBaseURL(f.server.origin() + "/fault/" + fault + kApiPath);
            Outcome o;
            c->getConfigVersionSuccess(o.success(), o.failure());
            REQUIRE(o.wait());
            REQUIRE_MESSAGE(o.error, fault);
            CHECK_MESSAGE(o.error->code() == 0, fault);
            CHECK_MESSAGE(o.error->domain() == c->baseURL(), fault);
        }
    }
    SUBCASE("a wrong key never yields data") {
        auto o = call("wrongkey");
        CHECK_FALSE(o->succeeded);
        REQUIRE(o->error);
        CHECK((o->error->code() == 0 || o->error->code() == 3840));
    }
    SUBCASE("a bare JSON scalar passes the parser's error") {
        auto o = call("scalar");
        REQUIRE(o->error);
        CHECK(o->error->domain() == NSCocoaErrorDomain);
        CHECK(o->error->code() == 3840);
    }
    SUBCASE("wrapped Base64 and a delayed reply still succeed") {
        CHECK(call("wrapped")->succeeded);
        CHECK(call("delay:300")->succeeded);
    }
    (void)base;
}

namespace {

// A loopback backend whose next reply the test sets: status and body.
struct ScriptedBackend {
    testsupport::TempHome home;
    testsupport::LoopbackHttpServer server;
    std::mutex m;
    std::string body;
    int status = 200;
    std::shared_ptr<NLRestClient> client = std::make_shared<NLRestClient>();

    ScriptedBackend() {
        server.setHandler([this](const testsupport::RecordedRequest&) {
            std::lock_guard l(m);
            return testsupport::Reply::withStatus(status, body);
        });
        client->setBaseURL(server.url(kApiPath));
    }
    void answer(int s, std::string b) {
        std::lock_guard l(m);
        status = s;
        body = std::move(b);
    }
    // Runs one of the catalogue calls by its action name and waits for its callback.
    std::shared_ptr<Outcome> call(const std::string& action) {
        auto o = std::make_shared<Outcome>();
        if (action == "movies") client->getListMoviesWithType("popular", 0, 1, o->success(), o->failure());
        else if (action == "tvshow") client->getListTVShowWithType("popular", 0, 1, o->success(), o->failure());
        else if (action == "search") client->searchMoviesWithKey("a", 1, o->success(), o->failure());
        else if (action == "detail") client->getDetailMovies(1, o->success(), o->failure());
        else if (action == "stream") client->getListStreamOfChapter(1, o->success(), o->failure());
        else client->getConfigVersionSuccess(o->success(), o->failure());
        REQUIRE(o->wait());
        return o;
    }
};

// A page of 30 titles in which each odd field of `odd` lands in the title at `at`.
std::string pageWith(const std::string& odd, int at) {
    std::string films;
    for (int i = 0; i < 30; ++i) {
        if (i) films += ",";
        films += i == at ? odd
                         : R"({"id":)" + std::to_string(100 + i) + R"(,"title":"T)" + std::to_string(i) +
                               R"(","year":2000,"rating":5.5,"poster":"p","servername":"s"})";
    }
    return R"({"more":true,"films":[)" + films + "]}";
}

}  // namespace

TEST_CASE("legitimate replies of every call reach success with their fields converted") {
    ScriptedBackend b;
    struct Row {
        const char* action;
        std::string data;  // the envelope's "data" text; empty: the envelope has no "data"
        std::function<void(const Value&)> check;
    };
    const std::vector<Row> rows{
        // One odd title never costs the page: string year, numeric title, numeric server name.
        {"movies", pageWith(R"({"id":"7","title":1917,"year":"2001","servername":720})", 3),
         [](const Value& d) {
             REQUIRE(d["films"].count() == 30);
             auto m = MoviesModel::fromFilmInfo(d["films"][3]);
             CHECK(m->movieID() == 7);
             CHECK(m->title() == "1917");
             CHECK(m->movieYear() == 2001u);
             CHECK(m->serverName() == "720");
             CHECK(d["films"][3]["title"] == Value("1917"));
         }},
        // An element that is not an object is left out; the other 29 stay in order.
        {"tvshow", pageWith(R"("not a title")", 0),
         [](const Value& d) {
             REQUIRE(d["films"].count() == 29);
             CHECK(d["films"][0]["title"] == Value("T1"));
             CHECK(d["more"].boolValue());
         }},
        {"search", R"({"more":"0","films":[null,5,{"id":1,"title":2.5}]})",
         [](const Value& d) {
             REQUIRE(d["films"].count() == 1);
             CHECK(d["films"][0]["title"] == Value("2.5"));
             CHECK_FALSE(d["more"].boolValue());
         }},
        {"movies", R"({"more":false})", [](const Value& d) { CHECK(d["films"].count() == 0); }},
        {"detail",
         R"({"id":"9","title":2046,"startyear":"2004","chapters":[{"id":"91","title":1},"x",{"id":92,"title":"Two"}]})",
         [](const Value& d) {
             auto m = MoviesModel::fromDetailInfo(d);
             CHECK(m->title() == "2046");
             CHECK(m->movieYear() == 2004u);
             REQUIRE(m->chapters().count() == 2);
             CHECK(m->chapters()[0]["title"] == Value("1"));  // a download's file name is text
             CHECK(m->chapters()[0]["id"].intValue() == 91);
             CHECK(m->chapters()[1]["title"] == Value("Two"));
         }},
        {"stream", R"([{"name":720,"link":"http%3A%2F%2Fh%2F720.mp4"},7,{"name":"HD","link":"l"}])",
         [](const Value& d) {
             REQUIRE(d.count() == 2);
             CHECK(d[0]["name"] == Value("720"));
             CHECK(d[1]["name"] == Value("HD"));
         }},
        // A stream list that is not an array is handed on: the screen shows no picker.
        {"stream", R"({"name":"HD"})", [](const Value& d) { CHECK(d.isDictionary()); }},
        {"getversion", R"({"AppVersion":2,"AdvType":"1","AdvCount":"3","AdvIDBaner":12345678901})",
         [](const Value& d) {
             CHECK(d["AppVersion"] == Value("2"));
             CHECK(d["AdvType"].intValue() == 1);
             CHECK(d["AdvIDBaner"] == Value("12345678901"));
         }},
        // No "data" or a null one hands over null for every call: the screens keep
        // an empty page, no detail, an empty configuration.
        {"getversion", "", [](const Value& d) { CHECK(d.isNull()); }},
        {"getversion", "null", [](const Value& d) { CHECK(d.isNull()); }},
        {"movies", "", [](const Value& d) { CHECK(d.isNull()); }},
        {"detail", "null", [](const Value& d) { CHECK(d.isNull()); }},
        {"stream", "null", [](const Value& d) { CHECK(d.isNull()); }},
    };
    for (const auto& row : rows) {
        std::string action = row.action;
        CAPTURE(action);
        CAPTURE(row.data);
        b.answer(200, encryptedReply(row.data.empty() ? std::string(R"({"msg":"Success"})")
                                                      : R"({"msg":"Success","data":)" + row.data + "}"));
        auto o = b.call(row.action);
        CHECK(o->calls == 1);
        CHECK(o->succeeded);
        if (o->succeeded) row.check(o->data);
    }
}

TEST_CASE("replies whose container has the wrong shape are refused with the client's error") {
    ScriptedBackend b;
    for (const auto& [action, data] : std::vector<std::pair<std::string, std::string>>{
             {"movies", R"([{"id":1}])"},               // a list that is not an object
             {"search", R"({"films":{"id":1}})"},       // films that are not an array
             {"tvshow", R"("films")"},
             {"detail", R"("detail")"},                 // a detail that is not an object
             {"detail", R"([{"id":1}])"},
             {"detail", R"({"id":1,"chapters":{"id":2}})"},  // chapters that are not an array
         }) {
        CAPTURE(action);
        CAPTURE(data);
        b.answer(200, encryptedReply(R"({"msg":"Success","data":)" + data + "}"));
        auto o = b.call(action);
        CHECK(o->calls == 1);
        REQUIRE(o->error);
        CHECK(o->error->code() == 0);
        CHECK(o->error->domain() == b.client->baseURL());
    }
}

TEST_CASE("hostile reply bodies fail once and never crash") {
    ScriptedBackend b;
    b.answer(403, "forbidden");
    {
        auto o = b.call("getversion");
        REQUIRE(o->error);
        CHECK(o->error->code() == -1011);
    }
    // Truncated ciphertext, random bytes, a huge reply, deep JSON.
    std::string good = encryptedReply(R"({"msg":"Success","data":{"AdvType":1}})");
    std::mt19937 rng(7);
    std::string noise(4096, '\0');
    for (auto& c : noise) c = static_cast<char>(rng());
    std::string deep = std::string(100000, '[') + std::string(100000, ']');
    std::string huge = R"({"msg":"Success","data":{"AppLink":")" + std::string(8 << 20, 'x') + R"("}})";
    struct Hostile {
        std::string body;
        bool succeeds;
    };
    for (const auto& h : std::vector<Hostile>{{good.substr(0, good.size() - 7), false},
                                              {noise, false},
                                              {encryptedReply(deep), false},
                                              {encryptedReply(huge), true}}) {
        b.answer(200, h.body);
        auto o = b.call("getversion");
        CHECK(o->calls == 1);
        CHECK(o->succeeded == h.succeeds);
    }
}

TEST_CASE("the retry argument gates the call and a transport failure is never repeated") {
    ScriptedBackend b;
    // Below 1: failure at once with the caller's error, nothing sent.
    auto given = NSError::errorWithDomain("caller", 7, Value());
    Outcome get, put, del, payload;
    b.client->getPath("movies", Value{{"page", 1}}, 0, given, get.success(), get.failure(), CatalogueReplyKind::List);
    b.client->putPath("items/1", Value{{"a", 1}}, 0, given, put.success(), put.failure());
    b.client->deletedWithPath("items/1", Value(), -3, given, del.success(), del.failure());
    b.client->postPathPayload("items", Value{{"a", 1}}, 0, given, payload.success(), payload.failure());
    for (auto* o : {&get, &put, &del, &payload}) {
        CHECK(o->calls == 1);
        CHECK(o->error == given);
    }
    // A count of 3 sends one request: a server error and a refused connection are
    // reported once, as they came.
    b.answer(500, "busy");
    auto failed = b.call("movies");
    REQUIRE(failed->error);
    CHECK(failed->error->code() == -1011);
    // Repeats would all have been sent before the failure was reported.
    CHECK(b.server.requestCount() == 1);
    auto dead = std::make_shared<NLRestClient>();
    {
        testsupport::LoopbackHttpServer gone;
        dead->setBaseURL(gone.url(kApiPath));
    }
    Outcome refused;
    dead->getListMoviesWithType("popular", 0, 1, refused.success(), refused.failure());
    REQUIRE(refused.wait());
    REQUIRE(refused.error);
    CHECK(refused.error->domain() == NSURLErrorDomain);
}

TEST_CASE("the routines without a catalogue caller resolve under the base path") {
    testsupport::TempHome home;
    testsupport::LoopbackHttpServer server;
    server.setHandler([](const testsupport::RecordedRequest&) {
        return testsupport::Reply::text(R"({"ok":true})", "application/json");
    });
    auto client = std::make_shared<NLRestClient>();
    client->setBaseURL(server.url(kApiPath));
    Outcome put, post, del, retry;
    client->putPath("items/7", Value{{"name", "x"}}, 1, nullptr, put.success(), put.failure());
    client->postPath("items", Value{{"name", "y"}}, 1, nullptr, post.success(), post.failure());
    client->deletedWithPath("items/7", Value{{"force", 1}}, 1, nullptr, del.success(), del.failure());
    REQUIRE(put.wait());
    REQUIRE(post.wait());
    REQUIRE(del.wait());
    CHECK(put.succeeded);
    CHECK(put.data["ok"].boolValue());
    auto requests = server.requests();
    REQUIRE(requests.size() == 3);
    std::set<std::string> paths;
    for (const auto& r : requests) paths.insert(r.method + " " + r.path());
    CHECK(paths.count("PUT /admin/index.php/apiios_final/items/7") == 1);
    CHECK(paths.count("POST /admin/index.php/apiios_final/items") == 1);
    CHECK(paths.count("DELETE /admin/index.php/apiios_final/items/7") == 1);
    client->postPath("items", Value(), 0, nullptr, retry.success(), retry.failure());
    REQUIRE(retry.calls == 1);  // at once
    REQUIRE(retry.error);
    CHECK(retry.error->code() == 401);
    CHECK(retry.error->userInfo()["Error"] == Value("Retry has invalid values. It should be 1 at least"));
}

TEST_CASE("a request whose token does not match is refused by the backend") {
    ClientFixture f;
    Outcome o;
    // A forged token ahead of the signed suffix: the backend reads the first one.
    f.client->getPath("movies", Value{{"page", 1}, {"token", std::string(32, 'A')}}, 3, nullptr, o.success(),
                      o.failure(), CatalogueReplyKind::List);
    REQUIRE(o.wait());
    REQUIRE(o.error);
    CHECK(o.error->code() == -1011);
    CHECK(o.error->localizedDescription().find("403") != std::string::npos);
}

TEST_CASE("the catalogue address comes from the environment before the bundle") {
    const char* previous = std::getenv("QUORVANE_CATALOGUE_URL");
    std::string saved = previous ? previous : "";
    setenv("QUORVANE_CATALOGUE_URL", "http://127.0.0.1:9/admin/index.php/apiios_final/", 1);
    NLRestClient fromEnvironment;
    CHECK(fromEnvironment.baseURL() == "http://127.0.0.1:9/admin/index.php/apiios_final");
    unsetenv("QUORVANE_CATALOGUE_URL");
    NLRestClient fromBundle;
    CHECK(fromBundle.baseURL() == "http://127.0.0.1:8080/admin/index.php/apiios_final");
    if (previous) setenv("QUORVANE_CATALOGUE_URL", saved.c_str(), 1);
}
