// The files the catalogue replies point at: poster images and stream files.
#include <doctest/doctest.h>

#include <png.h>

#include <cstring>
#include <fstream>
#include <set>

#include "CatalogueReplies.h"
#include "support/CatalogueServerProcess.h"
#include "support/HttpFetch.h"
#include "platform/foundation/NSString.h"

using namespace testtools;
using nlohmann::json;

namespace {

std::string unescaped(const std::string& text) { return stringByReplacingPercentEscapes(text).value_or(std::string()); }

struct DecodedPng {
    bool ok = false;
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int bitDepth = 0;
    int colourType = 0;
    std::vector<unsigned char> pixels;
};

struct PngSource {
    const std::string* bytes;
    std::size_t offset;
};

void readFromSource(png_structp png, png_bytep out, png_size_t length) {
    auto* source = static_cast<PngSource*>(png_get_io_ptr(png));
    if (source->offset + length > source->bytes->size()) png_error(png, "truncated");
    std::memcpy(out, source->bytes->data() + source->offset, length);
    source->offset += length;
}

DecodedPng decodePng(const std::string& bytes) {
    DecodedPng result;
    if (bytes.size() < 8 || png_sig_cmp(reinterpret_cast<png_const_bytep>(bytes.data()), 0, 8) != 0) return result;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    PngSource source{&bytes, 0};
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        result.ok = false;
        return result;
    }
    png_set_read_fn(png, &source, readFromSource);
    png_read_info(png, info);
    png_get_IHDR(png, info, &result.width, &result.height, &result.bitDepth, &result.colourType, nullptr, nullptr,
                 nullptr);
    const std::size_t rowBytes = png_get_rowbytes(png, info);
    result.pixels.resize(rowBytes * result.height);
    std::vector<png_bytep> rows(result.height);
    for (png_uint_32 y = 0; y < result.height; ++y) rows[y] = result.pixels.data() + y * rowBytes;
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    result.ok = true;
    return result;
}

}  // namespace

TEST_CASE("posters are PNG images that libpng decodes") {
    CatalogueServerProcess server;
    REQUIRE(server.started());
    const QueryParameters firstPage{{"type", "popular"}, {"genres", "0"}, {"page", "1"}, {"count", "30"}};
    std::set<std::vector<unsigned char>> distinct;
    int fetched = 0;
    for (const std::string action : {"movies", "tvshow"}) {
        const json films = fetchData(server, action, firstPage)["films"];
        for (std::size_t i = 0; i < films.size(); i += 10) {
            const HttpReply reply = httpGet(films[i]["poster"].get<std::string>());
            CHECK(reply.status == 200);
            CHECK(reply.header("content-type") == "image/png");
            REQUIRE(reply.body.size() > 8);
            CHECK(std::memcmp(reply.body.data(), "\x89PNG\r\n\x1a\n", 8) == 0);
            CHECK(reply.body.compare(12, 4, "IHDR") == 0);
            const DecodedPng image = decodePng(reply.body);
            REQUIRE(image.ok);
            CHECK(image.width == 240);
            CHECK(image.height == 360);
            CHECK(image.bitDepth == 8);
            distinct.insert(image.pixels);
            ++fetched;
            // Served again, byte for byte, and by range.
            CHECK(httpGet(films[i]["poster"].get<std::string>()).body == reply.body);
            const HttpReply header = httpGet(films[i]["poster"].get<std::string>(), {"Range: bytes=0-32"});
            CHECK(header.status == 206);
            CHECK(header.body == reply.body.substr(0, 33));
        }
    }
    CHECK(fetched == 6);
    CHECK(distinct.size() == 6);
}

