// The catalogue records: how reply fields convert into them, versions, and the genre list.
#include <doctest/doctest.h>

#include <vector>

#include "core/CatalogueReplies.h"
#include "core/GenresModel.h"
#include "core/MoviesModel.h"

using namespace CatalogueReply;

namespace {
Value json(const std::string& text) {
    auto v = Value::fromJSON(text);
    REQUIRE(v);
    return *v;
}
}  // namespace

TEST_CASE("list titles convert their fields as the readers do") {
    auto m = MoviesModel::fromFilmInfo(json(R"({"id":"42","title":"Harbour Lights","year":2014,
        "poster":"http://127.0.0.1/p/42.png","servername":"alpha"})"));
    CHECK(m->movieID() == 42);
    CHECK(m->title() == "Harbour Lights");
    CHECK(m->movieRating() == 0.0f);  // missing
    CHECK(m->movieYear() == 2014u);
    CHECK(m->moviesPoster() == "http://127.0.0.1/p/42.png");
    CHECK(m->serverName() == "alpha");
    CHECK(m->descriptionMovie().empty());
    CHECK(m->chapters().isNull());
    auto n = MoviesModel::fromFilmInfo(json(R"({"id":7,"rating":"7.5","year":null})"));
    CHECK(n->movieRating() == doctest::Approx(7.5));
    CHECK(n->movieYear() == 0u);
}

TEST_CASE("numbers given as text and text given as numbers convert in both records") {
    // Each row: the reply's value, then what the record holds.
    struct Row {
        const char* film;
        std::int32_t id;
        std::uint32_t year;
        const char* title;
        const char* server;
    };
    for (const Row& r : std::vector<Row>{
             {R"({"id":"42","year":"2001","title":1917,"servername":42})", 42, 2001, "1917", "42"},
             {R"j({"id":" 7x","year":" 1999 (re-release)","title":"Seven","servername":"s"})j", 7, 1999, "Seven", "s"},
             {R"({"id":3.9,"year":2014.0,"title":2.5,"servername":true})", 3, 2014, "2.5", "1"},
             {R"({"id":"x","year":"-12","title":null,"servername":["a"]})", 0, 0, "", ""},
         }) {
        auto m = MoviesModel::fromFilmInfo(json(r.film));
        CHECK_MESSAGE(m->movieID() == r.id, r.film);
        CHECK_MESSAGE(m->movieYear() == r.year, r.film);
        CHECK_MESSAGE(m->title() == r.title, r.film);
        CHECK_MESSAGE(m->serverName() == r.server, r.film);
    }
    auto d = MoviesModel::fromDetailInfo(json(R"({"id":"9","title":720,"genre":12,"state":0,"desc":1.5})"));
    CHECK(d->movieID() == 9);
    CHECK(d->title() == "720");
    CHECK(d->genre() == "12");
    CHECK(d->stateMovie() == "0");
    CHECK(d->descriptionMovie() == "1.5");
}

TEST_CASE("detail records keep their chapters by reference") {
    auto detail = json(R"({"id":9,"title":"Night Shift","desc":"A long night.","startyear":"1999","rating":8.25,
        "servername":"beta","poster":"p","genre":"Drama","state":"Completed",
        "chapters":[{"id":91,"title":"Episode 1"},{"id":92,"title":"Episode 2"}]})");
    auto m = MoviesModel::fromDetailInfo(detail);
    CHECK(m->movieYear() == 1999u);
    CHECK(m->stateMovie() == "Completed");
    CHECK(m->genre() == "Drama");
    REQUIRE(m->chapters().count() == 2);
    detail["chapters"].append(Value{{"id", 93}, {"title", "Episode 3"}});
    CHECK(m->chapters().count() == 3);
}

TEST_CASE("flags follow the platform's boolean rule") {
    for (const char* on : {R"({"more":true})", R"({"more":1})", R"({"more":"true"})", R"({"more":" 007"})"})
        CHECK_MESSAGE(flagField(json(on), "more"), on);
    for (const char* off : {R"({"more":false})", R"({"more":0})", R"({})", R"({"more":null})", R"({"more":"no"})"})
        CHECK_FALSE_MESSAGE(flagField(json(off), "more"), off);
}

TEST_CASE("versions compare digit runs as numbers") {
    CHECK(isNewerVersion("1.10", "1.9"));
    CHECK_FALSE(isNewerVersion("1.9", "1.10"));
    CHECK_FALSE(isNewerVersion("1.0", "1.0"));
    CHECK(isNewerVersion("2", "1.99"));
    CHECK_FALSE(isNewerVersion("", "1.0"));
}

TEST_CASE("the genre list ships with an entry for all genres first") {
    NSErrorPtr error;
    auto genres = GenresModel::loadGenreList(&error);
    REQUIRE(genres.size() >= 10);
    CHECK(error == nullptr);
    CHECK(genres[0]->genresID() == 0);
    CHECK_FALSE(genres[0]->name().empty());
    for (std::size_t i = 1; i < genres.size(); ++i) {
        CHECK(genres[i]->genresID() > 0);
        CHECK_FALSE(genres[i]->name().empty());
    }
}
