// Text measuring: 10,000 chapter titles measured with our size routine next to
// a bare Pango layout over the same fonts in the same run, the ratio printed as
// ours / reference. The reference does only what measuring needs: one layout,
// its font set once, set_text and get_extents per title.
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "BenchPango.h"
#include "platform/uikit/NSStringDrawing.h"

#ifndef QUORVANE_BUILD_TYPE
#define QUORVANE_BUILD_TYPE "unknown"
#endif

namespace {

std::vector<std::string> titles(int count) {
    const char* words[] = {"The",   "Return", "of",    "Night", "Season", "Finale", "Chapter", "Dawn",
                           "River", "Lost",   "Empire", "Ünder", "Storm", "Part",   "Echoes",  "Café"};
    std::vector<std::string> out;
    std::uint32_t seed = 12345;
    for (int i = 0; i < count; ++i) {
        std::string t = "Chapter " + std::to_string(i + 1) + ":";
        int n = 2 + int(seed % 5);
        for (int w = 0; w < n; ++w) {
            seed = seed * 1664525u + 1013904223u;
            t += " ";
            t += words[(seed >> 16) % 16];
        }
        out.push_back(t);
    }
    return out;
}

}  // namespace

int main() {
    std::printf("bench_text (%s build)\n", QUORVANE_BUILD_TYPE);
    const auto all = titles(10000);
    NSAttributes attributes{UIFont::systemFontOfSize(15)};
    double oursTotal = 0, referenceTotal = 0;
    double ours = benchpango::bestOf(5, [&] {
        oursTotal = 0;
        for (const auto& t : all) oursTotal += sizeWithAttributes(t, attributes).width;
    });
    PangoLayout* layout = benchpango::referenceLayout(15);
    double reference = benchpango::bestOf(5, [&] {
        referenceTotal = 0;
        for (const auto& t : all) {
            pango_layout_set_text(layout, t.c_str(), static_cast<int>(t.size()));
            PangoRectangle logical;
            pango_layout_get_extents(layout, nullptr, &logical);
            referenceTotal += double(logical.width) / PANGO_SCALE;
        }
    });
    std::printf("%-40s %8zu   %8.3f s   %8.2f us each\n", "sizeWithAttributes", all.size(), ours, ours / 10000 * 1e6);
    std::printf("%-40s %8zu   %8.3f s   %8.2f us each\n", "bare Pango layout", all.size(), reference,
                reference / 10000 * 1e6);
    std::printf("ratio ours/reference: %.2f\n", ours / reference);
    // The two must have measured the same text the same way.
    if (std::abs(oursTotal - referenceTotal) > 1e-6 * referenceTotal) {
        std::printf("widths differ: %.3f against %.3f\n", oursTotal, referenceTotal);
        return 1;
    }
    return 0;
}
