#pragma once
// One catalogue title, as the grids and the detail page show it.
#include <cstdint>
#include <memory>
#include <string>

#include "platform/foundation/NSObject.h"
#include "platform/foundation/Value.h"

class MoviesModel : public NSObject {
public:
    // A record of one element of a list's "films" (id, title, rating, year, poster, server).
    static std::shared_ptr<MoviesModel> fromFilmInfo(const Value& film);
    // A record of the "detail" data, chapters included.
    static std::shared_ptr<MoviesModel> fromDetailInfo(const Value& detail);

    std::int32_t movieID() const { return movieID_; }
    void setMovieID(std::int32_t v) { movieID_ = v; }
    const std::string& title() const { return title_; }
    void setTitle(std::string v) { title_ = std::move(v); }
    const std::string& descriptionMovie() const { return descriptionMovie_; }
    void setDescriptionMovie(std::string v) { descriptionMovie_ = std::move(v); }
    float movieRating() const { return movieRating_; }
    void setMovieRating(float v) { movieRating_ = v; }
    std::uint32_t movieYear() const { return movieYear_; }
    void setMovieYear(std::uint32_t v) { movieYear_ = v; }
    const std::string& moviesPoster() const { return moviesPoster_; }
    void setMoviesPoster(std::string v) { moviesPoster_ = std::move(v); }
    const std::string& serverName() const { return serverName_; }
    void setServerName(std::string v) { serverName_ = std::move(v); }
    const std::string& stateMovie() const { return stateMovie_; }
    void setStateMovie(std::string v) { stateMovie_ = std::move(v); }
    const std::string& genre() const { return genre_; }
    void setGenre(std::string v) { genre_ = std::move(v); }
    // The chapter entries, held by reference.
    const Value& chapters() const { return chapters_; }
    void setChapters(Value v) { chapters_ = std::move(v); }

private:
    std::int32_t movieID_ = 0;
    std::string title_;
    std::string descriptionMovie_;
    float movieRating_ = 0;
    std::uint32_t movieYear_ = 0;
    std::string moviesPoster_;
    std::string serverName_;
    std::string stateMovie_;
    std::string genre_;
    Value chapters_;
};