TEST_CASE("stream files are served whole and by byte range") {
    constexpr long kMediaSize = 300000;
    CatalogueServerProcess server({"--media-size", std::to_string(kMediaSize)});
    REQUIRE(server.started());
    const json detail = fetchData(server, "detail", {{"id", "1001"}});
    REQUIRE(detail["chapters"].size() == 1);
    const json streams = fetchData(server, "stream", {{"chapterid", std::to_string(detail["chapters"][0]["id"].get<int>())}});
    REQUIRE(streams.size() >= 2);

    std::set<std::string> contents;
    for (const auto& stream : streams) {
        const std::string url = unescaped(stream["link"].get<std::string>());
        CAPTURE(url);
        const HttpReply whole = httpGet(url);
        CHECK(whole.status == 200);
        CHECK(whole.header("content-type") == "video/mp4");
        CHECK(whole.header("accept-ranges") == "bytes");
        CHECK(whole.header("content-length") == std::to_string(whole.body.size()));
        // Sizes near the configured one: the best quality about it, the others smaller.
        CHECK(whole.body.size() >= static_cast<std::size_t>(kMediaSize) * 3 / 8 * 9 / 10);
        CHECK(whole.body.size() <= static_cast<std::size_t>(kMediaSize) * 11 / 10);
        REQUIRE(whole.body.size() > 1000);
        CHECK(whole.body.compare(4, 8, "ftypisom") == 0);
        contents.insert(whole.body);

        const HttpReply middle = httpGet(url, {"Range: bytes=100-599"});
        CHECK(middle.status == 206);
        CHECK(middle.header("content-range") == "bytes 100-599/" + std::to_string(whole.body.size()));
        CHECK(middle.body == whole.body.substr(100, 500));

        const HttpReply tail = httpGet(url, {"Range: bytes=-64"});
        CHECK(tail.status == 206);
        CHECK(tail.body == whole.body.substr(whole.body.size() - 64));

        const HttpReply rest = httpGet(url, {"Range: bytes=" + std::to_string(whole.body.size() - 10) + "-"});
        CHECK(rest.status == 206);
        CHECK(rest.body == whole.body.substr(whole.body.size() - 10));

        // A range reaching past the end is cut at the end.
        const std::string size = std::to_string(whole.body.size());
        const HttpReply beyond = httpGet(url, {"Range: bytes=" + std::to_string(whole.body.size() - 10) + "-" +
                                                   std::to_string(whole.body.size() + 5000)});
        CHECK(beyond.status == 206);
        CHECK(beyond.header("content-range") ==
              "bytes " + std::to_string(whole.body.size() - 10) + "-" + std::to_string(whole.body.size() - 1) + "/" + size);
        CHECK(beyond.body == whole.body.substr(whole.body.size() - 10));

        // Nothing to serve: 416 with the size.
        const HttpReply pastEnd = httpGet(url, {"Range: bytes=" + std::to_string(whole.body.size() + 100) + "-"});
        CHECK(pastEnd.status == 416);
        CHECK(pastEnd.header("content-range") == "bytes */" + size);
        CHECK(httpGet(url, {"Range: bytes=-0"}).status == 416);

        // Several ranges at once are answered with the whole file.
        const HttpReply several = httpGet(url, {"Range: bytes=0-9,20-29"});
        CHECK(several.status == 200);
        CHECK(several.body == whole.body);
    }
    CHECK(contents.size() == streams.size());
}

TEST_CASE("the shipped genre list holds id 0 and named genres with unique ids") {
    std::ifstream file(shippedGenresFile());
    REQUIRE(file.good());
    const json genres = json::parse(file, nullptr, false);
    REQUIRE(genres.is_array());
    REQUIRE(genres.size() >= 2);
    std::set<int> ids;
    for (const auto& genre : genres) {
        REQUIRE(genre.is_object());
        CHECK(genre["genresID"].is_number_integer());
        CHECK(genre["name"].is_string());
        CHECK(!genre["name"].get<std::string>().empty());
        CHECK(ids.insert(genre["genresID"].get<int>()).second);
    }
    CHECK(ids.count(0) == 1);
    CHECK(genres[0]["genresID"] == 0);
}
