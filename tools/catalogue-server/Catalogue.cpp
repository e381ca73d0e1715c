#include "Catalogue.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <charconv>
#include <fstream>
#include <random>
#include <set>
#include <sstream>

namespace catalogue {

namespace {

constexpr std::array kAdjectives{"Silent",   "Crimson", "Forgotten", "Midnight", "Shattered", "Endless",
                                 "Golden",   "Hidden",  "Restless",  "Frozen",   "Burning",   "Distant",
                                 "Electric", "Hollow",  "Wandering", "Velvet",   "Northern",  "Savage",
                                 "Luminous", "Broken",  "Scarlet",   "Eternal",  "Fearless",  "Phantom"};
constexpr std::array kNouns{"Harbour",   "Kingdom", "Frontier",  "Lighthouse", "Empire",   "Horizon",
                            "Shadows",   "Garden",  "Station",   "Orchard",    "Covenant", "Labyrinth",
                            "Voyage",    "Symphony", "Tide",     "Cathedral",  "Archive",  "Outpost",
                            "Meridian",  "Reckoning", "Carnival", "Fortress",  "Monsoon",  "Compass"};
constexpr std::array kPlaces{"Blackwater", "Ravenshire", "Port Alder", "Silverlake", "Eastbridge",
                             "Marrow Creek", "Stonehaven", "Coldspring", "Bellmont", "Ashford Bay"};
constexpr std::array kHeroes{"a retired detective",        "two estranged sisters",      "a young cartographer",
                             "the last lighthouse keeper", "a disgraced surgeon",        "an ambitious journalist",
                             "a small-town mechanic",      "a troupe of travelling musicians",
                             "a reluctant heir",           "an exiled pilot",            "a schoolteacher with a past",
                             "a rookie firefighter"};
constexpr std::array kEvents{"uncovers a secret buried beneath", "is drawn into a feud that divides",
                             "must lead a desperate escape from", "returns home to confront the past of",
                             "races against time to save",       "stumbles upon a conspiracy reaching into",
                             "inherits a crumbling estate on the edge of", "sets out to map the wild country beyond"};
constexpr std::array kTurns{"Along the way, loyalties are tested and nothing is quite what it seems.",
                            "What begins as a simple favour becomes a fight for survival.",
                            "Told over one unforgettable summer, it is a story of courage, loss and second chances.",
                            "As the truth comes closer, every choice carries a price.",
                            "Old friends become rivals, and strangers become the only people worth trusting.",
                            "A storm is coming, and not everyone will see the morning."};
constexpr std::array kMovieStates{"Full HD", "HD", "HD", "SD", "CAM"};
constexpr std::array kServers{"Server VIP", "Server HD", "Server Fast", "Server Backup"};

struct Quality {
    const char* label;
    const char* server;
    std::uint64_t eighths;  // share of the media size, in eighths
};
constexpr std::array<Quality, 3> kMovieQualities{{{"1080p", "Server 1", 8}, {"720p", "Server 2", 5}, {"480p", "Mirror", 3}}};
constexpr std::array<Quality, 2> kEpisodeQualities{{{"720p", "Server 1", 8}, {"480p", "Mirror", 5}}};

constexpr int kFirstMovieId = 1001;
constexpr int kFirstShowId = 5001;
constexpr std::int64_t kUpdatedFrom = 1704067200;  // 2024-01-01
constexpr std::int64_t kUpdatedSpan = 60'000'000;  // about 23 months

class Random {
public:
    explicit Random(std::uint64_t seed) : engine_(seed) {}
    std::uint64_t below(std::uint64_t bound) { return bound == 0 ? 0 : engine_() % bound; }
    int between(int low, int high) { return low + static_cast<int>(below(static_cast<std::uint64_t>(high - low + 1))); }
    double unit() { return static_cast<double>(engine_() >> 11) / static_cast<double>(1ull << 53); }
    std::uint64_t next() { return engine_(); }
    template <typename Array>
    auto pick(const Array& items) {
        return items[below(items.size())];
    }

private:
    std::mt19937_64 engine_;
};

std::optional<int> intFromJson(const nlohmann::json& value) {
    if (value.is_number_integer()) {
        const auto number = value.get<std::int64_t>();
        if (number < INT32_MIN || number > INT32_MAX) return std::nullopt;
        return static_cast<int>(number);
    }
    if (value.is_string()) {
        const auto& text = value.get_ref<const std::string&>();
        int number = 0;
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), number);
        if (ec == std::errc() && end == text.data() + text.size()) return number;
    }
    return std::nullopt;
}

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool containsFolded(std::string_view haystack, std::string_view needle) {
    if (needle.size() > haystack.size()) return false;
    for (std::size_t start = 0; start + needle.size() <= haystack.size(); ++start) {
        std::size_t i = 0;
        while (i < needle.size() && lowerAscii(haystack[start + i]) == lowerAscii(needle[i])) ++i;
        if (i == needle.size()) return true;
    }
    return false;
}

