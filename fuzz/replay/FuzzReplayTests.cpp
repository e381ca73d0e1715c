// Replays every committed fuzz input (corpus/<harness>/ and regressions/<harness>/)
// through the harness bodies built with the ordinary compiler, so inputs that
// once crashed a parser keep being checked by `make test` without clang.
#define DOCTEST_CONFIG_IMPLEMENT
#include <doctest/doctest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "Harnesses.h"
#include "support/FuzzSupport.h"

namespace fuzz {

struct BrokenPromise : std::runtime_error {
    using std::runtime_error::runtime_error;
};

void fail(const std::string& what) { throw BrokenPromise(what); }

}  // namespace fuzz

namespace {

namespace fs = std::filesystem;
using Body = int (*)(const std::uint8_t*, std::size_t);

const fs::path kFuzzDir = QUORVANE_FUZZ_DIR;

std::vector<fs::path> inputsOf(const std::string& harness) {
    std::vector<fs::path> inputs;
    for (const char* folder : {"corpus", "regressions"}) {
        fs::path dir = kFuzzDir / folder / harness;
        if (!fs::is_directory(dir)) continue;
        for (const auto& entry : fs::directory_iterator(dir))
            if (entry.is_regular_file()) inputs.push_back(entry.path());
    }
    std::sort(inputs.begin(), inputs.end());
    return inputs;
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    REQUIRE_MESSAGE(in.good(), "cannot open ", path.string());
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Each input runs through the body; a broken promise or any exception is a failure
// that names the input.
void replay(const std::string& harness, Body body) {
    auto inputs = inputsOf(harness);
    CHECK_MESSAGE(!inputs.empty(), "no corpus for the harness ", harness);
    for (const auto& path : inputs) {
        std::string bytes = readFile(path);
        std::string problem;
        try {
            body(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
        } catch (const std::exception& e) {
            problem = e.what();
        } catch (...) {
            problem = "an exception that is not a std::exception";
        }
        CHECK_MESSAGE(problem.empty(), path.lexically_relative(kFuzzDir).string(), ": ", problem);
    }
}

#define QUORVANE_FUZZ_NAME(name) #name,
const std::set<std::string> kHarnesses = {QUORVANE_FUZZ_HARNESSES(QUORVANE_FUZZ_NAME)};
#undef QUORVANE_FUZZ_NAME

}  // namespace

#define QUORVANE_FUZZ_REPLAY(name) \
    TEST_CASE("replays the inputs of the " #name " harness") { replay(#name, &fuzz::name::fuzzOne); }
QUORVANE_FUZZ_HARNESSES(QUORVANE_FUZZ_REPLAY)
#undef QUORVANE_FUZZ_REPLAY

TEST_CASE("every folder of inputs belongs to a harness") {
    for (const char* folder : {"corpus", "regressions", "pending"}) {
        fs::path dir = kFuzzDir / folder;
        if (!fs::is_directory(dir)) continue;
        for (const auto& entry : fs::directory_iterator(dir))
            CHECK_MESSAGE(kHarnesses.count(entry.path().filename().string()) == 1, "no harness named ",
                          entry.path().filename().string(), " for ", folder, "/");
    }
}

int main(int argc, char** argv) {
    fuzz::setUpProcess();
    doctest::Context context;
    context.applyCommandLine(argc, argv);
    return context.run();
}
