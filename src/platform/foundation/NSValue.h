#pragma once
// A boxed plain struct: its bytes and its type encoding, the text naming its
// layout ("{CGSize=dd}"). Two boxes are equal when both their encodings and
// their bytes are. Only trivially copyable types without padding are boxed
// (their bytes are their value). Reading a box back with another encoding, or
// into a type of another size, answers nothing. A plain value: any thread.
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

#include "platform/foundation/Data.h"

struct NSValue {
    std::string objCType;  // the type encoding
    Data bytes;

    template <class T>
    static NSValue valueWithBytes(const T& value, std::string_view encoding) {
        static_assert(std::is_trivially_copyable_v<T>);
        const auto* first = reinterpret_cast<const std::uint8_t*>(&value);
        return NSValue{std::string(encoding), Data(first, first + sizeof(T))};
    }
    template <class T>
    std::optional<T> getValue(std::string_view encoding) const {
        static_assert(std::is_trivially_copyable_v<T> && std::is_default_constructible_v<T>);
        if (objCType != encoding || bytes.size() != sizeof(T)) return std::nullopt;
        T out{};
        std::memcpy(&out, bytes.data(), sizeof(T));
        return out;
    }
    bool operator==(const NSValue&) const = default;
};
