// Reading JSON into values: one pass of nlohmann::json's event parser that
// builds the values directly, so the cost grows with the size of the text.
#include <nlohmann/json.hpp>

#include <limits>
#include <string>
#include <vector>

#include "platform/foundation/HexString.h"
#include "platform/foundation/Value.h"

namespace {

// Escapes \uD800-\uDFFF that are not part of a high + low pair decode as
// U+FFFD, as other JSON readers do, instead of failing the whole text. The
// replacement escape has the same length, so the text is copied (into
// `repaired`) only when it has such an escape. A backslash outside a string
// is a syntax error either way, so escapes are found without tracking strings.
bool repairLoneSurrogates(std::string_view text, std::string& repaired) {
    auto escapeAt = [](std::string_view t, std::size_t i, unsigned& unit) {
        if (i + 6 > t.size() || t[i] != '\\' || t[i + 1] != 'u') return false;
        unit = 0;
        for (std::size_t k = i + 2; k < i + 6; ++k) {
            const int digit = hexDigitValue(t[k]);
            if (digit < 0) return false;
            unit = unit * 16 + static_cast<unsigned>(digit);
        }
        return true;
    };
    bool changed = false;
    std::size_t i = 0;
    while ((i = text.find('\\', i)) != std::string_view::npos) {
        unsigned unit = 0, next = 0;
        if (!escapeAt(text, i, unit) || unit < 0xD800 || unit > 0xDFFF) {
            i += 2;  // any other escape, or a lone backslash the parser reports
            continue;
        }
        if (unit < 0xDC00 && escapeAt(text, i + 6, next) && next >= 0xDC00 && next <= 0xDFFF) {
            i += 12;  // a proper pair
            continue;
        }
        if (!changed) repaired.assign(text.begin(), text.end());
        changed = true;
        repaired.replace(i + 2, 4, "fffd");
        text = repaired;
        i += 6;
    }
    return changed;
}

// Builds a Value straight from the parser's events, refusing containers nested
// deeper than kMaxJSONDepth instead of exhausting the stack.
class ValueBuilder {
public:
    static constexpr std::size_t kMaxJSONDepth = 512;

    bool null() { return place(Value()); }
    bool boolean(bool b) { return place(Value(b)); }
    bool number_integer(std::int64_t i) { return place(Value(i)); }
    bool number_unsigned(std::uint64_t u) {
        if (u <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
            return place(Value(static_cast<std::int64_t>(u)));
        return place(Value(u));
    }
    bool number_float(double d, const std::string&) { return place(Value(d)); }
    bool string(std::string& s) { return place(Value(std::move(s))); }
    bool binary(nlohmann::json::binary_t&) { return place(Value()); }
    bool start_object(std::size_t) { return open(false); }
    bool key(std::string& k) {
        frames_[depth_ - 1].key = std::move(k);
        return true;
    }
    bool end_object() { return close(Value(std::move(frames_[depth_ - 1].dictionary))); }
    bool start_array(std::size_t) { return open(true); }
    bool end_array() { return close(Value(std::move(frames_[depth_ - 1].array))); }
    bool parse_error(std::size_t, const std::string&, const nlohmann::json::exception& e) {
        error_ = e.what();
        return false;
    }

    Value takeRoot() { return std::move(root_); }
    const std::string& error() const { return error_; }

private:
    // The containers being filled; frames past depth_ are kept for reuse.
    struct Frame {
        bool isArray = false;
        ValueArray array;
        ValueDictionary dictionary;
        std::string key;
    };

    bool open(bool isArray) {
        if (depth_ >= kMaxJSONDepth) {
            error_ = "JSON nested too deeply";
            return false;
        }
        if (depth_ == frames_.size()) frames_.emplace_back();
        frames_[depth_].isArray = isArray;
        frames_[depth_].array.clear();
        frames_[depth_].dictionary.clear();
        ++depth_;
        return true;
    }
    bool close(Value container) {
        --depth_;
        return place(std::move(container));
    }
    bool place(Value v) {
        if (depth_ == 0) {
            root_ = std::move(v);
            return true;
        }
        auto& frame = frames_[depth_ - 1];
        if (frame.isArray) frame.array.push_back(std::move(v));
        else frame.dictionary.insert_or_assign(std::move(frame.key), std::move(v));  // the last duplicate wins
        return true;
    }

    std::vector<Frame> frames_;
    std::size_t depth_ = 0;
    Value root_;
    std::string error_;
};

}  // namespace

std::optional<Value> Value::fromJSON(std::string_view text, std::string* error) {
    std::string repaired;
    if (repairLoneSurrogates(text, repaired)) text = repaired;
    ValueBuilder builder;
    if (nlohmann::json::sax_parse(text.begin(), text.end(), &builder)) return builder.takeRoot();
    if (error) *error = builder.error();
    return std::nullopt;
}
