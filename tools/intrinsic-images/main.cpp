// quorvane-intrinsic-images <file.cpp>: draws the ad library's built-in button
// images and writes them as Base64 text into the file
// (src/adkit/rendering/AKIntrinsicImagesData.cpp).
// quorvane-intrinsic-images --check <file.cpp>: exits 1 when the file differs
// from what the drawings give.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "IntrinsicImageDrawings.h"

int main(int argc, char** argv) {
    const bool check = argc == 3 && std::strcmp(argv[1], "--check") == 0;
    if (!(argc == 2 && argv[1][0] != '-') && !check) {
        std::fprintf(stderr, "usage: %s <file.cpp>\n       %s --check <file.cpp>\n", argv[0], argv[0]);
        return 2;
    }
    const char* path = argv[argc - 1];
    const std::string text = intrinsic::generatedSource();
    if (check) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream committed;
        committed << in.rdbuf();
        if (committed.str() == text) return 0;
        std::fprintf(stderr, "%s is not what the drawings give: regenerate it with %s %s\n", path, argv[0], path);
        return 1;
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out) {
        std::fprintf(stderr, "cannot write %s\n", path);
        return 1;
    }
    return 0;
}
