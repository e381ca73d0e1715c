// What the grids, the search screen and the detail page read from the catalogue server:
// pages of 30 with "more", genre filtering, the four sort keys, keyword search, details
// with chapters and the streams of each chapter.
#include <doctest/doctest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <set>

#include "CatalogueReplies.h"
#include "support/CatalogueServerProcess.h"
#include "support/HttpFetch.h"
#include "platform/foundation/NSString.h"

using namespace testtools;
using nlohmann::json;

namespace {

std::string unescaped(const std::string& text) { return stringByReplacingPercentEscapes(text).value_or(std::string()); }

QueryParameters listParameters(const std::string& type, int genre) {
    return {{"type", type}, {"genres", std::to_string(genre)}};
}

std::vector<int> idsOf(const json& films) {
    std::vector<int> ids;
    for (const auto& film : films) ids.push_back(film["id"].get<int>());
    return ids;
}

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

void checkFilmInfo(const json& film, const CatalogueServerProcess& server) {
    REQUIRE(film.is_object());
    CHECK(film["id"].is_number_integer());
    CHECK(film["title"].is_string());
    CHECK(!film["title"].get<std::string>().empty());
    CHECK(film["rating"].is_number());
    CHECK(film["rating"].get<double>() >= 0.0);
    CHECK(film["rating"].get<double>() <= 10.0);
    CHECK(film["year"].is_number_unsigned());
    CHECK(film["year"].get<int>() >= 1900);
    CHECK(film["poster"] == server.origin() + "/posters/" + std::to_string(film["id"].get<int>()) + ".png");
    CHECK(film["servername"].is_string());
}

}  // namespace

TEST_CASE("movie and TV-show lists page by 30 with more until the last page") {
    CatalogueServerProcess server;
    REQUIRE(server.started());
    const json movies = fetchAllPages(server, "movies", listParameters("popular", 0));
    const json shows = fetchAllPages(server, "tvshow", listParameters("popular", 0));
    CHECK(movies.size() >= 90);
    CHECK(shows.size() >= 40);
    for (const auto& film : movies) checkFilmInfo(film, server);
    for (const auto& film : shows) checkFilmInfo(film, server);

    // Every title once, and no title both a movie and a show.
    std::set<int> movieIds;
    for (int id : idsOf(movies)) CHECK(movieIds.insert(id).second);
    for (int id : idsOf(shows)) CHECK(movieIds.count(id) == 0);
    std::set<std::string> names;
    for (const auto& film : movies) names.insert(film["title"].get<std::string>());
    CHECK(names.size() == movies.size());
}

TEST_CASE("a list of exactly two pages says more on the first only") {
    CatalogueServerProcess server({"--movies", "60", "--shows", "5"});
    REQUIRE(server.started());
    const QueryParameters first{{"type", "new"}, {"genres", "0"}, {"page", "1"}, {"count", "30"}};
    const json page1 = fetchData(server, "movies", first);
    CHECK(page1["films"].size() == 30);
    CHECK(page1["more"] == true);
    QueryParameters second = first;
    second[2].second = "2";
    const json page2 = fetchData(server, "movies", second);
    CHECK(page2["films"].size() == 30);
    CHECK(page2["more"] == false);
    const json shows = fetchData(server, "tvshow", first);
    CHECK(shows["films"].size() == 5);
    CHECK(shows["more"] == false);
    // Page numbers below 1 count as the first page.
    QueryParameters zero = first;
    zero[2].second = "0";
    CHECK(idsOf(fetchData(server, "movies", zero)["films"]) == idsOf(page1["films"]));
}

TEST_CASE("the genre filter returns the titles of that genre only") {
    CatalogueServerProcess server;
    REQUIRE(server.started());

    std::ifstream file(shippedGenresFile());
    const json genres = json::parse(file);
    std::map<int, std::string> genreNames;
    for (const auto& genre : genres) genreNames[genre["genresID"].get<int>()] = genre["name"].get<std::string>();

    const json everything = fetchAllPages(server, "movies", listParameters("popular", 0));
    std::map<int, std::string> genreTextById;
    for (int id : idsOf(everything))
        genreTextById[id] = fetchData(server, "detail", {{"id", std::to_string(id)}})["genre"].get<std::string>();

    std::set<int> covered;
    for (const auto& [genreId, name] : genreNames) {
        if (genreId == 0) continue;
        CAPTURE(name);
        const json inGenre = fetchAllPages(server, "movies", listParameters("popular", genreId));
        CHECK(!inGenre.empty());
        std::set<int> expected;
        for (const auto& [id, text] : genreTextById)
            if ((", " + text + ",").find(", " + name + ",") != std::string::npos) expected.insert(id);
        const auto ids = idsOf(inGenre);
        CHECK(std::set<int>(ids.begin(), ids.end()) == expected);
        covered.insert(ids.begin(), ids.end());
        // The filtered list keeps the order of the whole list.
        std::vector<int> order;
        for (int id : idsOf(everything))
            if (expected.count(id)) order.push_back(id);
        CHECK(ids == order);
    }
    CHECK(covered.size() == everything.size());

    const json shows = fetchAllPages(server, "tvshow", listParameters("popular", 1));
    CHECK(!shows.empty());
    CHECK(fetchAllPages(server, "movies", listParameters("popular", 9999)).empty());
}

