// The catalogue reply chain: the Base64 text the backend answers, opened with
// the reply key (AES-256-CBC), read as JSON, checked as a "Success" envelope,
// its "data" validated for each kind of call and read into records.
// The first byte picks the way in:
//   even: the rest is the reply text as it arrives (mostly refused at the seal);
//   odd:  the rest is the plain reply, sealed and encoded here first (the seal
//         must open to the same bytes), so the fuzzer reaches the readers.
#include <string>

#include "Harnesses.h"
#include "core/AESAdditions.h"
#include "core/Base64.h"
#include "core/CatalogueReplies.h"
#include "core/MoviesModel.h"
#include "core/NLRestClient.h"
#include "platform/foundation/NSJSONSerialization.h"
#include "support/FuzzSupport.h"

namespace fuzz::catalogue {
namespace {

// The key the backend seals replies with (the same as the client's).
constexpr const char* kReplyKey = "wqle#*!408mzbrt5kc&e(7xy)26fhu0v";

void readFields(const Value& object) {
    for (const char* key : {"id", "title", "year", "rating", "poster", "servername", "name", "link", "more"}) {
        (void)CatalogueReply::intField(object, key);
        (void)CatalogueReply::unsignedField(object, key);
        (void)CatalogueReply::floatField(object, key);
        (void)CatalogueReply::flagField(object, key);
        (void)CatalogueReply::textField(object, key);
    }
}

// Readies a copy of the data as each call kind would, then reads its records.
bool prepared(CatalogueReplyKind kind, const Value& data, Value& out) {
    std::string problem;
    out = data.copy();
    return CatalogueReply::prepareReplyData(kind, out, &problem);
}

void readRecords(const Value& data) {
    Value list;
    if (prepared(CatalogueReplyKind::List, data, list) && list.isDictionary()) {
        const Value films = list["films"];
        if (films.isArray())
            for (std::size_t i = 0; i < films.count(); ++i) {
                if (auto movie = MoviesModel::fromFilmInfo(films[i])) (void)movie->title();
                readFields(films[i]);
            }
        readFields(list);
    }
    Value detail;
    if (prepared(CatalogueReplyKind::Detail, data, detail) && detail.isDictionary()) {
        if (auto movie = MoviesModel::fromDetailInfo(detail)) {
            const Value& chapters = movie->chapters();
            if (chapters.isArray())
                for (std::size_t i = 0; i < chapters.count(); ++i) readFields(chapters[i]);
        }
    }
    Value streams;
    if (prepared(CatalogueReplyKind::Streams, data, streams) && streams.isArray())
        for (std::size_t i = 0; i < streams.count(); ++i) readFields(streams[i]);
    Value configuration;
    if (prepared(CatalogueReplyKind::Configuration, data, configuration) && configuration.isDictionary()) {
        readFields(configuration);
        (void)CatalogueReply::isNewerVersion(CatalogueReply::textField(configuration, "version"), "1.0");
    }
}

void readPlain(const Data& plain) {
    auto envelope = NSJSONSerialization::JSONObjectWithData(plain);
    if (!envelope || !envelope->isDictionary()) return;
    const Value msg = (*envelope)["msg"];
    if (!msg.isString() || *msg.string() != "Success") return;
    readRecords((*envelope)["data"]);
}

}  // namespace

int fuzzOne(const std::uint8_t* data, std::size_t size) {
    ByteReader input(data, size);
    std::uint8_t mode = input.take();
    if ((mode & 1) == 0) {
        std::string text(input.rest());
        (void)stringWithBase64EncodedString(text);
        if (auto plain = NLRestClient::decodeDataWithKey(text)) readPlain(*plain);
        return 0;
    }
    Data plain = input.restAsData();
    auto sealed = AES256EncryptWithKey(plain, kReplyKey);
    check(sealed.has_value(), "the reply could not be sealed");
    auto text = base64EncodedStringWithWrapWidth(*sealed, mode >> 1);
    check(text.has_value(), "the sealed reply has no Base64 text");
    auto opened = NLRestClient::decodeDataWithKey(*text);
    check(opened && *opened == plain, "a sealed reply does not open to its plain bytes");
    readPlain(plain);
    return 0;
}

}  // namespace fuzz::catalogue
