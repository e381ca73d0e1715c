#pragma once
// The stored record of one video download (entity "MoviesDownloadModel").
#include <memory>
#include <string>

#include "platform/coredata/NSManagedObject.h"

class MoviesDownloadModel : public NSManagedObject {
public:
    MoviesDownloadModel() = default;
    // Makes the store create this class for the entity's objects (once per process).
    static void registerClass();

    std::string title() const { return valueForKey("title").stringValue(); }
    void setTitle(const std::string& v) { setValueForKey("title", v); }
    std::string linkUrl() const { return valueForKey("linkUrl").stringValue(); }
    void setLinkUrl(const std::string& v) { setValueForKey("linkUrl", v); }
    float percentDownload() const { return valueForKey("percentDownload").floatValue(); }
    void setPercentDownload(float v) { setValueForKey("percentDownload", v); }
    float byteDownloading() const { return valueForKey("byteDownloading").floatValue(); }
    void setByteDownloading(float v) { setValueForKey("byteDownloading", v); }
    float byteDownload() const { return valueForKey("byteDownload").floatValue(); }
    void setByteDownload(float v) { setValueForKey("byteDownload", v); }
    bool isDownload() const { return valueForKey("isDownload").boolValue(); }
    void setIsDownload(bool v) { setValueForKey("isDownload", v); }
    // The finished file's full path.
    std::string linkLocal() const { return valueForKey("linkLocal").stringValue(); }
    void setLinkLocal(const std::string& v) { setValueForKey("linkLocal", v); }
};
