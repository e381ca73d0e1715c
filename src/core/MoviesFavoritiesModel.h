#pragma once
// The stored record of one favourite title (entity "MoviesFavoritiesModel").
// movieID, movieRating and movieYear are numbers: the accessors give the stored
// value (null while unset) and take a number, which the store converts to the
// attribute's type (32-bit integers and a float); a value of another type, or
// out of the attribute's range, is refused with a console line and changes
// nothing (the setter answers false).
#include <memory>
#include <string>

#include "platform/coredata/NSManagedObject.h"
#include "platform/foundation/Value.h"

class MoviesFavoritiesModel : public NSManagedObject {
public:
    MoviesFavoritiesModel() = default;
    // Makes the store create this class for the entity's objects (once per process).
    static void registerClass();

    Value movieID() const { return valueForKey("movieID"); }
    [[nodiscard]] bool setMovieID(const Value& v) { return setValueForKey("movieID", v); }
    std::string title() const { return valueForKey("title").stringValue(); }
    void setTitle(const std::string& v) { setValueForKey("title", v); }
    // The poster's URL.
    std::string moviesPoster() const { return valueForKey("moviesPoster").stringValue(); }
    void setMoviesPoster(const std::string& v) { setValueForKey("moviesPoster", v); }
    Value movieRating() const { return valueForKey("movieRating"); }
    [[nodiscard]] bool setMovieRating(const Value& v) { return setValueForKey("movieRating", v); }
    Value movieYear() const { return valueForKey("movieYear"); }
    [[nodiscard]] bool setMovieYear(const Value& v) { return setValueForKey("movieYear", v); }
    std::string descriptionMovie() const { return valueForKey("descriptionMovie").stringValue(); }
    void setDescriptionMovie(const std::string& v) { setValueForKey("descriptionMovie", v); }
};
