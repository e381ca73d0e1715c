// The download side of a session task's load: the temporary file under the
// app home's tmp/, going on from resume data (Range and If-Range, kept only
// when the server answers 206 at the offset asked for, else started over) and
// making resume data for a download that stopped.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/foundation/AppHome.h"
#include "platform/net/NSURLSessionLoad.h"

namespace {

constexpr const char* kResumeKind = "NSURLSessionResumeData";

// The first byte position of "bytes a-b/c"; nullopt when it does not parse.
std::optional<std::int64_t> contentRangeStart(const std::shared_ptr<NSHTTPURLResponse>& response) {
    if (!response) return std::nullopt;
    auto value = response->valueForHTTPHeaderField("Content-Range");
    if (!value) return std::nullopt;
    std::string_view v = trimmedHTTPWhitespace(*value);
    if (v.substr(0, 6) != "bytes ") return std::nullopt;
    v.remove_prefix(6);
    std::int64_t start = 0;
    std::size_t i = 0;
    for (; i < v.size() && v[i] >= '0' && v[i] <= '9' && i < 18; ++i) start = start * 10 + (v[i] - '0');
    if (i == 0 || i >= v.size() || v[i] != '-') return std::nullopt;
    return start;
}

// What If-Range may name: a strong entity tag, else a Last-Modified date.
std::string validatorOf(const std::shared_ptr<NSHTTPURLResponse>& response) {
    if (!response) return {};
    if (auto etag = response->valueForHTTPHeaderField("ETag")) {
        std::string tag(trimmedHTTPWhitespace(*etag));
        if (!tag.empty() && tag.rfind("W/", 0) != 0) return tag;
    }
    if (auto date = response->valueForHTTPHeaderField("Last-Modified")) return std::string(trimmedHTTPWhitespace(*date));
    return {};
}

std::int64_t fileSize(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) ? static_cast<std::int64_t>(info.st_size) : -1;
}

}  // namespace

std::optional<NSURLSessionLoad::Resume> NSURLSessionLoad::parseResumeData(const Data& data) {
    auto value = Value::fromJSON(std::string_view(reinterpret_cast<const char*>(data.data()), data.size()));
    if (!value || (*value)["kind"].stringValue() != kResumeKind) return std::nullopt;
    Resume resume;
    resume.URL = (*value)["URL"].stringValue();
    resume.validator = (*value)["validator"].stringValue();
    resume.offset = (*value)["offset"].integerValue();
    resume.file = (*value)["file"].stringValue();
    if (auto headers = (*value)["headers"].dictionaryRef())
        for (const auto& [name, field] : *headers) resume.headers[name] = field.stringValue();
    if (resume.URL.empty() || resume.offset < 0) return std::nullopt;
    return resume;
}

std::optional<Data> NSURLSessionLoad::makeResumeData() const {
    if (!isDownload() || written_ <= 0 || validator_.empty() || path_.empty() || request_->HTTPMethod() != "GET")
        return std::nullopt;
    if (file_ && std::fflush(file_) != 0) return std::nullopt;
    Value headers = Value::dictionary();
    for (const auto& [name, value] : request_->allHTTPHeaderFields())
        if (!equalsIgnoringASCIICase(name, "Range") && !equalsIgnoringASCIICase(name, "If-Range"))
            headers.setObject(name, value);
    Value resume = Value::dictionary();
    resume.setObject("kind", kResumeKind);
    resume.setObject("URL", responseURL_.empty() ? request_->URL() : responseURL_);
    resume.setObject("headers", headers);
    resume.setObject("validator", validator_);
    resume.setObject("offset", written_);
    resume.setObject("file", path_);
    auto json = resume.toJSON();
    if (!json) return std::nullopt;
    return Data(json->begin(), json->end());
}