std::string makeTitleName(Random& random, TitleKind kind) {
    const std::string adjective = random.pick(kAdjectives);
    const std::string noun = random.pick(kNouns);
    const std::string place = random.pick(kPlaces);
    switch (random.below(kind == TitleKind::Movie ? 5 : 6)) {
        case 0: return "The " + adjective + " " + noun;
        case 1: return noun + " of " + place;
        case 2: return adjective + " " + noun;
        case 3: return "The " + noun + " of " + place;
        case 4: return "Return to " + place + ": " + adjective + " " + noun;
        default: return place + " " + noun;
    }
}

std::string makeDescription(Random& random, const std::string& place) {
    std::string hero = random.pick(kHeroes);
    hero[0] = static_cast<char>(hero[0] - 'a' + 'A');
    std::string text = hero + " " + random.pick(kEvents) + " " + place + ". " + random.pick(kTurns);
    if (random.below(2) == 0) text += std::string(" ") + random.pick(kTurns);
    return text;
}

std::string twoDigits(int value) { return (value < 10 ? "0" : "") + std::to_string(value); }

std::uint64_t mixSeed(std::uint64_t seed, std::uint64_t salt) {
    std::uint64_t z = seed + 0x9e3779b97f4a7c15ull * (salt + 1);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    return z ^ (z >> 31);
}

}  // namespace

SortKey sortKeyFromWord(std::string_view word) {
    std::string lower;
    for (char c : word) lower.push_back(lowerAscii(c));
    if (lower == "updated") return SortKey::Updated;
    if (lower == "new") return SortKey::New;
    if (lower == "rating") return SortKey::Rating;
    return SortKey::Popular;
}

std::optional<std::vector<Genre>> Catalogue::loadGenres(const std::string& path, std::string& error) {
    std::ifstream file(path);
    if (!file) {
        error = "cannot read " + path;
        return std::nullopt;
    }
    const nlohmann::json document = nlohmann::json::parse(file, nullptr, false);
    if (!document.is_array()) {
        error = path + " is not a JSON array";
        return std::nullopt;
    }
    std::vector<Genre> genres;
    std::set<int> seen;
    bool anyGenre = false;
    for (const auto& entry : document) {
        if (!entry.is_object() || !entry.contains("genresID") || !entry.contains("name") || !entry["name"].is_string()) {
            error = path + ": every entry needs \"genresID\" and a text \"name\"";
            return std::nullopt;
        }
        const auto id = intFromJson(entry["genresID"]);
        if (!id) {
            error = path + ": \"genresID\" must be an integer";
            return std::nullopt;
        }
        if (!seen.insert(*id).second) {
            error = path + ": genre id " + std::to_string(*id) + " appears twice";
            return std::nullopt;
        }
        anyGenre = anyGenre || *id != 0;
        genres.push_back({*id, entry["name"].get<std::string>()});
    }
    if (!anyGenre) {
        error = path + " names no genre besides 0";
        return std::nullopt;
    }
    return genres;
}

Catalogue::Catalogue(std::vector<Genre> genres, const CatalogueSettings& settings) : genres_(std::move(genres)) {
    generate(settings);
    index();
}

