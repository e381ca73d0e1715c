#pragma once
// Recognising image formats by their signatures.
#include <cstddef>
#include <cstdint>
#include <string>

enum class ImageFormat { Unknown, PNG, JPEG, GIF, TIFF, WebP };

// The format whose signature starts the bytes: 89 "PNG" CR LF 1A LF, FF D8 FF,
// "GIF87a" or "GIF89a", "II*\0" or "MM\0*", "RIFF" (size) "WEBP". needMore is
// set when the bytes are a prefix of a signature, so more bytes could decide.
ImageFormat imageFormatForBytes(const std::uint8_t* bytes, std::size_t size, bool* needMore = nullptr);
// The type identifier of the format ("public.png", ...); empty for Unknown.
std::string imageTypeIdentifier(ImageFormat format);
ImageFormat imageFormatForTypeIdentifier(const std::string& type);
