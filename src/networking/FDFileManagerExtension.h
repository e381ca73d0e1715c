#pragma once
// The file manager's download-directory extension.
#include <string>

#include "platform/foundation/NSError.h"

namespace NSFileManagerFDFileDownload {
// Creates the directory with its intermediate directories (an existing one is
// success). A missing or empty path answers false without an error.
bool createDirFromPath(const std::string& path, NSErrorPtr* error);
}  // namespace NSFileManagerFDFileDownload
