#pragma once
// The exception the layout constraints raise for the platform's refusals: an
// NSException named NSInvalidArgumentException, NSInternalInconsistencyException
// or NSGenericException, caught as NSException and told apart by name. Parse
// errors of the visual format also carry the offset where parsing stopped.
#include <cstddef>
#include <optional>
#include <string>

#include "platform/foundation/NSException.h"

class LayoutConstraintException : public NSException {
public:
    LayoutConstraintException(std::string name, std::string reason, std::optional<std::size_t> position = {})
        : NSException(std::move(name), std::move(reason)), position_(position) {}
    // For visual-format errors: the offset in the format where parsing stopped.
    std::optional<std::size_t> position() const { return position_; }

private:
    std::optional<std::size_t> position_;
};
