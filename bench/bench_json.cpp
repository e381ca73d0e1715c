// JSON reading: a catalogue-like reply of 16 MiB (a page of titles, each an
// object of strings and numbers, a few with escapes) read into a Value, next
// to nlohmann::json's plain parse of the same bytes into its own document in
// the same run. The figure to read is the time ratio ours / nlohmann (our reader
// builds the platform's values straight from the parser's events). An optional
// argument gives another size in MiB.
//
// Before anything is timed, our document must equal nlohmann's: ours written
// back as JSON and read by nlohmann must compare equal to nlohmann's own
// document (every key, string and number), else the run fails. The two readers
// run in turns, one parse each per round, and each side's median counts.
//
// Three runs, Release build, 8 December 2026, on a machine shared with seven
// other jobs (load average 35-40: the times are several times the idle ones and
// noisy; read the ratio): ours / nlohmann 1139.4 / 1135.2 ms = 1.00,
// 1316.5 / 1560.3 ms = 0.84, 1176.4 / 1324.5 ms = 0.89.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "BenchSupport.h"
#include "platform/foundation/Value.h"

#ifndef QUORVANE_BUILD_TYPE
#define QUORVANE_BUILD_TYPE "unknown"
#endif

namespace {

// Titles as the catalogue sends them, until the reply holds `bytes` bytes.
std::string catalogueReply(std::size_t bytes, std::size_t& titles) {
    static const char* const genres[] = {"Drama", "Comedy", "Thriller", "Documentary", "Animation", "Science fiction"};
    std::mt19937 gen(42);
    std::string json = "{\"status\":1,\"message\":\"\",\"data\":[";
    titles = 0;
    while (json.size() < bytes) {
        if (titles) json += ",";
        const int id = 10000 + static_cast<int>(gen() % 90000);
        json += "{\"id\":" + std::to_string(id) + ",\"title\":\"Title number " + std::to_string(titles + 1) +
                (titles % 50 == 0 ? " \\u00e9t\\u00e9 \\\"quoted\\\"" : "") + "\",\"year\":" +
                std::to_string(1960 + gen() % 60) + ",\"genre\":\"" + genres[gen() % 6] + "\",\"rating\":" +
                std::to_string(gen() % 10) + "." + std::to_string(gen() % 10) +
                ",\"thumb\":\"http://posters.example.net/images/" + std::to_string(id) +
                "/poster_342x513.jpg\",\"duration\":\"" + std::to_string(80 + gen() % 80) +
                " min\",\"description\":\"A description of the film as the catalogue sends it, with its cast "
                "and a few lines about the story.\",\"chapters\":[1,2],\"hd\":" + (titles % 3 ? "true" : "false") +
                ",\"type\":\"" + (titles % 3 ? "movie" : "tv") + "\"}";
        ++titles;
    }
    return json + "],\"total\":" + std::to_string(titles) + "}";
}

}  // namespace

int main(int argc, char** argv) {
    const double mebibytes = argc > 1 ? std::strtod(argv[1], nullptr) : 16;
    std::printf("bench_json (build type %s)\n", QUORVANE_BUILD_TYPE);
    std::size_t titles = 0;
    const std::string reply = catalogueReply(static_cast<std::size_t>(mebibytes * 1048576), titles);

    // Both readers must agree before their speed means anything.
    auto ours = Value::fromJSON(reply);
    const auto reference = nlohmann::json::parse(reply);
    const auto written = ours ? ours->toJSON() : std::nullopt;
    if (!ours || (*ours)["data"].count() != titles || reference["data"].size() != titles || !written ||
        nlohmann::json::parse(*written) != reference) {
        std::printf("FAIL: the readers disagree on the reply\n");
        return 1;
    }

    const int runs = 5;
    std::vector<double> oursTimes, referenceTimes;
    for (int run = 0; run < runs; ++run) {
        auto start = bench::SteadyClock::now();
        auto value = Value::fromJSON(reply);
        oursTimes.push_back(value ? bench::seconds(start) : -1.0);
        start = bench::SteadyClock::now();
        auto document = nlohmann::json::parse(reply);
        referenceTimes.push_back(document.is_object() ? bench::seconds(start) : -1.0);
    }
    const double oursSeconds = *std::min_element(oursTimes.begin(), oursTimes.end()) < 0 ? -1 : bench::median(oursTimes);
    const double referenceSeconds =
        *std::min_element(referenceTimes.begin(), referenceTimes.end()) < 0 ? -1 : bench::median(referenceTimes);
    std::printf("catalogue reply: %zu bytes, %zu titles; median of %d runs\n", reply.size(), titles, runs);
    std::printf("  %-28s %10s %12s %10s\n", "", "ours ms", "nlohmann ms", "ours/ref");
    std::printf("  %-28s %10.1f %12.1f %10.2f\n", "parse into a document", oursSeconds * 1e3, referenceSeconds * 1e3,
                oursSeconds / referenceSeconds);
    return oursSeconds > 0 && referenceSeconds > 0 ? 0 : 1;
}
