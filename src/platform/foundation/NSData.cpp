#include "platform/foundation/NSData.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/foundation/NSFileManager.h"
#include "platform/foundation/NSString.h"

namespace {

bool writeAll(int fd, const Data& data) {
    std::size_t done = 0;
    while (done < data.size()) {
        ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

void fail(NSErrorPtr* error, int err, const std::string& path, bool reading) {
    if (error) *error = NSFileErrorFromErrno(err, path, reading);
}

}  // namespace

std::optional<Data> dataWithContentsOfFile(const std::string& path, NSErrorPtr* error) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        fail(error, errno, path, true);
        return std::nullopt;
    }
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        fail(error, EISDIR, path, true);
        return std::nullopt;
    }
    Data out;
    if (st.st_size > 0) out.reserve(static_cast<std::size_t>(st.st_size));
    std::uint8_t buf[65536];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            int err = errno;
            ::close(fd);
            fail(error, err, path, true);
            return std::nullopt;
        }
        if (n == 0) break;
        out.insert(out.end(), buf, buf + n);
    }
    ::close(fd);
    return out;
}

bool writeToFile(const Data& data, const std::string& path, bool atomically, NSErrorPtr* error, unsigned mode) {
    if (!atomically) {
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
        if (fd < 0) {
            fail(error, errno, path, false);
            return false;
        }
        bool ok = writeAll(fd, data);
        int err = errno;
        if (::close(fd) != 0 && ok) {
            ok = false;
            err = errno;
        }
        if (!ok) fail(error, err, path, false);
        return ok;
    }

    std::string dir = stringByDeletingLastPathComponent(path);
    std::string name = lastPathComponent(path);
    std::string tmpl = (dir.empty() ? std::string() : dir + "/") + "." + name + ".tmp-XXXXXX";
    int fd = ::mkstemp(tmpl.data());
    if (fd < 0) {
        fail(error, errno, path, false);
        return false;
    }
    struct stat existing {};
    unsigned finalMode = ::stat(path.c_str(), &existing) == 0 ? (existing.st_mode & 07777) : mode;
    bool ok = ::fchmod(fd, finalMode) == 0 && writeAll(fd, data) && ::fsync(fd) == 0;
    int err = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (ok && ::rename(tmpl.c_str(), path.c_str()) != 0) {
        ok = false;
        err = errno;
    }
    if (!ok) {
        ::unlink(tmpl.c_str());
        fail(error, err, path, false);
    }
    return ok;
}
