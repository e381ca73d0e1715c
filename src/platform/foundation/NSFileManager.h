#pragma once
// The file manager and the standard directories of the application home.
//
// Failures hand out NSError in the Cocoa domain with the platform's file codes
// (a missing item 4 or 260, an existing destination 516, ...), the POSIX error
// under NSUnderlyingErrorKey and the path under NSFilePathErrorKey.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Data.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/FoundationErrors.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSURL.h"
#include "platform/foundation/Value.h"


// Attribute keys and file types.
inline constexpr const char* NSFileSize = "NSFileSize";
inline constexpr const char* NSFileModificationDate = "NSFileModificationDate";
inline constexpr const char* NSFileType = "NSFileType";
inline constexpr const char* NSFilePosixPermissions = "NSFilePosixPermissions";
inline constexpr const char* NSFileTypeRegular = "NSFileTypeRegular";
inline constexpr const char* NSFileTypeDirectory = "NSFileTypeDirectory";
inline constexpr const char* NSFileTypeSymbolicLink = "NSFileTypeSymbolicLink";
inline constexpr const char* NSFileTypeUnknown = "NSFileTypeUnknown";
inline constexpr const char* NSFileSystemSize = "NSFileSystemSize";
inline constexpr const char* NSFileSystemFreeSize = "NSFileSystemFreeSize";
inline constexpr const char* NSFileSystemNodes = "NSFileSystemNodes";
inline constexpr const char* NSFileSystemFreeNodes = "NSFileSystemFreeNodes";

enum NSSearchPathDirectory : unsigned long {
    NSLibraryDirectory = 5,
    NSDocumentDirectory = 9,
    NSCachesDirectory = 13,
    NSApplicationSupportDirectory = 14,
};

enum NSSearchPathDomainMask : unsigned long {
    NSUserDomainMask = 1,
    NSLocalDomainMask = 2,
    NSNetworkDomainMask = 4,
    NSSystemDomainMask = 8,
    NSAllDomainsMask = 0x0ffff,
};

class NSFileManager : public NSObject {
public:
    static std::shared_ptr<NSFileManager> defaultManager();

    bool fileExistsAtPath(const std::string& path, bool* isDirectory = nullptr) const;
    bool isReadableFileAtPath(const std::string& path) const;
    bool isWritableFileAtPath(const std::string& path) const;

    // An existing directory is success only with intermediate directories
    // (as mkdir -p); an existing file is NSFileWriteFileExistsError.
    bool createDirectoryAtPath(const std::string& path, bool withIntermediateDirectories, const Value& attributes = {},
                               NSErrorPtr* error = nullptr);
    // Writes the contents (empty when nullopt), replacing any file, through a
    // temporary file renamed into place. NSFilePosixPermissions is honoured.
    bool createFileAtPath(const std::string& path, const std::optional<Data>& contents,
                          const Value& attributes = {});
    std::optional<Data> contentsAtPath(const std::string& path) const;
    bool contentsEqualAtPath(const std::string& path1, const std::string& path2) const;

    // Removes a file, a symbolic link or a whole directory tree.
    bool removeItemAtPath(const std::string& path, NSErrorPtr* error = nullptr);
    // Copies a file (in chunks, never whole in memory), a symbolic link or a
    // directory tree; fails with NSFileWriteFileExistsError when the destination
    // exists. A partly written destination is removed.
    bool copyItemAtPath(const std::string& srcPath, const std::string& toPath, NSErrorPtr* error = nullptr);
    // Renames, or copies and removes across file systems; the destination must not exist.
    bool moveItemAtPath(const std::string& srcPath, const std::string& toPath, NSErrorPtr* error = nullptr);

    // NSFileSize (unsigned), NSFileModificationDate (date), NSFileType and
    // NSFilePosixPermissions of the item itself (links are not followed); null on failure.
    Value attributesOfItemAtPath(const std::string& path, NSErrorPtr* error = nullptr) const;
    // NSFileSystemSize, NSFileSystemFreeSize (bytes available to the user),
    // NSFileSystemNodes and NSFileSystemFreeNodes; null on failure.
    Value attributesOfFileSystemForPath(const std::string& path, NSErrorPtr* error = nullptr) const;
    // Names of the directory's entries (no "." or ".."), sorted; nullopt on failure.
    std::optional<std::vector<std::string>> contentsOfDirectoryAtPath(const std::string& path,
                                                                      NSErrorPtr* error = nullptr) const;

    // Directory file URLs under the application home (user domain only).
    std::vector<NSURLPtr> URLsForDirectory(NSSearchPathDirectory directory, NSSearchPathDomainMask domainMask) const;
    std::string currentDirectoryPath() const;
};

// The paths of the directory in the domains (user domain: under the application home).
std::vector<std::string> NSSearchPathForDirectoriesInDomains(NSSearchPathDirectory directory,
                                                             NSSearchPathDomainMask domainMask,
                                                             bool expandTilde = true);
// The application home's temporary folder, with a trailing slash.
std::string NSTemporaryDirectory();
// The application home.
std::string NSHomeDirectory();

// A Cocoa file error for errno: the code that fits the failure (missing item,
// permission, existing item, space), the POSIX error as underlying error.
NSErrorPtr NSFileErrorFromErrno(int err, const std::string& path, bool reading);
