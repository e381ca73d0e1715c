#pragma once
// The sample catalogue the server answers from: movies and TV shows generated from a
// seed over the genre list the application ships, each with chapters and streams.
// Immutable once built, so request threads read it without locks.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace catalogue {

struct Genre {
    int id = 0;
    std::string name;
};

struct Stream {
    std::string name;      // the picker's row text
    std::string fileName;  // served under /media/
    std::uint64_t size = 0;
};

struct Chapter {
    int id = 0;
    std::string title;
    std::vector<Stream> streams;
};

enum class TitleKind { Movie, TVShow };

struct Title {
    int id = 0;
    TitleKind kind = TitleKind::Movie;
    std::string name;
    std::string description;
    std::string state;
    std::string serverName;
    int year = 0;
    double rating = 0;
    std::int64_t views = 0;
    std::int64_t updatedAt = 0;  // seconds since 1970
    std::vector<int> genreIds;
    std::vector<Chapter> chapters;
};

// One generated stream file: its size and the seed of its bytes.
struct MediaEntry {
    std::uint64_t size = 0;
    std::uint64_t seed = 0;
};

enum class SortKey { Popular, Updated, New, Rating };

// The sort word the grids send; an unknown word sorts by popularity.
SortKey sortKeyFromWord(std::string_view word);

struct CatalogueSettings {
    std::uint64_t seed = 1;
    int movieCount = 120;
    int showCount = 48;
    std::uint64_t mediaSize = 4u << 20;  // bytes of the largest stream of a chapter
};

class Catalogue {
public:
    // Reads the genre list file: a JSON array of objects with "genresID" (a number or a
    // numeric string) and "name". Empty optional with `error` set when it cannot be used.
    static std::optional<std::vector<Genre>> loadGenres(const std::string& path, std::string& error);

    // `genres` must hold at least one entry with an id other than 0 (0 stands for all genres).
    Catalogue(std::vector<Genre> genres, const CatalogueSettings& settings);

    struct Page {
        std::vector<const Title*> titles;
        bool more = false;
    };

    // One page (from 1) of the titles of a kind in a genre (0: every genre), sorted.
    Page list(TitleKind kind, SortKey sort, int genreId, int page, int count) const;

    // One page of the titles of both kinds whose name, then whose description, holds the
    // keyword (ASCII letters compared without case); empty for a blank keyword.
    Page search(std::string_view keyword, int page, int count) const;

    const Title* title(int id) const;
    const Chapter* chapter(int id) const;
    const MediaEntry* media(const std::string& fileName) const;

    // The names of the title's genres joined by ", ".
    std::string genreText(const Title& title) const;

    const std::vector<Genre>& genres() const { return genres_; }
    const std::vector<Title>& titles() const { return titles_; }

private:
    void generate(const CatalogueSettings& settings);
    void index();
    const std::vector<const Title*>& sorted(TitleKind kind, SortKey sort) const;
    static Page slice(const std::vector<const Title*>& all, int page, int count);

    std::vector<Genre> genres_;
    std::vector<Title> titles_;
    std::unordered_map<int, std::size_t> titleById_;
    std::unordered_map<int, std::pair<std::size_t, std::size_t>> chapterById_;  // title index, chapter index
    std::unordered_map<std::string, MediaEntry> media_;
    std::vector<const Title*> sorted_[2][4];
    std::vector<const Title*> searchOrder_;  // both kinds by popularity
};

}  // namespace catalogue