TEST_CASE("the four sort keys order the lists") {
    CatalogueServerProcess server;
    REQUIRE(server.started());
    for (const std::string action : {"movies", "tvshow"}) {
        CAPTURE(action);
        const json popular = fetchAllPages(server, action, listParameters("popular", 0));
        const json updated = fetchAllPages(server, action, listParameters("updated", 0));
        const json newest = fetchAllPages(server, action, listParameters("new", 0));
        const json rating = fetchAllPages(server, action, listParameters("rating", 0));

        auto sortedIds = [](const json& films) {
            auto ids = idsOf(films);
            std::sort(ids.begin(), ids.end());
            return ids;
        };
        CHECK(sortedIds(updated) == sortedIds(popular));
        CHECK(sortedIds(newest) == sortedIds(popular));
        CHECK(sortedIds(rating) == sortedIds(popular));

        for (std::size_t i = 1; i < popular.size(); ++i) {
            CHECK(popular[i - 1]["views"].get<long long>() >= popular[i]["views"].get<long long>());
            CHECK(updated[i - 1]["updated"].get<std::string>() >= updated[i]["updated"].get<std::string>());
            CHECK(newest[i - 1]["year"].get<int>() >= newest[i]["year"].get<int>());
            CHECK(rating[i - 1]["rating"].get<double>() >= rating[i]["rating"].get<double>());
        }
        CHECK(idsOf(popular) != idsOf(rating));
        CHECK(idsOf(updated) != idsOf(newest));

        // The word is read without case, and an unknown word sorts by popularity.
        CHECK(idsOf(fetchAllPages(server, action, listParameters("Rating", 0))) == idsOf(rating));
        CHECK(idsOf(fetchAllPages(server, action, listParameters("whatever", 0))) == idsOf(popular));
    }
}

TEST_CASE("search finds titles by keyword in the name and then in the description") {
    CatalogueServerProcess server;
    REQUIRE(server.started());
    const json movies = fetchData(server, "movies", {{"type", "popular"}, {"genres", "0"}, {"page", "1"}, {"count", "30"}});
    const json shows = fetchData(server, "tvshow", {{"type", "popular"}, {"genres", "0"}, {"page", "1"}, {"count", "30"}});

    for (const json* list : {&movies, &shows}) {
        const json& film = (*list)["films"][3];
        const std::string name = film["title"].get<std::string>();
        CAPTURE(name);
        // The screen asks for at least 8 characters; take them from the name, in upper case.
        REQUIRE(name.size() >= 8);
        std::string keyword = name.substr(name.size() - 8);
        std::transform(keyword.begin(), keyword.end(), keyword.begin(), [](unsigned char c) { return std::toupper(c); });

        const json results = fetchAllPages(server, "search", {{"keyword", keyword}});
        CHECK(!results.empty());
        const auto ids = idsOf(results);
        CHECK(std::find(ids.begin(), ids.end(), film["id"].get<int>()) != ids.end());

        bool inDescriptionsYet = false;
        for (const auto& result : results) {
            checkFilmInfo(result, server);
            const bool inName = lower(result["title"].get<std::string>()).find(lower(keyword)) != std::string::npos;
            if (inName) {
                CHECK(!inDescriptionsYet);  // name matches come first
                continue;
            }
            inDescriptionsYet = true;
            const json detail = fetchData(server, "detail", {{"id", std::to_string(result["id"].get<int>())}});
            CHECK(lower(detail["desc"].get<std::string>()).find(lower(keyword)) != std::string::npos);
        }
    }

    // A word of the descriptions finds titles whose names do not hold it.
    const json byDescription = fetchAllPages(server, "search", {{"keyword", "lighthouse keeper"}});
    CHECK(!byDescription.empty());

    CHECK(fetchAllPages(server, "search", {{"keyword", "qqqzzzxxwwv"}}).empty());
    CHECK(fetchAllPages(server, "search", {{"keyword", "   "}}).empty());
}

TEST_CASE("details give a movie one chapter and a TV show several episodes with streams") {
    CatalogueServerProcess server;
    REQUIRE(server.started());
    const QueryParameters firstPage{{"type", "popular"}, {"genres", "0"}, {"page", "1"}, {"count", "30"}};
    for (const std::string action : {"movies", "tvshow"}) {
        CAPTURE(action);
        const json films = fetchData(server, action, firstPage)["films"];
        REQUIRE(films.size() == 30);
        for (std::size_t i = 0; i < films.size(); i += 7) {
            const json& film = films[i];
            const json detail = fetchData(server, "detail", {{"id", std::to_string(film["id"].get<int>())}});
            REQUIRE(detail.is_object());
            CHECK(detail["id"] == film["id"]);
            CHECK(detail["title"] == film["title"]);
            CHECK(detail["startyear"] == film["year"]);
            CHECK(detail["rating"] == film["rating"]);
            CHECK(detail["poster"] == film["poster"]);
            CHECK(detail["servername"] == film["servername"]);
            CHECK(detail["desc"].get<std::string>().size() > 20);
            CHECK(!detail["genre"].get<std::string>().empty());
            CHECK(!detail["state"].get<std::string>().empty());
            const json& chapters = detail["chapters"];
            REQUIRE(chapters.is_array());
            if (action == "movies") CHECK(chapters.size() == 1);
            else CHECK(chapters.size() >= 2);

            for (const auto& chapter : chapters) {
                CHECK(chapter["id"].is_number_integer());
                CHECK(!chapter["title"].get<std::string>().empty());
                CHECK(chapter["title"].get<std::string>().find('/') == std::string::npos);
                const json streams = fetchData(server, "stream", {{"chapterid", std::to_string(chapter["id"].get<int>())}});
                REQUIRE(streams.is_array());
                CHECK(!streams.empty());
                for (const auto& stream : streams) {
                    CHECK(!stream["name"].get<std::string>().empty());
                    const std::string link = stream["link"].get<std::string>();
                    // Escaped: the colon and the slashes come back only after unescaping.
                    CHECK(link.find(':') == std::string::npos);
                    CHECK(link.find('/') == std::string::npos);
                    CHECK(unescaped(link).rfind(server.origin() + "/media/", 0) == 0);
                }
            }
        }
    }
}
