#pragma once
// The general pasteboard, for plain strings only. A stand-in kept in this
// process's memory: other programs neither see nor change it. Items are
// strings in order; setting replaces them all. Any thread.
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/NSObject.h"

class UIPasteboard : public NSObject {
public:
    static std::shared_ptr<UIPasteboard> generalPasteboard();

    // The first item, or nullopt when the pasteboard is empty.
    std::optional<std::string> string() const;
    // One item; nullopt empties the pasteboard.
    void setString(std::optional<std::string> string);
    std::vector<std::string> strings() const;
    void setStrings(std::vector<std::string> strings);

private:
    mutable std::mutex mutex_;
    std::vector<std::string> items_;
};
