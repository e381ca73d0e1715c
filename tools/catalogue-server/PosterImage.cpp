#include "PosterImage.h"

#include <png.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "Catalogue.h"

namespace catalogue {

namespace {

struct Colour {
    double r, g, b;
};

Colour fromHue(double hue, double saturation, double value) {
    const double h = std::fmod(hue, 1.0) * 6.0;
    const double c = value * saturation;
    const double x = c * (1 - std::fabs(std::fmod(h, 2.0) - 1));
    const double m = value - c;
    Colour colour{0, 0, 0};
    switch (static_cast<int>(h)) {
        case 0: colour = {c, x, 0}; break;
        case 1: colour = {x, c, 0}; break;
        case 2: colour = {0, c, x}; break;
        case 3: colour = {0, x, c}; break;
        case 4: colour = {x, 0, c}; break;
        default: colour = {c, 0, x}; break;
    }
    return {colour.r + m, colour.g + m, colour.b + m};
}

Colour blend(const Colour& a, const Colour& b, double t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

std::uint64_t mix(std::uint64_t value) {
    value += 0x9e3779b97f4a7c15ull;
    value = (value ^ (value >> 30)) * 0xbf58476d1ce4e5b9ull;
    value = (value ^ (value >> 27)) * 0x94d049bb133111ebull;
    return value ^ (value >> 31);
}

double unitFrom(std::uint64_t& state) {
    state = mix(state);
    return static_cast<double>(state >> 11) / static_cast<double>(1ull << 53);
}

void appendToString(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<std::string*>(png_get_io_ptr(png));
    out->append(reinterpret_cast<const char*>(data), length);
}

void flushNothing(png_structp) {}

}  // namespace

std::string renderPosterPng(const Title& title, std::uint64_t seed) {
    constexpr int width = kPosterWidth;
    constexpr int height = kPosterHeight;
    std::uint64_t state = seed ^ (static_cast<std::uint64_t>(title.id) * 0x100000001b3ull);

    // The first genre picks the hue family; the title varies it.
    const int genre = title.genreIds.empty() ? 0 : title.genreIds.front();
    const double hue = std::fmod(genre * 0.137 + unitFrom(state) * 0.08, 1.0);
    const Colour top = fromHue(hue, 0.55, 0.95);
    const Colour bottom = fromHue(hue + 0.08, 0.85, 0.25);
    const Colour accent = fromHue(hue + 0.5, 0.6, 1.0);

    struct Disc {
        double x, y, radius, strength;
    };
    std::array<Disc, 4> discs{};
    for (auto& disc : discs)
        disc = {unitFrom(state) * width, unitFrom(state) * height * 0.7, 20 + unitFrom(state) * 70, 0.25 + unitFrom(state) * 0.5};
    const int bandTop = static_cast<int>(height * 0.78);

    std::vector<png_byte> pixels(static_cast<std::size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            Colour colour = blend(top, bottom, static_cast<double>(y) / (height - 1));
            for (const auto& disc : discs) {
                const double distance = std::hypot(x - disc.x, y - disc.y);
                if (distance < disc.radius) colour = blend(colour, accent, disc.strength * (1 - distance / disc.radius));
            }
            if (y >= bandTop) colour = blend(colour, Colour{0.05, 0.05, 0.08}, 0.7);
            // A thin frame, as printed posters have.
            if (x < 4 || y < 4 || x >= width - 4 || y >= height - 4) colour = blend(colour, Colour{1, 1, 1}, 0.6);
            png_byte* pixel = &pixels[(static_cast<std::size_t>(y) * width + x) * 3];
            pixel[0] = static_cast<png_byte>(std::clamp(colour.r, 0.0, 1.0) * 255);
            pixel[1] = static_cast<png_byte>(std::clamp(colour.g, 0.0, 1.0) * 255);
            pixel[2] = static_cast<png_byte>(std::clamp(colour.b, 0.0, 1.0) * 255);
        }
    }

    std::string out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png) return {};
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return {};
    }
    std::vector<png_bytep> rows(height);
    for (int y = 0; y < height; ++y) rows[static_cast<std::size_t>(y)] = &pixels[static_cast<std::size_t>(y) * width * 3];
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return {};
    }
    png_set_write_fn(png, &out, appendToString, flushNothing);
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

}  // namespace catalogue
