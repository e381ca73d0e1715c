#include "platform/foundation/NSFileManager.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "platform/foundation/AppHome.h"
#include "platform/foundation/NSData.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/ProcessLifetime.h"

namespace {

// Size of the chunks a file copy moves at a time.
constexpr std::size_t kCopyChunk = 1 << 20;

void fail(NSErrorPtr* error, int err, const std::string& path, bool reading) {
    if (error) *error = NSFileErrorFromErrno(err, path, reading);
}

bool exists(const std::string& path, struct stat* st = nullptr) {
    struct stat local {};
    return ::lstat(path.c_str(), st ? st : &local) == 0;
}

bool writeAll(int fd, const std::uint8_t* data, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        ssize_t n = ::write(fd, data + done, size - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Copies one regular file; the destination is created exclusively and removed
// again when the copy fails part way.
bool copyFile(const std::string& src, const std::string& dst, const struct stat& st, NSErrorPtr* error) {
    int in = ::open(src.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        fail(error, errno, src, true);
        return false;
    }
    int out = ::open(dst.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, st.st_mode & 07777);
    if (out < 0) {
        int err = errno;
        ::close(in);
        fail(error, err, dst, false);
        return false;
    }
    std::vector<std::uint8_t> buffer(kCopyChunk);
    int err = 0;
    bool readFailed = false;
    for (;;) {
        ssize_t n = ::read(in, buffer.data(), buffer.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            err = errno;
            readFailed = true;
            break;
        }
        if (n == 0) break;
        if (!writeAll(out, buffer.data(), static_cast<std::size_t>(n))) {
            err = errno;
            break;
        }
    }
    if (!err) {
        struct timespec times[2] = {st.st_atim, st.st_mtim};
        ::futimens(out, times);
    }
    if (::close(out) != 0 && !err) err = errno;
    ::close(in);
    if (err) {
        ::unlink(dst.c_str());
        fail(error, err, readFailed ? src : dst, readFailed);
        return false;
    }
    return true;
}

bool copyItem(const std::string& src, const std::string& dst, NSErrorPtr* error) {
    struct stat st {};
    if (::lstat(src.c_str(), &st) != 0) {
        fail(error, errno, src, true);
        return false;
    }
    if (S_ISLNK(st.st_mode)) {
        std::string target(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 4096) + 1, '\0');
        ssize_t n = ::readlink(src.c_str(), target.data(), target.size());
        if (n < 0) {
            fail(error, errno, src, true);
            return false;
        }
        target.resize(static_cast<std::size_t>(n));
        if (::symlink(target.c_str(), dst.c_str()) != 0) {
            fail(error, errno, dst, false);
            return false;
        }
        return true;
    }
    if (S_ISDIR(st.st_mode)) {
        if (::mkdir(dst.c_str(), (st.st_mode & 07777) | S_IRWXU) != 0) {
            fail(error, errno, dst, false);
            return false;
        }
        auto names = NSFileManager::defaultManager()->contentsOfDirectoryAtPath(src, error);
        bool ok = names.has_value();
        if (ok) {
            for (const auto& name : *names) {
                if (!copyItem(src + "/" + name, dst + "/" + name, error)) {
                    ok = false;
                    break;
                }
            }
        }
        if (!ok) {
            std::error_code ec;
            std::filesystem::remove_all(dst, ec);
            return false;
        }
        ::chmod(dst.c_str(), st.st_mode & 07777);
        return true;
    }
    if (!S_ISREG(st.st_mode)) {
        fail(error, ENOTSUP, src, true);
        return false;
    }
    return copyFile(src, dst, st, error);
}

std::string homeLibrary() {
    std::string path = AppHome::root() + "/Library";
    ::mkdir(path.c_str(), 0755);
    return path;
}

std::optional<std::string> userDirectory(NSSearchPathDirectory directory) {
    switch (directory) {
    case NSDocumentDirectory: return AppHome::documents();
    case NSCachesDirectory: return AppHome::caches();
    case NSLibraryDirectory: return homeLibrary();
    case NSApplicationSupportDirectory: {
        std::string path = homeLibrary() + "/Application Support";
        ::mkdir(path.c_str(), 0755);
        return path;
    }
    }
    return std::nullopt;
}

double toSeconds(const struct timespec& ts) {
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

}  // namespace

NSErrorPtr NSFileErrorFromErrno(int err, const std::string& path, bool reading) {
    long code;
    std::string what;
    std::string name = lastPathComponent(path);
    switch (err) {
    case ENOENT:
    case ENOTDIR:
        code = reading ? NSFileReadNoSuchFileError : NSFileNoSuchFileError;
        what = "The file \u201c" + name + "\u201d doesn\u2019t exist.";
        break;
    case EACCES:
    case EPERM:
        code = reading ? NSFileReadNoPermissionError : NSFileWriteNoPermissionError;
        what = "You don\u2019t have permission to access \u201c" + name + "\u201d.";
        break;
    case EEXIST:
        code = NSFileWriteFileExistsError;
        what = "\u201c" + name + "\u201d couldn\u2019t be written because an item with the same name already exists.";
        break;
    case ENOSPC:
    case EDQUOT:
        code = NSFileWriteOutOfSpaceError;
        what = "\u201c" + name + "\u201d couldn\u2019t be written because there isn\u2019t enough space.";
        break;
    case EROFS:
        code = NSFileWriteVolumeReadOnlyError;
        what = "\u201c" + name + "\u201d couldn\u2019t be written because the volume is read only.";
        break;
    case ENAMETOOLONG:
        code = reading ? NSFileReadInvalidFileNameError : NSFileWriteInvalidFileNameError;
        what = "The file name \u201c" + name + "\u201d is invalid.";
        break;
    default:
        code = reading ? NSFileReadUnknownError : NSFileWriteUnknownError;
        what = "\u201c" + name + "\u201d: " + std::strerror(err);
        break;
    }
    Value info{{NSLocalizedDescriptionKey, what}, {NSFilePathErrorKey, path},
               {NSUnderlyingErrorKey, Value(NSError::posix(err, path))}};
    return NSError::errorWithDomain(NSCocoaErrorDomain, code, info);
}

std::shared_ptr<NSFileManager> NSFileManager::defaultManager() {
    static ProcessLifetime<std::shared_ptr<NSFileManager>> manager(std::make_shared<NSFileManager>());
    return *manager;
}

bool NSFileManager::fileExistsAtPath(const std::string& path, bool* isDirectory) const {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0) {
        if (isDirectory) *isDirectory = false;
        return false;
    }
    if (isDirectory) *isDirectory = S_ISDIR(st.st_mode);
    return true;
}

bool NSFileManager::isReadableFileAtPath(const std::string& path) const {
    return !path.empty() && ::access(path.c_str(), R_OK) == 0;
}

bool NSFileManager::isWritableFileAtPath(const std::string& path) const {
    return !path.empty() && ::access(path.c_str(), W_OK) == 0;
}

bool NSFileManager::createDirectoryAtPath(const std::string& path, bool withIntermediateDirectories,
                                          const Value& attributes, NSErrorPtr* error) {
    if (path.empty()) {
        fail(error, ENOENT, path, false);
        return false;
    }
    auto mode = static_cast<mode_t>(attributes[NSFilePosixPermissions].isNumber()
                                        ? attributes[NSFilePosixPermissions].unsignedIntValue() & 07777
                                        : 0755);
    if (withIntermediateDirectories) {
        std::string prefix = path.front() == '/' ? "/" : "";
        for (const auto& component : componentsSeparatedByString(path, "/")) {
            if (component.empty()) continue;
            prefix = stringByAppendingPathComponent(prefix, component);
            if (::mkdir(prefix.c_str(), 0755) == 0) continue;
            int err = errno;
            struct stat st {};
            if (err == EEXIST && ::stat(prefix.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) continue;
            fail(error, err, prefix, false);
            return false;
        }
    } else if (::mkdir(path.c_str(), mode) != 0) {
        fail(error, errno, path, false);
        return false;
    }
    if (attributes[NSFilePosixPermissions].isNumber()) ::chmod(path.c_str(), mode);
    return true;
}

bool NSFileManager::createFileAtPath(const std::string& path, const std::optional<Data>& contents,
                                     const Value& attributes) {
    if (path.empty()) return false;
    unsigned mode = attributes[NSFilePosixPermissions].isNumber()
                        ? attributes[NSFilePosixPermissions].unsignedIntValue() & 07777
                        : 0644;
    if (!writeToFile(contents.value_or(Data{}), path, true, nullptr, mode)) return false;
    if (attributes[NSFilePosixPermissions].isNumber()) ::chmod(path.c_str(), mode);
    return true;
}

std::optional<Data> NSFileManager::contentsAtPath(const std::string& path) const {
    return dataWithContentsOfFile(path);
}

bool NSFileManager::contentsEqualAtPath(const std::string& path1, const std::string& path2) const {
    auto a = contentsAtPath(path1), b = contentsAtPath(path2);
    return a && b && *a == *b;
}

bool NSFileManager::removeItemAtPath(const std::string& path, NSErrorPtr* error) {
    struct stat st {};
    if (path.empty() || ::lstat(path.c_str(), &st) != 0) {
        fail(error, path.empty() ? ENOENT : errno, path, false);
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        if (::unlink(path.c_str()) != 0) {
            fail(error, errno, path, false);
            return false;
        }
        return true;
    }
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
    if (ec) {
        fail(error, ec.value(), path, false);
        return false;
    }
    return true;
}

bool NSFileManager::copyItemAtPath(const std::string& srcPath, const std::string& toPath, NSErrorPtr* error) {
    if (!exists(srcPath)) {
        fail(error, ENOENT, srcPath, true);
        return false;
    }
    if (exists(toPath)) {
        fail(error, EEXIST, toPath, false);
        return false;
    }
    // A directory copied into itself would recurse without end.
    std::string from = stringByAppendingPathComponent(srcPath, "");
    if (hasPrefix(toPath, from + "/")) {
        fail(error, EINVAL, toPath, false);
        return false;
    }
    return copyItem(srcPath, toPath, error);
}

bool NSFileManager::moveItemAtPath(const std::string& srcPath, const std::string& toPath, NSErrorPtr* error) {
    if (!exists(srcPath)) {
        fail(error, ENOENT, srcPath, false);
        return false;
    }
    if (exists(toPath)) {
        fail(error, EEXIST, toPath, false);
        return false;
    }
    if (::rename(srcPath.c_str(), toPath.c_str()) == 0) return true;
    if (errno != EXDEV) {
        fail(error, errno, srcPath, false);
        return false;
    }
    if (!copyItem(srcPath, toPath, error)) return false;
    return removeItemAtPath(srcPath, error);
}

Value NSFileManager::attributesOfItemAtPath(const std::string& path, NSErrorPtr* error) const {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        fail(error, errno, path, true);
        return {};
    }
    const char* type = S_ISREG(st.st_mode)   ? NSFileTypeRegular
                       : S_ISDIR(st.st_mode) ? NSFileTypeDirectory
                       : S_ISLNK(st.st_mode) ? NSFileTypeSymbolicLink
                                             : NSFileTypeUnknown;
    return Value{{NSFileSize, Value(static_cast<unsigned long long>(st.st_size))},
                 {NSFileModificationDate, Value(Date{toSeconds(st.st_mtim)})},
                 {NSFileType, type},
                 {NSFilePosixPermissions, Value(static_cast<unsigned long long>(st.st_mode & 07777))}};
}

Value NSFileManager::attributesOfFileSystemForPath(const std::string& path, NSErrorPtr* error) const {
    struct statvfs fs {};
    if (::statvfs(path.c_str(), &fs) != 0) {
        fail(error, errno, path, true);
        return {};
    }
    auto unit = static_cast<unsigned long long>(fs.f_frsize ? fs.f_frsize : fs.f_bsize);
    return Value{{NSFileSystemSize, Value(static_cast<unsigned long long>(fs.f_blocks) * unit)},
                 {NSFileSystemFreeSize, Value(static_cast<unsigned long long>(fs.f_bavail) * unit)},
                 {NSFileSystemNodes, Value(static_cast<unsigned long long>(fs.f_files))},
                 {NSFileSystemFreeNodes, Value(static_cast<unsigned long long>(fs.f_favail))}};
}

std::optional<std::vector<std::string>> NSFileManager::contentsOfDirectoryAtPath(const std::string& path,
                                                                                 NSErrorPtr* error) const {
    DIR* dir = ::opendir(path.c_str());
    if (!dir) {
        fail(error, errno, path, true);
        return std::nullopt;
    }
    std::vector<std::string> names;
    while (auto* entry = ::readdir(dir)) {
        std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(std::move(name));
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<NSURLPtr> NSFileManager::URLsForDirectory(NSSearchPathDirectory directory,
                                                      NSSearchPathDomainMask domainMask) const {
    std::vector<NSURLPtr> out;
    for (const auto& path : NSSearchPathForDirectoriesInDomains(directory, domainMask))
        out.push_back(NSURL::fileURLWithPath(path, true));
    return out;
}

std::string NSFileManager::currentDirectoryPath() const {
    char buf[4096];
    return ::getcwd(buf, sizeof buf) ? std::string(buf) : std::string();
}

std::vector<std::string> NSSearchPathForDirectoriesInDomains(NSSearchPathDirectory directory,
                                                             NSSearchPathDomainMask domainMask, bool) {
    // Only the user domain exists in the application home; the paths are always
    // absolute, so there is no tilde to expand.
    if (!(domainMask & NSUserDomainMask)) return {};
    auto path = userDirectory(directory);
    if (!path) return {};
    return {*path};
}

std::string NSTemporaryDirectory() { return AppHome::tmp() + "/"; }

std::string NSHomeDirectory() { return AppHome::root(); }
