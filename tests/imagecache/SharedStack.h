#pragma once
// The process-wide image manager (with its shared cache and downloader) lives
// for the whole test process, so it gets a home of its own that outlives the
// per-test homes and is removed when the process ends.
#include <cstdlib>
#include <filesystem>
#include <string>

#include "imagecache/RIWebImageManager.h"

namespace imagetests {

inline std::shared_ptr<RIWebImageManager> sharedStack() {
    struct Home {
        std::string path;
        Home() {
            std::string pattern = (std::filesystem::temp_directory_path() / "quorvane-images-XXXXXX").string();
            path = ::mkdtemp(pattern.data()) ? pattern : std::string();
            const char* previous = std::getenv("QUORVANE_HOME");
            std::string saved = previous ? previous : "";
            ::setenv("QUORVANE_HOME", path.c_str(), 1);
            RIWebImageManager::sharedManager();  // its cache takes this home's caches folder
            if (previous) ::setenv("QUORVANE_HOME", saved.c_str(), 1);
            else ::unsetenv("QUORVANE_HOME");
        }
        ~Home() {
            // The writes already queued for the shared cache land before its folder goes.
            dispatch_sync(RIWebImageManager::sharedManager()->imageCache()->ioQueue(), [] {});
            std::error_code ec;
            std::filesystem::remove_all(path, ec);
        }
    };
    static Home home;
    auto manager = RIWebImageManager::sharedManager();
    manager->imageCache()->clearMemory();
    return manager;
}

}  // namespace imagetests
