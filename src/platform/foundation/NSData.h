#pragma once
// Reading and writing whole byte buffers from and to files.
#include <optional>
#include <string>

#include "platform/foundation/Data.h"
#include "platform/foundation/NSError.h"

// The file's bytes; nullopt (and a Cocoa file error) when it cannot be read.
std::optional<Data> dataWithContentsOfFile(const std::string& path, NSErrorPtr* error = nullptr);

// Writes the bytes to the file. Atomically: into a temporary file beside it,
// flushed to disk and then renamed over the path, so readers see either the old
// or the new contents and no temporary file is left behind on failure.
// New files get the mode given (0644 by default); a replaced file keeps its mode.
bool writeToFile(const Data& data, const std::string& path, bool atomically, NSErrorPtr* error = nullptr,
                 unsigned mode = 0644);
