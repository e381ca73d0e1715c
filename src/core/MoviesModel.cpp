#include "core/MoviesModel.h"

#include "core/CatalogueReplies.h"

using namespace CatalogueReply;

std::shared_ptr<MoviesModel> MoviesModel::fromFilmInfo(const Value& film) {
    auto m = std::make_shared<MoviesModel>();
    m->setMovieID(intField(film, "id"));
    m->setTitle(textField(film, "title"));
    m->setMovieRating(floatField(film, "rating"));
    m->setMovieYear(unsignedField(film, "year"));
    m->setMoviesPoster(textField(film, "poster"));
    m->setServerName(textField(film, "servername"));
    return m;
}

std::shared_ptr<MoviesModel> MoviesModel::fromDetailInfo(const Value& detail) {
    auto m = std::make_shared<MoviesModel>();
    m->setMovieID(intField(detail, "id"));
    m->setTitle(textField(detail, "title"));
    m->setDescriptionMovie(textField(detail, "desc"));
    // "startyear" is read signed and kept in the unsigned field.
    m->setMovieYear(static_cast<std::uint32_t>(intField(detail, "startyear")));
    m->setMovieRating(floatField(detail, "rating"));
    m->setServerName(textField(detail, "servername"));
    m->setMoviesPoster(textField(detail, "poster"));
    m->setGenre(textField(detail, "genre"));
    m->setStateMovie(textField(detail, "state"));
    m->setChapters(detail["chapters"]);
    return m;
}
