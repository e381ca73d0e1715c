// Protects the file manager: existence, directories, reading, replacing, removing, copying, moving, attributes and the application's standard folders.
#include <doctest/doctest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <sys/statvfs.h>

#include <cerrno>
#include <random>
#include <string>

#include "platform/foundation/AppHome.h"
#include "platform/foundation/NSData.h"
#include "platform/foundation/NSFileHandle.h"
#include "platform/foundation/NSFileManager.h"
#include "platform/foundation/NSString.h"
#include "support/TestEnvironment.h"

namespace {

std::shared_ptr<NSFileManager> fm() { return NSFileManager::defaultManager(); }

Data randomBytes(std::size_t size, unsigned seed) {
    std::mt19937 gen(seed);
    Data out(size);
    for (auto& b : out) b = static_cast<std::uint8_t>(gen());
    return out;
}

// The POSIX error a Cocoa file error carries underneath.
long underlyingCode(const NSErrorPtr& error) {
    auto under = error ? error->underlyingError() : nullptr;
    return under ? under->code() : 0;
}

}  // namespace

TEST_CASE("file existence tells files from directories") {
    testsupport::TempHome home;
    std::string file = home.path() + "/f.txt";
    REQUIRE(fm()->createFileAtPath(file, dataFromString("x")));
    bool isDir = true;
    CHECK(fm()->fileExistsAtPath(file, &isDir));
    CHECK_FALSE(isDir);
    CHECK(fm()->fileExistsAtPath(home.path(), &isDir));
    CHECK(isDir);
    CHECK_FALSE(fm()->fileExistsAtPath(home.path() + "/missing", &isDir));
    CHECK_FALSE(isDir);
    CHECK_FALSE(fm()->fileExistsAtPath(""));
    CHECK(fm()->isReadableFileAtPath(file));
    CHECK(fm()->isWritableFileAtPath(file));
}

TEST_CASE("creating directories with and without intermediates") {
    testsupport::TempHome home;
    std::string deep = home.path() + "/a/b/c";
    NSErrorPtr error;
    CHECK_FALSE(fm()->createDirectoryAtPath(deep, false, {}, &error));
    REQUIRE(error);
    CHECK(error->domain() == NSCocoaErrorDomain);
    CHECK(error->code() == NSFileNoSuchFileError);

    error.reset();
    CHECK(fm()->createDirectoryAtPath(deep, true, {}, &error));
    CHECK_FALSE(error);
    bool isDir = false;
    CHECK((fm()->fileExistsAtPath(deep, &isDir) && isDir));
    // An existing directory is fine with intermediates, an error without.
    CHECK(fm()->createDirectoryAtPath(deep, true));
    CHECK_FALSE(fm()->createDirectoryAtPath(deep, false, {}, &error));
    REQUIRE(error);
    CHECK(error->code() == NSFileWriteFileExistsError);
    // A file in the way is an error either way.
    std::string file = home.path() + "/file";
    REQUIRE(fm()->createFileAtPath(file, Data{}));
    error.reset();
    CHECK_FALSE(fm()->createDirectoryAtPath(file, true, {}, &error));
    REQUIRE(error);
    CHECK(error->code() == NSFileWriteFileExistsError);
    CHECK_FALSE(fm()->createDirectoryAtPath(file + "/below", true));
    // Permissions from the attributes.
    std::string locked = home.path() + "/locked";
    REQUIRE(fm()->createDirectoryAtPath(locked, false, Value{{NSFilePosixPermissions, 0700}}));
    CHECK(fm()->attributesOfItemAtPath(locked)[NSFilePosixPermissions].integerValue() == 0700);
}

TEST_CASE("creating reading and replacing files") {
    testsupport::TempHome home;
    std::string path = home.path() + "/data.bin";
    Data bytes = randomBytes(1000, 1);
    REQUIRE(fm()->createFileAtPath(path, bytes));
    CHECK(fm()->contentsAtPath(path) == bytes);
    REQUIRE(fm()->createFileAtPath(path, std::nullopt));  // replaced by an empty file
    auto empty = fm()->contentsAtPath(path);
    REQUIRE(empty);
    CHECK(empty->empty());
    CHECK_FALSE(fm()->contentsAtPath(home.path() + "/missing"));
    CHECK_FALSE(fm()->contentsAtPath(home.path()));  // a directory has no contents
    CHECK_FALSE(fm()->createFileAtPath(home.path() + "/no/such/dir/file", bytes));
    // No temporary files are left beside the file.
    CHECK(fm()->contentsOfDirectoryAtPath(home.path()) == std::vector<std::string>{"data.bin"});
}

