#pragma once
// Poster art for the sample catalogue: a PNG drawn from the title's id and genres, so
// every title has its own recognisable picture and the same seed gives the same image.
#include <cstdint>
#include <string>

namespace catalogue {

struct Title;

inline constexpr int kPosterWidth = 240;
inline constexpr int kPosterHeight = 360;

// The PNG file bytes (8-bit RGB); empty when encoding fails.
std::string renderPosterPng(const Title& title, std::uint64_t seed);

}  // namespace catalogue
