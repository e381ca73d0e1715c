#pragma once
// The place of a row in a table or an item in a collection: a section and the
// index within it. A value: compared section first, then row, and hashable, so
// it can key maps and sets. `row` and `item` are the same index under the two
// names the lists use.
#include <compare>
#include <cstddef>
#include <functional>
#include <string>

struct NSIndexPath {
    long section = 0;
    long index = 0;

    static NSIndexPath indexPathForRow(long row, long section) { return {section, row}; }
    static NSIndexPath indexPathForItem(long item, long section) { return {section, item}; }

    long row() const { return index; }
    long item() const { return index; }

    auto operator<=>(const NSIndexPath&) const = default;
    bool operator==(const NSIndexPath&) const = default;

    // "<NSIndexPath {length = 2, path = S - I}>".
    std::string description() const;
};

template <>
struct std::hash<NSIndexPath> {
    std::size_t operator()(const NSIndexPath& p) const noexcept {
        return std::hash<long>()(p.section) * 1000003u ^ std::hash<long>()(p.index);
    }
};
