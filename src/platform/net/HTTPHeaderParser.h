#pragma once
// The header blocks of one HTTP/1.x or HTTP/2 answer, read line by line as the
// transfer library hands them over (status line, fields, the empty line).
// Interim 1xx blocks are read and set aside; the first final block is the
// answer, and lines after it (a chunked body's trailers) are ignored.
//
// The text is bytes: names fold ASCII case only, values are kept as they came,
// and no byte sequence makes a call throw or read out of bounds. A block that
// cannot be an HTTP answer is refused with the reason: a first line that is not
// an HTTP status line, a block larger than kMaxHeaderBlock, or Content-Length
// values that disagree.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/net/HTTPHeaderFields.h"

class HTTPHeaderParser {
public:
    static constexpr std::size_t kMaxHeaderBlock = 256 * 1024;

    enum class Step {
        More,      // the block goes on
        Interim,   // an interim (1xx) block ended; the answer's block follows
        Complete,  // the answer's block ended: status(), version() and fields() hold it
        Ignored,   // a line after the answer's block
        Refused,   // the block is no HTTP answer: see problem()
    };

    // One line, with or without its line end.
    Step take(std::string_view line);

    // A status line was read and its block has not ended yet.
    bool inBlock() const { return inBlock_; }
    // The answer's block has ended.
    bool complete() const { return complete_; }
    long status() const { return status_; }
    const std::string& version() const { return version_; }
    // The fields in arrival order; repeated names joined with ", ".
    const std::vector<std::pair<std::string, std::string>>& fields() const { return fields_; }
    HTTPHeaderFields mergedFields() const;
    const std::string& problem() const { return problem_; }

private:
    Step refuse(std::string reason);
    Step statusLine(std::string_view line);
    Step endOfBlock();

    bool inBlock_ = false;
    bool complete_ = false;
    bool refused_ = false;
    std::size_t blockBytes_ = 0;
    long status_ = 0;
    std::string version_;
    std::vector<std::pair<std::string, std::string>> fields_;
    std::string problem_;
};

// The realm of a Basic challenge among the challenges of a WWW-Authenticate
// value ("" for a Basic challenge without one); none without a Basic challenge.
std::optional<std::string> basicRealm(std::string_view header);

// Whether the comma-separated directives of a field name `token` (Cache-Control's no-store).
bool hasDirective(std::string_view header, std::string_view token);
