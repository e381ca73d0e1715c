#include "platform/foundation/UTType.h"

#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <vector>

#include "platform/foundation/NSString.h"

namespace {

struct KnownType {
    const char* identifier;
    const char* mimeType;
    std::vector<const char*> extensions;  // the first is the preferred one
};

// The types the platform knows by name; everything else goes through the list.
const std::vector<KnownType>& knownTypes() {
    static const std::vector<KnownType> types = {
        {"public.png", "image/png", {"png"}},
        {"public.jpeg", "image/jpeg", {"jpeg", "jpg", "jpe"}},
        {"com.compuserve.gif", "image/gif", {"gif"}},
        {"public.tiff", "image/tiff", {"tiff", "tif"}},
        {"org.webmproject.webp", "image/webp", {"webp"}},
        {"com.microsoft.bmp", "image/bmp", {"bmp"}},
        {"public.plain-text", "text/plain", {"txt", "text"}},
        {"public.html", "text/html", {"html", "htm"}},
        {"public.xml", "application/xml", {"xml"}},
        {"public.json", "application/json", {"json"}},
        {"public.comma-separated-values-text", "text/csv", {"csv"}},
        {"com.adobe.pdf", "application/pdf", {"pdf"}},
        {"public.zip-archive", "application/zip", {"zip"}},
        {"org.gnu.gnu-zip-archive", "application/gzip", {"gz", "gzip"}},
        {"public.mpeg-4", "video/mp4", {"mp4"}},
        {"public.quicktime-movie", "video/quicktime", {"mov", "qt"}},
        {"public.mpeg-2-transport-stream", "video/mp2t", {"ts"}},
        {"public.mp3", "audio/mpeg", {"mp3"}},
        {"public.mpeg-4-audio", "audio/mp4", {"m4a"}},
        {"com.microsoft.waveform-audio", "audio/wav", {"wav"}},
        {"public.property-list", "application/x-plist", {"plist"}},
    };
    return types;
}

std::mutex gMutex;
std::optional<std::string> gMediaTypesPath;
std::optional<std::map<std::string, std::string>> gMediaTypes;  // extension -> MIME type

const std::map<std::string, std::string>& mediaTypes() {
    if (gMediaTypes) return *gMediaTypes;
    gMediaTypes.emplace();
    std::ifstream in(gMediaTypesPath.value_or("/etc/mime.types"));
    std::string line;
    while (std::getline(in, line)) {
        auto hash = line.find('#');
        if (hash != std::string::npos) line.erase(hash);
        std::istringstream words(line);
        std::string type, extension;
        if (!(words >> type)) continue;
        while (words >> extension) gMediaTypes->emplace(lowercaseString(extension), type);  // first listing wins
    }
    return *gMediaTypes;
}

constexpr std::string_view kDynamicPrefix = "dyn.ext.";

}  // namespace

std::optional<std::string> UTTypeCreatePreferredIdentifierForTag(const std::string& tagClass, const std::string& tag,
                                                                 const std::optional<std::string>&) {
    if (tag.empty()) return std::nullopt;
    if (tagClass == kUTTagClassFilenameExtension) {
        auto extension = lowercaseString(tag);
        for (const auto& type : knownTypes())
            for (const char* e : type.extensions)
                if (extension == e) return std::string(type.identifier);
        return std::string(kDynamicPrefix) + extension;
    }
    if (tagClass == kUTTagClassMIMEType) {
        auto mime = lowercaseString(tag);
        for (const auto& type : knownTypes())
            if (mime == type.mimeType) return std::string(type.identifier);
        std::lock_guard lock(gMutex);
        for (const auto& [extension, type] : mediaTypes())
            if (type == mime) return std::string(kDynamicPrefix) + extension;
        return std::nullopt;
    }
    return std::nullopt;
}

std::optional<std::string> UTTypeCopyPreferredTagWithClass(const std::string& identifier, const std::string& tagClass) {
    for (const auto& type : knownTypes()) {
        if (identifier != type.identifier) continue;
        if (tagClass == kUTTagClassMIMEType) return std::string(type.mimeType);
        if (tagClass == kUTTagClassFilenameExtension) return std::string(type.extensions.front());
        return std::nullopt;
    }
    if (!hasPrefix(identifier, kDynamicPrefix)) return std::nullopt;
    auto extension = identifier.substr(kDynamicPrefix.size());
    if (tagClass == kUTTagClassFilenameExtension) return extension;
    if (tagClass != kUTTagClassMIMEType) return std::nullopt;
    std::lock_guard lock(gMutex);
    const auto& types = mediaTypes();
    auto it = types.find(extension);
    if (it == types.end()) return std::nullopt;
    return it->second;
}

void UTTypeSetMediaTypesPath(std::optional<std::string> path) {
    std::lock_guard lock(gMutex);
    gMediaTypesPath = std::move(path);
    gMediaTypes.reset();
}
