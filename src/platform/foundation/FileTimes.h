#pragma once
// Setting a file's access and modification times (whole seconds, as the
// platform's file attributes do). Reading goes through NSFileManager's
// attributes (NSFileModificationDate).
#include <string>

#include "platform/foundation/Value.h"

namespace FileTimes {
// Both times to the date, truncated to whole seconds; false when the file
// cannot be changed.
[[nodiscard]] bool setAccessAndModificationDate(const std::string& path, Date date);
}  // namespace FileTimes
