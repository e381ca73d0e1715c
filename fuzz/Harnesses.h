#pragma once
// The harnesses: each name is a body fuzz::<name>::fuzzOne in harnesses/<name>.cpp,
// a libFuzzer program fuzz_<name>, and the folders corpus/<name>/ and
// regressions/<name>/ whose files the replay test feeds to the body.
#include <cstddef>
#include <cstdint>

#define QUORVANE_FUZZ_HARNESSES(X) \
    X(url)                         \
    X(string)                      \
    X(json)                        \
    X(plist)                       \
    X(xml)                         \
    X(catalogue)                   \
    X(http_response)               \
    X(http_loopback)               \
    X(content_range)               \
    X(image_source)                \
    X(image_png)                   \
    X(image_jpeg)                  \
    X(image_gif)                   \
    X(image_webp)                  \
    X(exif)                        \
    X(predicate)                   \
    X(page_message)                \
    X(core_page_answer)            \
    X(ad_headers)                  \
    X(ad_dictionary)               \
    X(mediation_config)            \
    X(mediation_template)

#define QUORVANE_FUZZ_DECLARE(name)                              \
    namespace fuzz::name {                                       \
    int fuzzOne(const std::uint8_t* data, std::size_t size);     \
    }
QUORVANE_FUZZ_HARNESSES(QUORVANE_FUZZ_DECLARE)
#undef QUORVANE_FUZZ_DECLARE