TEST_CASE("removing items reports a missing item and removes whole trees") {
    testsupport::TempHome home;
    NSErrorPtr error;
    CHECK_FALSE(fm()->removeItemAtPath(home.path() + "/missing", &error));
    REQUIRE(error);
    CHECK(error->domain() == NSCocoaErrorDomain);
    CHECK(error->code() == NSFileNoSuchFileError);
    CHECK(underlyingCode(error) == ENOENT);
    CHECK(error->userInfo()[NSFilePathErrorKey] == Value(home.path() + "/missing"));

    std::string tree = home.path() + "/tree";
    REQUIRE(fm()->createDirectoryAtPath(tree + "/x/y", true));
    REQUIRE(fm()->createFileAtPath(tree + "/x/y/f", dataFromString("f")));
    REQUIRE(fm()->createFileAtPath(tree + "/g", dataFromString("g")));
    CHECK(fm()->removeItemAtPath(tree));
    CHECK_FALSE(fm()->fileExistsAtPath(tree));
}

TEST_CASE("copying a multi megabyte file streams it intact") {
    testsupport::TempHome home;
    std::string src = home.path() + "/movie.mp4";
    std::string dst = home.path() + "/copy.mp4";
    // Larger than the copy chunk and not a multiple of it.
    Data bytes = randomBytes(5 * 1024 * 1024 + 12345, 7);
    REQUIRE(writeToFile(bytes, src, false));
    REQUIRE(::chmod(src.c_str(), 0640) == 0);
    NSErrorPtr error;
    REQUIRE(fm()->copyItemAtPath(src, dst, &error));
    CHECK_FALSE(error);
    CHECK(fm()->contentsEqualAtPath(src, dst));
    auto attrs = fm()->attributesOfItemAtPath(dst);
    CHECK(attrs[NSFileSize].unsignedLongLongValue() == bytes.size());
    CHECK(attrs[NSFilePosixPermissions].integerValue() == 0640);
    CHECK(attrs[NSFileModificationDate] == fm()->attributesOfItemAtPath(src)[NSFileModificationDate]);
}

TEST_CASE("copying refuses an existing destination and a missing source") {
    testsupport::TempHome home;
    std::string src = home.path() + "/a";
    std::string dst = home.path() + "/b";
    REQUIRE(fm()->createFileAtPath(src, dataFromString("new")));
    REQUIRE(fm()->createFileAtPath(dst, dataFromString("old")));
    NSErrorPtr error;
    CHECK_FALSE(fm()->copyItemAtPath(src, dst, &error));
    REQUIRE(error);
    CHECK(error->code() == NSFileWriteFileExistsError);
    CHECK(fm()->contentsAtPath(dst) == dataFromString("old"));

    error.reset();
    CHECK_FALSE(fm()->copyItemAtPath(home.path() + "/missing", home.path() + "/c", &error));
    REQUIRE(error);
    CHECK(error->code() == NSFileReadNoSuchFileError);
    CHECK_FALSE(fm()->fileExistsAtPath(home.path() + "/c"));
}

TEST_CASE("copying a directory copies the tree") {
    testsupport::TempHome home;
    std::string src = home.path() + "/src";
    REQUIRE(fm()->createDirectoryAtPath(src + "/sub", true));
    REQUIRE(fm()->createFileAtPath(src + "/one", dataFromString("1")));
    REQUIRE(fm()->createFileAtPath(src + "/sub/two", dataFromString("2")));
    REQUIRE(fm()->copyItemAtPath(src, home.path() + "/dst"));
    CHECK(fm()->contentsAtPath(home.path() + "/dst/one") == dataFromString("1"));
    CHECK(fm()->contentsAtPath(home.path() + "/dst/sub/two") == dataFromString("2"));
    CHECK(fm()->contentsOfDirectoryAtPath(home.path() + "/dst") == std::vector<std::string>{"one", "sub"});
    // Not into itself.
    NSErrorPtr error;
    CHECK_FALSE(fm()->copyItemAtPath(src, src + "/sub/inner", &error));
    CHECK(error);
    CHECK_FALSE(fm()->fileExistsAtPath(src + "/sub/inner"));
}

