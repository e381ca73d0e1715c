#pragma once
// One genre of the genre list that ships beside the executable.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/NSError.h"
#include "platform/foundation/NSObject.h"

class GenresModel : public NSObject {
public:
    std::int32_t genresID() const { return genresID_; }
    void setGenresID(std::int32_t v) { genresID_ = v; }
    const std::string& name() const { return name_; }
    void setName(std::string v) { name_ = std::move(v); }

    // The resource "MovieGenresData" of type "json", one record per element in
    // file order; empty with an error when it is missing or not a list.
    static std::vector<std::shared_ptr<GenresModel>> loadGenreList(NSErrorPtr* error = nullptr);

private:
    std::int32_t genresID_ = 0;
    std::string name_;
};