bool NSURLSessionLoad::openFile() {
    if (resume_) {
        resume_->offset = std::max<std::int64_t>(resume_->offset, 0);
        // The partial file must still be there, whole, with a validator to check it against.
        if (resume_->offset > 0 && !resume_->validator.empty() && fileSize(resume_->file) == resume_->offset) {
            if ((file_ = std::fopen(resume_->file.c_str(), "r+b")) && std::fseek(file_, 0, SEEK_END) == 0) {
                path_ = resume_->file;
                written_ = resume_->offset;
                validator_ = resume_->validator;
                auto ranged = request_->mutableCopy();
                ranged->setValue("bytes=" + std::to_string(resume_->offset) + "-", "Range");
                ranged->setValue(resume_->validator, "If-Range");
                request_ = ranged;
                resumeAnswered_ = false;
                return true;
            }
            if (file_) std::fclose(file_);
            file_ = nullptr;
        }
        resume_->offset = 0;
        resumeAnswered_ = false;
    }
    std::string pattern = AppHome::tmp() + "/CFNetworkDownload_XXXXXX.tmp";
    int fd = ::mkstemps(pattern.data(), 4);
    if (fd < 0 || !(file_ = ::fdopen(fd, "w+b"))) {
        const int err = errno;
        if (fd >= 0) ::close(fd);
        finish(NSError::posix(err, pattern));
        return false;
    }
    path_ = pattern;
    return true;
}

void NSURLSessionLoad::downloadResponse(const NSURLConnectionPtr& c, const std::shared_ptr<NSURLResponse>& response) {
    auto http = std::dynamic_pointer_cast<NSHTTPURLResponse>(response);
    const long status = http ? http->statusCode() : 200;
    const std::int64_t length = response->expectedContentLength();
    std::optional<std::int64_t> resumedAt;
    bool append = false;
    if (!resumeAnswered_) {
        resumeAnswered_ = true;
        const std::int64_t offset = resume_ ? resume_->offset : 0;
        if (offset > 0 && status == 206 && contentRangeStart(http) == offset) {
            append = true;
            resumedAt = offset;
        } else if (offset > 0 && (status == 206 || status == 416)) {
            return restartWithoutRange();  // a part we did not ask for: start over
        } else {
            resumedAt = 0;
        }
    }
    if (!append) {
        // The answer is the whole resource: the file starts over.
        written_ = 0;
        if (std::fflush(file_) != 0 || ::ftruncate(::fileno(file_), 0) != 0 || std::fseek(file_, 0, SEEK_SET) != 0) {
            const int err = errno;
            c->cancel();
            connection_.reset();
            closeFile(false);
            return finish(NSError::posix(err, path_));
        }
    }
    expectedTotal_ = length >= 0 ? written_ + length : NSURLSessionTransferSizeUnknown;
    if (std::string validator = validatorOf(http); !validator.empty() || !append) validator_ = validator;
    responseURL_ = response->URL();
    auto session = session_;
    auto task = std::static_pointer_cast<NSURLSessionDownloadTask>(task_);
    const std::int64_t total = expectedTotal_;
    session->enqueueDelegateCall([session, task, response, length, resumedAt, total] {
        task->setResponse(response);
        task->setBytesReceived(0, length);
        if (!resumedAt) return;
        if (auto d = std::dynamic_pointer_cast<NSURLSessionDownloadDelegate>(session->delegate()))
            d->URLSessionDownloadTaskDidResumeAtOffset(session, task, *resumedAt, total);
    });
}

void NSURLSessionLoad::restartWithoutRange() {
    connection_->cancel();
    connection_.reset();
    auto plain = request_->mutableCopy();
    plain->setValue(std::nullopt, "Range");
    plain->setValue(std::nullopt, "If-Range");
    request_ = plain;
    resume_->offset = 0;
    resumeAnswered_ = false;
    startConnection();
}

bool NSURLSessionLoad::write(const Data& data) {
    if (data.empty() || std::fwrite(data.data(), 1, data.size(), file_) == data.size()) {
        written_ += static_cast<std::int64_t>(data.size());
        return true;
    }
    const int err = errno;
    if (connection_) connection_->cancel();
    connection_.reset();
    closeFile(false);
    finish(NSError::posix(err, path_));
    return false;
}

void NSURLSessionLoad::closeFile(bool keep) {
    if (file_) {
        // A file that could not be written out whole is no download.
        if (std::fclose(file_) != 0) keep = false;
        file_ = nullptr;
    }
    if (!keep && !path_.empty()) {
        (void)std::remove(path_.c_str());  // gone already is as good
        path_.clear();
    }
}
