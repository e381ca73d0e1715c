#include "platform/media/MPMoviePlayerController.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <optional>

#include "platform/dispatch/Dispatch.h"
#include "platform/foundation/HexString.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/runloop/NSThread.h"

namespace {
std::string lowerScheme(const std::string& url) {
    auto colon = url.find(':');
    if (colon == std::string::npos || colon == 0) return {};
    std::string scheme = url.substr(0, colon);
    for (char& c : scheme) {
        unsigned char u = static_cast<unsigned char>(c);
        if (!std::isalnum(u) && c != '+' && c != '-' && c != '.') return {};
        c = static_cast<char>(std::tolower(u));
    }
    return scheme;
}

// The path of a file URL with its percent escapes removed; nullopt when the URL
// names another host or its escapes are malformed.
std::optional<std::string> filePath(const std::string& url) {
    std::string rest = url.substr(url.find(':') + 1);
    if (rest.rfind("//", 0) == 0) {
        auto slash = rest.find('/', 2);
        std::string host = rest.substr(2, slash == std::string::npos ? std::string::npos : slash - 2);
        if (!host.empty() && host != "localhost") return std::nullopt;
        rest = slash == std::string::npos ? std::string() : rest.substr(slash);
    }
    if (auto q = rest.find_first_of("?#"); q != std::string::npos) rest.resize(q);
    std::string out;
    for (std::size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] != '%') {
            out += rest[i];
            continue;
        }
        if (i + 2 >= rest.size()) return std::nullopt;
        int hi = hexDigitValue(rest[i + 1]), lo = hexDigitValue(rest[i + 2]);
        if (hi < 0 || lo < 0) return std::nullopt;
        char decoded = static_cast<char>(hi * 16 + lo);
        if (decoded == '\0') return std::nullopt;
        out += decoded;
        i += 2;
    }
    if (out.empty() || out[0] != '/') return std::nullopt;
    return out;
}

NSErrorPtr urlError(long code, const std::string& description, const std::string& url) {
    return NSError::errorWithDomain(NSURLErrorDomain, code,
                                    Value{{NSLocalizedDescriptionKey, description},
                                          {NSURLErrorFailingURLStringErrorKey, url}});
}

constexpr long kUnsupportedURL = -1002;
constexpr long kZeroByteResource = -1014;
}  // namespace

MPMoviePlayerController::MPMoviePlayerController(std::string contentURL) : contentURL_(std::move(contentURL)) {}

std::shared_ptr<MPMoviePlayerController> MPMoviePlayerController::initWithContentURL(const std::string& url) {
    return std::make_shared<MPMoviePlayerController>(url);
}

MPMoviePlayerController::~MPMoviePlayerController() = default;

void MPMoviePlayerController::setContentURL(const std::string& url) {
    stop();
    prepared_ = false;
    setLoadState(MPMovieLoadStateUnknown);
    contentURL_ = url;
}

void MPMoviePlayerController::prepareToPlay() {
    if (!prepared_ && !opening_) startOpening();
}

void MPMoviePlayerController::play() {
    if (prepared_) {
        setPlaybackState(MPMoviePlaybackStatePlaying);
        return;
    }
    playWhenOpened_ = true;
    if (!opening_) startOpening();
}

void MPMoviePlayerController::pause() {
    playWhenOpened_ = false;
    if (playbackState_ == MPMoviePlaybackStatePlaying) setPlaybackState(MPMoviePlaybackStatePaused);
}

void MPMoviePlayerController::stop() {
    ++generation_;
    opening_ = false;
    playWhenOpened_ = false;
    prepared_ = false;
    setPlaybackState(MPMoviePlaybackStateStopped);
}

bool MPMoviePlayerController::finishPlaybackForTesting() {
    if (playbackState_ != MPMoviePlaybackStatePlaying && playbackState_ != MPMoviePlaybackStatePaused) return false;
    setPlaybackState(MPMoviePlaybackStateStopped);
    postDidFinish(MPMovieFinishReasonPlaybackEnded);
    return true;
}