void Catalogue::generate(const CatalogueSettings& settings) {
    Random random(settings.seed);
    std::vector<int> genreIds;
    for (const auto& genre : genres_)
        if (genre.id != 0) genreIds.push_back(genre.id);

    std::set<std::string> usedNames;
    const auto addStreams = [&](Chapter& chapter, const auto& qualities) {
        // Each chapter's files vary a little around the nominal size, as real encodes do.
        const double variation = 0.9 + 0.2 * random.unit();
        for (const auto& quality : qualities) {
            Stream stream;
            stream.name = std::string(quality.label) + " - " + quality.server;
            stream.fileName = std::to_string(chapter.id) + "-" + quality.label + ".mp4";
            stream.size = std::max<std::uint64_t>(
                4096, static_cast<std::uint64_t>(static_cast<double>(settings.mediaSize * quality.eighths / 8) * variation));
            media_[stream.fileName] = MediaEntry{stream.size, mixSeed(settings.seed, static_cast<std::uint64_t>(chapter.id) * 8 + quality.eighths)};
            chapter.streams.push_back(std::move(stream));
        }
    };

    const int total = settings.movieCount + settings.showCount;
    for (int n = 0; n < total; ++n) {
        Title title;
        const bool movie = n < settings.movieCount;
        title.kind = movie ? TitleKind::Movie : TitleKind::TVShow;
        title.id = movie ? kFirstMovieId + n : kFirstShowId + (n - settings.movieCount);

        std::string name = makeTitleName(random, title.kind);
        for (int attempt = 1; !usedNames.insert(name).second; ++attempt)
            name = makeTitleName(random, title.kind) + (attempt > 50 ? " " + std::to_string(attempt - 49) : "");
        title.name = name;
        title.description = makeDescription(random, random.pick(kPlaces));
        title.year = movie ? random.between(1972, 2026) : random.between(1995, 2026);
        title.rating = random.between(30, 95) / 10.0;
        const double popularity = random.unit();
        title.views = 1000 + static_cast<std::int64_t>(popularity * popularity * popularity * 2'000'000);
        title.updatedAt = kUpdatedFrom + static_cast<std::int64_t>(random.below(kUpdatedSpan));
        title.serverName = random.pick(kServers);

        // Round-robin first genre so every genre has titles of both kinds; some get a second.
        const int index = movie ? n : n - settings.movieCount;
        title.genreIds.push_back(genreIds[static_cast<std::size_t>(index) % genreIds.size()]);
        if (genreIds.size() > 1 && random.below(2) == 0) {
            int second = title.genreIds.front();
            while (second == title.genreIds.front()) second = random.pick(genreIds);
            title.genreIds.push_back(second);
        }

        if (movie) {
            title.state = random.pick(kMovieStates);
            Chapter chapter;
            chapter.id = title.id * 100 + 1;
            chapter.title = title.name + " - Full Movie";
            addStreams(chapter, kMovieQualities);
            title.chapters.push_back(std::move(chapter));
        } else {
            const int seasons = random.between(1, 3);
            int number = 0;
            for (int season = 1; season <= seasons; ++season) {
                const int episodes = random.between(2, 4);
                for (int episode = 1; episode <= episodes; ++episode) {
                    Chapter chapter;
                    chapter.id = title.id * 100 + ++number;
                    chapter.title = "S" + twoDigits(season) + "E" + twoDigits(episode) + " - " +
                                    random.pick(kAdjectives) + " " + random.pick(kNouns);
                    addStreams(chapter, kEpisodeQualities);
                    title.chapters.push_back(std::move(chapter));
                }
            }
            title.state = title.year >= 2024 && random.below(2) == 0
                              ? "Ongoing - " + std::to_string(number) + " episodes"
                              : "Completed";
        }
        titles_.push_back(std::move(title));
    }
}

