#pragma once
// The saved-photos album: a recording stand-in. A write keeps the image in the
// album (tests read it) and calls the completion on the main queue with no
// error, or with an error when tests made writes fail or the image is null.
// Any thread may write; the completion always runs on the main queue.
#include <functional>
#include <vector>

#include "platform/foundation/NSError.h"
#include "platform/uikit/UIImage.h"

inline constexpr const char* UISavedPhotosAlbumErrorDomain = "UISavedPhotosAlbumErrorDomain";

using UIImageWriteCompletion = std::function<void(const NSErrorPtr& error)>;
void UIImageWriteToSavedPhotosAlbum(const UIImagePtr& image, UIImageWriteCompletion completion);

class UISavedPhotosAlbum {
public:
    // The images written so far, oldest first.
    static std::vector<UIImagePtr> images();
    // Makes later writes fail (as a refused permission or a full device would).
    static void setWritesFail(bool fail);
    // Empties the album and lets writes succeed again.
    static void resetForTesting();
};