void MPMoviePlayerController::userExit() {
    ++generation_;
    opening_ = false;
    playWhenOpened_ = false;
    setPlaybackState(MPMoviePlaybackStateStopped);
    postDidFinish(MPMovieFinishReasonUserExited);
}

void MPMoviePlayerController::startOpening() {
    opening_ = true;
    ++openCount_;
    auto generation = ++generation_;
    std::weak_ptr<MPMoviePlayerController> weakPlayer = weakSelf<MPMoviePlayerController>();
    auto deliver = [weakPlayer, generation](NSErrorPtr error) {
        dispatch_async(dispatch_get_main_queue(), [weakPlayer, generation, error] {
            if (auto player = weakPlayer.lock()) player->openFinished(generation, error);
        });
    };
    std::string url = contentURL_;
    std::string scheme = lowerScheme(url);
    if (scheme == "file") {
        deliver(openFileSource(url));
    } else if (scheme == "http" || scheme == "https") {
        dispatch_async(dispatch_get_global_queue(DISPATCH_QUEUE_PRIORITY_DEFAULT, 0),
                       [deliver, url] { deliver(openHTTPSource(url, kConnectTimeout)); });
    } else {
        deliver(urlError(kUnsupportedURL, "unsupported URL", url));
    }
}

void MPMoviePlayerController::openFinished(std::uint64_t generation, NSErrorPtr error) {
    if (generation != generation_) return;  // stopped or re-opened meanwhile
    auto keep = self();
    opening_ = false;
    if (error) {
        prepared_ = false;
        playWhenOpened_ = false;
        setLoadState(MPMovieLoadStateUnknown);
        setPlaybackState(MPMoviePlaybackStateStopped);
        postDidFinish(MPMovieFinishReasonPlaybackError, error);
        return;
    }
    prepared_ = true;
    setLoadState(static_cast<MPMovieLoadState>(MPMovieLoadStatePlayable | MPMovieLoadStatePlaythroughOK));
    if (playWhenOpened_) {
        playWhenOpened_ = false;
        setPlaybackState(MPMoviePlaybackStatePlaying);
    }
}

void MPMoviePlayerController::setPlaybackState(MPMoviePlaybackState state) {
    if (state == playbackState_) return;
    playbackState_ = state;
    NSNotificationCenter::defaultCenter()->postNotificationName(MPMoviePlayerPlaybackStateDidChangeNotification, self());
}

void MPMoviePlayerController::setLoadState(MPMovieLoadState state) {
    if (state == loadState_) return;
    loadState_ = state;
    NSNotificationCenter::defaultCenter()->postNotificationName(MPMoviePlayerLoadStateDidChangeNotification, self());
}

void MPMoviePlayerController::postDidFinish(MPMovieFinishReason reason, NSErrorPtr error) {
    Value info = Value::dictionary();
    info.setObject(MPMoviePlayerPlaybackDidFinishReasonUserInfoKey, Value(static_cast<long>(reason)));
    if (error) info.setObject(MPMoviePlayerPlaybackDidFinishErrorUserInfoKey, Value(error));
    auto post = [player = self(), info] {
        NSNotificationCenter::defaultCenter()->postNotificationName(MPMoviePlayerPlaybackDidFinishNotification, player,
                                                                    info);
    };
    if (NSThread::isMainThread()) post();
    else dispatch_async(dispatch_get_main_queue(), post);
}

NSErrorPtr MPMoviePlayerController::openFileSource(const std::string& url) {
    auto path = filePath(url);
    if (!path) return urlError(kUnsupportedURL, "unsupported URL", url);
    int fd = ::open(path->c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return NSError::posix(errno, *path);
    NSErrorPtr error;
    struct stat st {};
    char byte;
    if (::fstat(fd, &st) != 0) {
        error = NSError::posix(errno, *path);
    } else if (S_ISDIR(st.st_mode)) {
        error = NSError::posix(EISDIR, *path);
    } else {
        ssize_t n = ::read(fd, &byte, 1);
        if (n < 0) error = NSError::posix(errno, *path);
        else if (n == 0) error = urlError(kZeroByteResource, "zero byte resource", url);
    }
    ::close(fd);
    return error;
}
