#include "core/GenresModel.h"

#include "core/CatalogueReplies.h"
#include "platform/foundation/FoundationErrors.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSData.h"

std::vector<std::shared_ptr<GenresModel>> GenresModel::loadGenreList(NSErrorPtr* error) {
    std::vector<std::shared_ptr<GenresModel>> out;
    auto path = NSBundle::mainBundle()->pathForResource("MovieGenresData", "json");
    std::optional<Data> bytes = path ? dataWithContentsOfFile(*path) : std::nullopt;
    if (!bytes) {
        if (error) *error = NSError::make(NSCocoaErrorDomain, NSFileReadNoSuchFileError, "The genre list is missing.");
        return out;
    }
    std::string problem;
    auto list = Value::fromJSON(stringFromData(*bytes), &problem);
    if (!list || !list->isArray()) {
        if (error)
            *error = NSError::make(NSCocoaErrorDomain, NSFileReadCorruptFileError,
                                   "The genre list is not a JSON list. " + problem);
        return out;
    }
    for (std::size_t i = 0; i < list->count(); ++i) {
        const Value entry = (*list)[i];
        if (!entry.isDictionary()) continue;
        auto genre = std::make_shared<GenresModel>();
        genre->setGenresID(CatalogueReply::intField(entry, "genresID"));
        genre->setName(CatalogueReply::textField(entry, "name"));
        out.push_back(genre);
    }
    return out;
}
