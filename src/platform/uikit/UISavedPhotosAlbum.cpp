#include "platform/uikit/UISavedPhotosAlbum.h"

#include <mutex>

#include "platform/dispatch/Dispatch.h"
#include "platform/foundation/ProcessLifetime.h"

namespace {
struct Album {
    std::mutex mutex;
    std::vector<UIImagePtr> images;
    bool writesFail = false;
};
Album& album() {
    static ProcessLifetime<Album> holder;
    return *holder;
}
}  // namespace

void UIImageWriteToSavedPhotosAlbum(const UIImagePtr& image, UIImageWriteCompletion completion) {
    NSErrorPtr error;
    {
        std::lock_guard lock(album().mutex);
        if (!image) {
            error = NSError::make(UISavedPhotosAlbumErrorDomain, 1, "There is no image to save.");
        } else if (album().writesFail) {
            error = NSError::make(UISavedPhotosAlbumErrorDomain, 2, "The photo album could not be written.");
        } else {
            album().images.push_back(image);
        }
    }
    if (!completion) return;
    dispatch_async(dispatch_get_main_queue(), [completion = std::move(completion), error] { completion(error); });
}

std::vector<UIImagePtr> UISavedPhotosAlbum::images() {
    std::lock_guard lock(album().mutex);
    return album().images;
}

void UISavedPhotosAlbum::setWritesFail(bool fail) {
    std::lock_guard lock(album().mutex);
    album().writesFail = fail;
}

void UISavedPhotosAlbum::resetForTesting() {
    std::lock_guard lock(album().mutex);
    album().images.clear();
    album().writesFail = false;
}
