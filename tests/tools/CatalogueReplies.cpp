// Protects the tools tests' reading of catalogue replies: decrypted with the openssl command line, the envelope parsed, pages walked.
#include "CatalogueReplies.h"

#include <doctest/doctest.h>

#include "OpensslCommand.h"
#include "platform/foundation/NSString.h"

namespace testtools {

namespace {
constexpr std::size_t kPageSize = 30;
constexpr int kPageLimit = 200;
}  // namespace

std::optional<nlohmann::json> decryptedJson(const HttpReply& reply, const std::string& scratch, bool singleLine) {
    const auto plain = opensslDecryptReply(reply.body, scratch, singleLine);
    if (!plain) return std::nullopt;
    auto parsed = nlohmann::json::parse(*plain, nullptr, false);
    if (parsed.is_discarded()) return std::nullopt;
    return parsed;
}

nlohmann::json fetchData(const CatalogueServerProcess& server, const std::string& action,
                         const QueryParameters& parameters) {
    const HttpReply reply = httpGet(server.apiUrl(action, parameters));
    CHECK(reply.curlCode == 0);
    CHECK(reply.status == 200);
    const auto envelope = decryptedJson(reply, server.scratch());
    CHECK(envelope.has_value());
    if (!envelope || !envelope->is_object()) return nullptr;
    CHECK(envelope->value("msg", std::string()) == "Success");
    return envelope->value("data", nlohmann::json());
}

nlohmann::json fetchAllPages(const CatalogueServerProcess& server, const std::string& action,
                             QueryParameters parameters) {
    nlohmann::json films = nlohmann::json::array();
    parameters.emplace_back("page", "1");
    parameters.emplace_back("count", "30");
    const std::size_t pageIndex = parameters.size() - 2;
    for (int page = 1; page <= kPageLimit; ++page) {
        parameters[pageIndex].second = std::to_string(page);
        const nlohmann::json data = fetchData(server, action, parameters);
        REQUIRE(data.is_object());
        REQUIRE(data.contains("films"));
        REQUIRE(data["films"].is_array());
        REQUIRE(data.contains("more"));
        REQUIRE(data["more"].is_boolean());
        const auto& pageFilms = data["films"];
        for (const auto& film : pageFilms) films.push_back(film);
        if (data["more"].get<bool>()) {
            CHECK(pageFilms.size() == kPageSize);
            continue;
        }
        // The last page: not more than a page, empty only when the whole list is.
        CHECK(pageFilms.size() <= kPageSize);
        if (page > 1) CHECK(!pageFilms.empty());
        parameters[pageIndex].second = std::to_string(page + 1);
        const nlohmann::json after = fetchData(server, action, parameters);
        REQUIRE(after.is_object());
        CHECK(after["films"].empty());
        CHECK(after["more"] == false);
        return films;
    }
    FAIL("the list never ended");
    return films;
}

std::string unescapedLink(const std::string& link) {
    return stringByReplacingPercentEscapes(link).value_or(std::string());
}

}  // namespace testtools