void Catalogue::index() {
    for (std::size_t t = 0; t < titles_.size(); ++t) {
        titleById_[titles_[t].id] = t;
        for (std::size_t c = 0; c < titles_[t].chapters.size(); ++c) chapterById_[titles_[t].chapters[c].id] = {t, c};
    }
    for (int kind = 0; kind < 2; ++kind) {
        std::vector<const Title*> ofKind;
        for (const auto& title : titles_)
            if (static_cast<int>(title.kind) == kind) ofKind.push_back(&title);
        for (int sort = 0; sort < 4; ++sort) {
            auto order = ofKind;
            std::stable_sort(order.begin(), order.end(), [sort](const Title* a, const Title* b) {
                switch (static_cast<SortKey>(sort)) {
                    case SortKey::Popular:
                        if (a->views != b->views) return a->views > b->views;
                        break;
                    case SortKey::Updated:
                        if (a->updatedAt != b->updatedAt) return a->updatedAt > b->updatedAt;
                        break;
                    case SortKey::New:
                        if (a->year != b->year) return a->year > b->year;
                        return a->id > b->id;
                    case SortKey::Rating:
                        if (a->rating != b->rating) return a->rating > b->rating;
                        if (a->views != b->views) return a->views > b->views;
                        break;
                }
                return a->id < b->id;
            });
            sorted_[kind][sort] = std::move(order);
        }
    }
    for (const auto& title : titles_) searchOrder_.push_back(&title);
    std::stable_sort(searchOrder_.begin(), searchOrder_.end(), [](const Title* a, const Title* b) {
        return a->views != b->views ? a->views > b->views : a->id < b->id;
    });
}

const std::vector<const Title*>& Catalogue::sorted(TitleKind kind, SortKey sort) const {
    return sorted_[static_cast<int>(kind)][static_cast<int>(sort)];
}

Catalogue::Page Catalogue::slice(const std::vector<const Title*>& all, int page, int count) {
    Page result;
    if (page < 1) page = 1;
    if (count < 1) return result;
    const std::uint64_t start = static_cast<std::uint64_t>(page - 1) * static_cast<std::uint64_t>(count);
    if (start >= all.size()) return result;
    const std::uint64_t end = std::min<std::uint64_t>(all.size(), start + static_cast<std::uint64_t>(count));
    result.titles.assign(all.begin() + static_cast<std::ptrdiff_t>(start), all.begin() + static_cast<std::ptrdiff_t>(end));
    result.more = end < all.size();
    return result;
}

Catalogue::Page Catalogue::list(TitleKind kind, SortKey sort, int genreId, int page, int count) const {
    const auto& all = sorted(kind, sort);
    if (genreId == 0) return slice(all, page, count);
    std::vector<const Title*> inGenre;
    for (const Title* title : all)
        if (std::find(title->genreIds.begin(), title->genreIds.end(), genreId) != title->genreIds.end())
            inGenre.push_back(title);
    return slice(inGenre, page, count);
}

Catalogue::Page Catalogue::search(std::string_view keyword, int page, int count) const {
    while (!keyword.empty() && keyword.front() == ' ') keyword.remove_prefix(1);
    while (!keyword.empty() && keyword.back() == ' ') keyword.remove_suffix(1);
    if (keyword.empty()) return {};
    // Both kinds in one popularity order: name matches first, then description matches.
    std::vector<const Title*> byName;
    std::vector<const Title*> byDescription;
    for (const Title* title : searchOrder_) {
        if (containsFolded(title->name, keyword)) byName.push_back(title);
        else if (containsFolded(title->description, keyword)) byDescription.push_back(title);
    }
    byName.insert(byName.end(), byDescription.begin(), byDescription.end());
    return slice(byName, page, count);
}

const Title* Catalogue::title(int id) const {
    const auto found = titleById_.find(id);
    return found == titleById_.end() ? nullptr : &titles_[found->second];
}

const Chapter* Catalogue::chapter(int id) const {
    const auto found = chapterById_.find(id);
    if (found == chapterById_.end()) return nullptr;
    return &titles_[found->second.first].chapters[found->second.second];
}

const MediaEntry* Catalogue::media(const std::string& fileName) const {
    const auto found = media_.find(fileName);
    return found == media_.end() ? nullptr : &found->second;
}

std::string Catalogue::genreText(const Title& title) const {
    std::string text;
    for (int id : title.genreIds) {
        for (const auto& genre : genres_) {
            if (genre.id != id) continue;
            if (!text.empty()) text += ", ";
            text += genre.name;
        }
    }
    return text;
}

}  // namespace catalogue
