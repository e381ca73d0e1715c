// quorvane-art <folder>: draws the images the application ships into the folder
// (resources/ in the source tree). The output is deterministic; the tools tests
// draw them again and compare with the committed files.
// quorvane-art --sheet <file.png>: every image side by side on the screens' dark
// grey, for a person to look at.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "ArtCatalogue.h"

namespace {

int writeSheet(const char* path) {
    auto sheet = art::renderContactSheet();
    std::string error = "cannot draw the sheet";
    if (!sheet || !art::writeFile(path, *sheet, &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    return 0;
}

int writeAll(const char* folder) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) {
        std::fprintf(stderr, "cannot create %s: %s\n", folder, ec.message().c_str());
        return 1;
    }
    std::string error;
    if (!art::writeAllArt(folder, &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    for (const auto& entry : art::artCatalogue())
        std::printf("%s.png %s@2x.png\n", entry.name.c_str(), entry.name.c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--sheet") == 0) return writeSheet(argv[2]);
    if (argc == 2 && argv[1][0] != '-') return writeAll(argv[1]);
    std::fprintf(stderr, "usage: %s <output folder>\n       %s --sheet <file.png>\n", argv[0], argv[0]);
    return 2;
}