TEST_CASE("moving renames and refuses an existing destination") {
    testsupport::TempHome home;
    std::string a = home.path() + "/a", b = home.path() + "/b", c = home.path() + "/c";
    REQUIRE(fm()->createFileAtPath(a, dataFromString("A")));
    REQUIRE(fm()->createFileAtPath(c, dataFromString("C")));
    CHECK(fm()->moveItemAtPath(a, b));
    CHECK_FALSE(fm()->fileExistsAtPath(a));
    CHECK(fm()->contentsAtPath(b) == dataFromString("A"));
    NSErrorPtr error;
    CHECK_FALSE(fm()->moveItemAtPath(b, c, &error));
    REQUIRE(error);
    CHECK(error->code() == NSFileWriteFileExistsError);
    CHECK(fm()->contentsAtPath(b) == dataFromString("A"));
    CHECK(fm()->contentsAtPath(c) == dataFromString("C"));
    error.reset();
    CHECK_FALSE(fm()->moveItemAtPath(a, home.path() + "/d", &error));
    REQUIRE(error);
    CHECK(error->code() == NSFileNoSuchFileError);
}

TEST_CASE("item attributes give size type and modification date") {
    testsupport::TempHome home;
    std::string path = home.path() + "/f";
    REQUIRE(fm()->createFileAtPath(path, Data(777, 'x')));
    struct timespec times[2] = {{1600000000, 0}, {1600000000, 500000000}};
    REQUIRE(::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0);
    auto attrs = fm()->attributesOfItemAtPath(path);
    CHECK(attrs[NSFileSize].unsignedLongLongValue() == 777);
    CHECK(attrs[NSFileType] == Value(NSFileTypeRegular));
    CHECK(attrs[NSFileModificationDate].date() == Date{1600000000.5});
    CHECK(fm()->attributesOfItemAtPath(home.path())[NSFileType] == Value(NSFileTypeDirectory));
    REQUIRE(::symlink(path.c_str(), (home.path() + "/link").c_str()) == 0);
    CHECK(fm()->attributesOfItemAtPath(home.path() + "/link")[NSFileType] == Value(NSFileTypeSymbolicLink));
    NSErrorPtr error;
    CHECK(fm()->attributesOfItemAtPath(home.path() + "/missing", &error).isNull());
    REQUIRE(error);
    CHECK(error->code() == NSFileReadNoSuchFileError);
}

TEST_CASE("file system attributes give total and free space") {
    testsupport::TempHome home;
    auto attrs = fm()->attributesOfFileSystemForPath(home.path());
    REQUIRE(attrs.isDictionary());
    auto total = attrs[NSFileSystemSize].unsignedLongLongValue();
    auto free = attrs[NSFileSystemFreeSize].unsignedLongLongValue();
    CHECK(total > 0);
    CHECK(free <= total);
    // Same file system, same total, whichever path inside it is asked about.
    CHECK(fm()->attributesOfFileSystemForPath(AppHome::documents())[NSFileSystemSize].unsignedLongLongValue() ==
          total);
    // The free figure is what an unprivileged user may use: at most the blocks free to root.
    struct statvfs fs {};
    REQUIRE(::statvfs(home.path().c_str(), &fs) == 0);
    CHECK(free <= static_cast<unsigned long long>(fs.f_bfree) * fs.f_frsize);
    NSErrorPtr error;
    CHECK(fm()->attributesOfFileSystemForPath(home.path() + "/missing", &error).isNull());
    CHECK(error);
}

TEST_CASE("directory contents are sorted names without dot entries") {
    testsupport::TempHome home;
    std::string dir = home.path() + "/list";
    REQUIRE(fm()->createDirectoryAtPath(dir, false));
    for (const char* name : {"b", "a", ".hidden", "c.mp4"}) REQUIRE(fm()->createFileAtPath(dir + "/" + name, Data{}));
    CHECK(fm()->contentsOfDirectoryAtPath(dir) == std::vector<std::string>{".hidden", "a", "b", "c.mp4"});
    NSErrorPtr error;
    CHECK_FALSE(fm()->contentsOfDirectoryAtPath(dir + "/missing", &error));
    REQUIRE(error);
    CHECK(error->code() == NSFileReadNoSuchFileError);
}

