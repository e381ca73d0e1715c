#include "networking/FDFileManagerExtension.h"

#include "platform/foundation/NSFileManager.h"

namespace NSFileManagerFDFileDownload {

bool createDirFromPath(const std::string& path, NSErrorPtr* error) {
    if (path.empty()) return false;
    return NSFileManager::defaultManager()->createDirectoryAtPath(path, true, Value(), error);
}

}  // namespace NSFileManagerFDFileDownload
