#include <doctest/doctest.h>

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

TEST_CASE("replies of the wrong shape are refused") {
    std::string why;
    CHECK(validate(CatalogueReplyKind::List, json(R"({"more":true,"films":[{"id":1,"year":2001}]})")));
    CHECK(validate(CatalogueReplyKind::List, json(R"({"more":false,"films":[]})")));
    CHECK_FALSE(validate(CatalogueReplyKind::List, json(R"([1,2])"), &why));
    CHECK_FALSE(validate(CatalogueReplyKind::List, Value(), &why));
    CHECK_FALSE(validate(CatalogueReplyKind::List, json(R"({"films":{"id":1}})"), &why));
    CHECK_FALSE(validate(CatalogueReplyKind::List, json(R"({"films":[{"id":1,"year":"2001"}]})"), &why));
    CHECK(why.find("year") != std::string::npos);
    CHECK_FALSE(validate(CatalogueReplyKind::List, json(R"({"films":[{"title":5}]})"), &why));

    CHECK(validate(CatalogueReplyKind::Detail, json(R"({"id":1,"chapters":[{"id":2,"title":"One"}]})")));
    CHECK_FALSE(validate(CatalogueReplyKind::Detail, json(R"({"id":1,"chapters":[{"id":2}]})"), &why));
    CHECK_FALSE(validate(CatalogueReplyKind::Detail, json(R"("detail")"), &why));

    CHECK(validate(CatalogueReplyKind::Streams, json(R"([{"name":"HD","link":"http%3A%2F%2Fa%2Fb.mp4"}])")));
    CHECK(validate(CatalogueReplyKind::Streams, json(R"([])")));
    CHECK_FALSE(validate(CatalogueReplyKind::Streams, json(R"({"name":"HD"})"), &why));
    CHECK_FALSE(validate(CatalogueReplyKind::Streams, json(R"([{"name":"HD"}])"), &why));

    CHECK(validate(CatalogueReplyKind::Configuration, json(R"({"AppVersion":"1.2","AdvType":"1","AdvCount":3})")));
    CHECK_FALSE(validate(CatalogueReplyKind::Configuration, json(R"(["AppVersion"])"), &why));
    CHECK_FALSE(validate(CatalogueReplyKind::Configuration, json(R"({"AdvCount":[3]})"), &why));
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