TEST_CASE("standard directories lie in the application home") {
    testsupport::TempHome home;
    auto docs = fm()->URLsForDirectory(NSDocumentDirectory, NSUserDomainMask);
    REQUIRE(docs.size() == 1);
    CHECK(docs[0]->isFileURL());
    CHECK(docs[0]->hasDirectoryPath());
    CHECK(docs[0]->path() == home.path() + "/Documents");
    CHECK(fm()->URLsForDirectory(NSCachesDirectory, NSUserDomainMask)[0]->path() == home.path() + "/Library/Caches");
    CHECK(fm()->URLsForDirectory(NSLibraryDirectory, NSUserDomainMask)[0]->path() == home.path() + "/Library");
    CHECK(fm()->URLsForDirectory(NSDocumentDirectory, NSSystemDomainMask).empty());
    CHECK(NSSearchPathForDirectoriesInDomains(NSDocumentDirectory, NSUserDomainMask) ==
          std::vector<std::string>{home.path() + "/Documents"});
    CHECK(NSSearchPathForDirectoriesInDomains(NSCachesDirectory, NSAllDomainsMask) ==
          std::vector<std::string>{home.path() + "/Library/Caches"});
    bool isDir = false;
    CHECK((fm()->fileExistsAtPath(home.path() + "/Documents", &isDir) && isDir));
    CHECK(NSHomeDirectory() == home.path());
    CHECK(NSTemporaryDirectory() == home.path() + "/tmp/");
    CHECK((fm()->fileExistsAtPath(NSTemporaryDirectory(), &isDir) && isDir));
}

TEST_CASE("atomic writes replace the file keep its mode and leave nothing behind") {
    testsupport::TempHome home;
    std::string dir = home.path() + "/w";
    REQUIRE(fm()->createDirectoryAtPath(dir, false));
    std::string path = dir + "/f";
    REQUIRE(writeToFile(dataFromString("one"), path, true, nullptr, 0600));
    CHECK(fm()->attributesOfItemAtPath(path)[NSFilePosixPermissions].integerValue() == 0600);
    REQUIRE(::chmod(path.c_str(), 0640) == 0);
    REQUIRE(writeToFile(dataFromString("two"), path, true));
    CHECK(fm()->contentsAtPath(path) == dataFromString("two"));
    CHECK(fm()->attributesOfItemAtPath(path)[NSFilePosixPermissions].integerValue() == 0640);
    // A failing write (a directory in the way) reports an error and cleans up.
    REQUIRE(fm()->createDirectoryAtPath(dir + "/blocked", false));
    NSErrorPtr error;
    CHECK_FALSE(writeToFile(dataFromString("x"), dir + "/blocked", true, &error));
    CHECK(error);
    CHECK(fm()->contentsOfDirectoryAtPath(dir) == std::vector<std::string>{"blocked", "f"});
    error.reset();
    CHECK_FALSE(dataWithContentsOfFile(dir + "/missing", &error));
    REQUIRE(error);
    CHECK(error->code() == NSFileReadNoSuchFileError);
}

TEST_CASE("file handles append read in pieces and fail after closing") {
    testsupport::TempHome home;
    std::string path = home.path() + "/partial.mp4";
    REQUIRE(fm()->createFileAtPath(path, dataFromString("0123")));
    NSErrorPtr error;
    CHECK_FALSE(NSFileHandle::fileHandleForWritingAtPath(home.path() + "/missing", &error));
    REQUIRE(error);
    CHECK(error->code() == NSFileNoSuchFileError);
    CHECK_FALSE(NSFileHandle::fileHandleForReadingAtPath(home.path() + "/missing"));

    auto writer = NSFileHandle::fileHandleForWritingAtPath(path);
    REQUIRE(writer);
    CHECK(writer->seekToEndOfFile() == 4);
    CHECK(writer->writeData(dataFromString("4567")));
    CHECK(writer->offsetInFile() == 8);
    CHECK(writer->writeData(dataFromString("89")));
    CHECK(writer->synchronizeFile());
    writer->closeFile();
    CHECK_FALSE(writer->isOpen());
    error.reset();
    CHECK_FALSE(writer->writeData(dataFromString("x"), &error));
    CHECK(error);
    CHECK(writer->seekToEndOfFile() == UINT64_MAX);

    auto reader = NSFileHandle::fileHandleForReadingAtPath(path);
    REQUIRE(reader);
    CHECK(reader->readDataOfLength(3) == dataFromString("012"));
    CHECK(reader->readDataOfLength(3) == dataFromString("345"));
    CHECK(reader->seekToFileOffset(8));
    CHECK(reader->readDataOfLength(100) == dataFromString("89"));
    CHECK(reader->readDataOfLength(100).empty());
    CHECK(reader->seekToFileOffset(0));
    CHECK(reader->readDataToEndOfFile() == dataFromString("0123456789"));

    auto updater = NSFileHandle::fileHandleForUpdatingAtPath(path);
    REQUIRE(updater);
    CHECK(updater->truncateFileAtOffset(5));
    CHECK(updater->writeData(dataFromString("!")));
    updater->closeFile();
    CHECK(fm()->contentsAtPath(path) == dataFromString("01234!"));
}
