#include "core/CatalogueReplies.h"

#include "platform/foundation/NSString.h"

namespace CatalogueReply {

std::int32_t intField(const Value& object, const std::string& key) { return object[key].intValue(); }

std::uint32_t unsignedField(const Value& object, const std::string& key) {
    const Value v = object[key];
    if (v.isString()) {
        auto i = v.integerValue();
        return i < 0 ? 0 : static_cast<std::uint32_t>(std::min<std::int64_t>(i, UINT32_MAX));
    }
    return v.isNumber() ? v.unsignedIntValue() : 0;
}

float floatField(const Value& object, const std::string& key) { return object[key].floatValue(); }

bool flagField(const Value& object, const std::string& key) { return object[key].boolValue(); }

std::string textField(const Value& object, const std::string& key) {
    const Value v = object[key];
    return v.isString() ? *v.string() : std::string();
}

namespace {

bool fail(std::string* problem, std::string text) {
    if (problem) *problem = std::move(text);
    return false;
}

// Numbers may come as numbers or numeric strings; text must be text.
bool numericOrAbsent(const Value& v) { return v.isNull() || v.isNumber() || v.isString(); }
bool textOrAbsent(const Value& v) { return v.isNull() || v.isString(); }

bool validFilm(const Value& film, std::string* problem) {
    if (!film.isDictionary()) return fail(problem, "a title is not an object");
    if (!numericOrAbsent(film["id"]) || !numericOrAbsent(film["rating"])) return fail(problem, "a title's id or rating is not a number");
    // "year" is read with the unsigned conversion, which takes numbers only.
    if (!film["year"].isNull() && !film["year"].isNumber()) return fail(problem, "a title's year is not a number");
    for (const char* key : {"title", "poster", "servername"})
        if (!textOrAbsent(film[key])) return fail(problem, std::string("a title's ") + key + " is not text");
    return true;
}

bool validChapter(const Value& chapter, std::string* problem) {
    if (!chapter.isDictionary()) return fail(problem, "a chapter is not an object");
    if (!numericOrAbsent(chapter["id"])) return fail(problem, "a chapter's id is not a number");
    if (!chapter["title"].isString()) return fail(problem, "a chapter has no title text");
    return true;
}

bool validStream(const Value& stream, std::string* problem) {
    if (!stream.isDictionary()) return fail(problem, "a stream is not an object");
    if (!stream["name"].isString() || !stream["link"].isString()) return fail(problem, "a stream has no name or link text");
    return true;
}

}  // namespace

bool validate(CatalogueReplyKind kind, const Value& data, std::string* problem) {
    switch (kind) {
    case CatalogueReplyKind::List: {
        if (!data.isDictionary()) return fail(problem, "the list is not an object");
        const Value films = data["films"];
        if (!films.isNull() && !films.isArray()) return fail(problem, "\"films\" is not an array");
        const Value more = data["more"];
        if (!more.isNull() && !more.isNumber() && !more.isString()) return fail(problem, "\"more\" is not a flag");
        for (std::size_t i = 0; i < films.count(); ++i)
            if (!validFilm(films[i], problem)) return false;
        return true;
    }
    case CatalogueReplyKind::Detail: {
        if (!data.isDictionary()) return fail(problem, "the detail is not an object");
        for (const char* key : {"id", "rating", "startyear"})
            if (!numericOrAbsent(data[key])) return fail(problem, std::string("\"") + key + "\" is not a number");
        for (const char* key : {"title", "desc", "servername", "poster", "genre", "state"})
            if (!textOrAbsent(data[key])) return fail(problem, std::string("\"") + key + "\" is not text");
        const Value chapters = data["chapters"];
        if (!chapters.isNull() && !chapters.isArray()) return fail(problem, "\"chapters\" is not an array");
        for (std::size_t i = 0; i < chapters.count(); ++i)
            if (!validChapter(chapters[i], problem)) return false;
        return true;
    }
    case CatalogueReplyKind::Streams: {
        if (!data.isArray()) return fail(problem, "the stream list is not an array");
        for (std::size_t i = 0; i < data.count(); ++i)
            if (!validStream(data[i], problem)) return false;
        return true;
    }
    case CatalogueReplyKind::Configuration: {
        if (!data.isDictionary()) return fail(problem, "the configuration is not an object");
        for (const char* key : {"AdvType", "AdvCount"})
            if (!numericOrAbsent(data[key])) return fail(problem, std::string("\"") + key + "\" is not a number");
        for (const char* key : {"AppVersion", "AppLink", "AdvIDBaner", "AdvIDInter"})
            if (!textOrAbsent(data[key]) && !data[key].isNumber())
                return fail(problem, std::string("\"") + key + "\" is not text");
        return true;
    }
    }
    return fail(problem, "unknown reply");
}

bool isNewerVersion(const std::string& serverVersion, const std::string& bundleVersion) {
    if (serverVersion.empty()) return false;
    return compare(serverVersion, bundleVersion, NSNumericSearch) == NSOrderedDescending;
}

}  // namespace CatalogueReply
