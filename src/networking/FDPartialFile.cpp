#include "networking/FDPartialFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/foundation/NSData.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/Value.h"

std::optional<FDResumeValidators> FDResumeValidators::fromResponse(const std::string& url,
                                                                  const NSHTTPURLResponse& response) {
    FDResumeValidators validators;
    validators.url = url;
    if (auto etag = response.valueForHTTPHeaderField("ETag"); etag && !etag->empty() && etag->rfind("W/", 0) != 0)
        validators.etag = *etag;
    if (auto date = response.valueForHTTPHeaderField("Last-Modified"); date && !date->empty())
        validators.lastModified = *date;
    if (!validators.etag && !validators.lastModified) return std::nullopt;
    return validators;
}

std::optional<FDContentRange> FDContentRange::parse(const std::string& value) {
    std::string v = value;
    auto pos = v.find_first_not_of(" \t");
    if (pos == std::string::npos || v.compare(pos, 5, "bytes") != 0) return std::nullopt;
    v = v.substr(pos + 5);
    pos = v.find_first_not_of(" \t");
    if (pos == std::string::npos) return std::nullopt;
    v = v.substr(pos);
    auto slash = v.find('/');
    if (slash == std::string::npos) return std::nullopt;
    FDContentRange range;
    std::string span = v.substr(0, slash);
    std::string total = v.substr(slash + 1);
    if (total != "*") {
        char* end = nullptr;
        long long n = std::strtoll(total.c_str(), &end, 10);
        if (end == total.c_str() || n < 0) return std::nullopt;
        range.length = n;
    }
    if (span != "*") {
        auto dash = span.find('-');
        if (dash == std::string::npos || dash == 0) return std::nullopt;
        char* end = nullptr;
        unsigned long long first = std::strtoull(span.c_str(), &end, 10);
        if (end != span.c_str() + dash) return std::nullopt;
        range.first = first;
    }
    return range;
}

namespace FDPartialFile {

std::optional<std::uint64_t> sizeOfFile(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    return static_cast<std::uint64_t>(st.st_size);
}

std::string sidePath(const std::string& pathToFile) {
    auto slash = pathToFile.rfind('/');
    std::string dir = slash == std::string::npos ? std::string() : pathToFile.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? pathToFile : pathToFile.substr(slash + 1);
    return dir + "." + name + ".resume";
}

std::optional<FDResumeValidators> readValidators(const std::string& pathToFile, const std::string& url) {
    auto bytes = dataWithContentsOfFile(sidePath(pathToFile));
    if (!bytes) return std::nullopt;
    auto parsed = Value::fromJSON(std::string(bytes->begin(), bytes->end()));
    if (!parsed || !parsed->isDictionary() || (*parsed)["url"].stringValue() != url) return std::nullopt;
    FDResumeValidators validators;
    validators.url = url;
    const Value etag = (*parsed)["etag"];
    const Value date = (*parsed)["lastModified"];
    if (etag.isString() && !etag.string()->empty()) validators.etag = *etag.string();
    if (date.isString() && !date.string()->empty()) validators.lastModified = *date.string();
    if (!validators.ifRange()) return std::nullopt;
    return validators;
}

void keepValidators(const std::string& pathToFile, const std::optional<FDResumeValidators>& validators) {
    if (!validators) {
        removeValidators(pathToFile);
        return;
    }
    Value record = Value::dictionary();
    record.setObject("url", validators->url);
    if (validators->etag) record.setObject("etag", *validators->etag);
    if (validators->lastModified) record.setObject("lastModified", *validators->lastModified);
    auto text = record.toJSON();
    NSErrorPtr error;
    if (!text || !writeToFile(Data(text->begin(), text->end()), sidePath(pathToFile), true, &error))
        NSLog("The resume validators of %@ could not be kept: %@", pathToFile,
              error ? error->localizedDescription() : std::string("not representable"));
}

void removeValidators(const std::string& pathToFile) {
    // Nothing to do when there is none; any other failure leaves a stale side
    // file that the next fresh start replaces.
    (void)::unlink(sidePath(pathToFile).c_str());
}

}  // namespace FDPartialFile
