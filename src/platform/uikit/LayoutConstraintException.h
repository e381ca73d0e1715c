#pragma once
// The exception the layout constraints raise for the platform's refusals: a
// name ("NSInvalidArgumentException", "NSInternalInconsistencyException",
// "NSGenericException") and a reason. Caught by name: compare name().
// (It becomes the foundation's NSException once that type is in place; the
// names and reasons stay as they are.)
#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>

class LayoutConstraintException : public std::runtime_error {
public:
    LayoutConstraintException(std::string name, std::string reason, std::optional<std::size_t> position = {})
        : std::runtime_error(name + ": " + reason), name_(std::move(name)), reason_(std::move(reason)),
          position_(position) {}
    const std::string& name() const { return name_; }
    const std::string& reason() const { return reason_; }
    // For visual-format errors: the offset in the format where parsing stopped.
    std::optional<std::size_t> position() const { return position_; }

private:
    std::string name_;
    std::string reason_;
    std::optional<std::size_t> position_;
};
