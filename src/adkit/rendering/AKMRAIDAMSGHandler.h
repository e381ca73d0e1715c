#pragma once
// The rich-media message "mraid", dispatched by its parameter "a": "resize"
// (the opener's resize with the size and offset, zero when a key is missing),
// "storePicture" (the picture of "iurl" saved with the user's consent, one
// request per picture at a time) and "createCalendarEvent" (the opener's
// calendar editor with the message parameters). Any other "a" does nothing.
// Main thread only. Own it through a shared_ptr: its pictures report back to it weakly.
#include <map>
#include <memory>
#include <string>

#include "adkit/rendering/AKAMSGHandler.h"
#include "adkit/rendering/AKMRAIDPicture.h"
#include "adkit/rendering/AKOpener.h"

class AKMRAIDAMSGHandler : public AKAMSGHandler, public AKMRAIDPictureDelegate {
public:
    // initWithOpener:
    explicit AKMRAIDAMSGHandler(std::shared_ptr<AKOpener> opener);
    static std::shared_ptr<const ActionSelectorDictionary> actionSelectorDictionary();
    static std::shared_ptr<const ActionSelectorDictionary> subActionSelectorDictionary();

    const std::shared_ptr<AKOpener>& opener() const { return opener_; }
    void setOpener(std::shared_ptr<AKOpener> opener) { opener_ = std::move(opener); }
    // Picture URL to the picture being asked for or downloaded.
    const std::map<std::string, std::shared_ptr<AKMRAIDPicture>>& pendingPictureDownloads() const {
        return pendingPictureDownloads_;
    }

    void didReceiveMRAIDNotification(const AKAMSGHandlerArguments& arguments);
    void actionResize(const AKAMSGHandlerArguments& arguments);
    void actionStorePicture(const AKAMSGHandlerArguments& arguments);
    void actionCreateCalendarEvent(const AKAMSGHandlerArguments& arguments);

    // AKMRAIDPictureDelegate
    void didStorePictureWithURL(AKMRAIDPicture& picture, const std::string& URL) override;
    void failedToStorePictureWithURL(AKMRAIDPicture& picture, const std::string& URL,
                                     const std::string& message) override;

private:
    std::shared_ptr<AKOpener> opener_;
    std::map<std::string, std::shared_ptr<AKMRAIDPicture>> pendingPictureDownloads_;
};
