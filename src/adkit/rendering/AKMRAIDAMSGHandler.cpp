#include "adkit/rendering/AKMRAIDAMSGHandler.h"

#include "adkit/rendering/AKMRAIDResizeProperties.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSURL.h"
#include "platform/foundation/ProcessLifetime.h"

AKMRAIDAMSGHandler::AKMRAIDAMSGHandler(std::shared_ptr<AKOpener> opener)
    : AKAMSGHandler(actionSelectorDictionary()), opener_(std::move(opener)) {}

std::shared_ptr<const AKAMSGHandler::ActionSelectorDictionary> AKMRAIDAMSGHandler::actionSelectorDictionary() {
    using H = AKMRAIDAMSGHandler;
    static ProcessLifetime<std::shared_ptr<const ActionSelectorDictionary>> table(
        makeActionTable({
            {"mraid", action<H, &H::didReceiveMRAIDNotification>()},
        }));
    return *table;
}

std::shared_ptr<const AKAMSGHandler::ActionSelectorDictionary> AKMRAIDAMSGHandler::subActionSelectorDictionary() {
    using H = AKMRAIDAMSGHandler;
    static ProcessLifetime<std::shared_ptr<const ActionSelectorDictionary>> table(
        makeActionTable({
            {"resize", action<H, &H::actionResize>()},
            {"storePicture", action<H, &H::actionStorePicture>()},
            {"createCalendarEvent", action<H, &H::actionCreateCalendarEvent>()},
        }));
    return *table;
}

void AKMRAIDAMSGHandler::didReceiveMRAIDNotification(const AKAMSGHandlerArguments& arguments) {
    const auto action = arguments.parameter("a");
    if (action) (void)dispatch(*this, *subActionSelectorDictionary(), *action, arguments);  // others do nothing
}

void AKMRAIDAMSGHandler::actionResize(const AKAMSGHandlerArguments& arguments) {
    if (!opener_) return;
    // customClosePosition and allowOffscreen are read but the opener takes only size and offset.
    const auto properties = AKMRAIDResizeProperties::MRAIDResizePropertiesWithDictionary(arguments.parameters());
    opener_->openWebAppWithSize(properties ? properties->size() : CGSize{},
                                properties ? properties->offset() : CGPoint{});
}

void AKMRAIDAMSGHandler::actionStorePicture(const AKAMSGHandlerArguments& arguments) {
    const auto text = arguments.parameter("iurl");
    const NSURLPtr url = text ? NSURL::URLWithString(*text) : nullptr;
    if (!url) return;
    const std::string& URL = url->absoluteString();
    if (pendingPictureDownloads_.contains(URL)) return;  // one request per picture at a time
    auto picture = AKMRAIDPicture::initWithURL(URL);
    picture->setDelegate(self<AKMRAIDAMSGHandler>());
    pendingPictureDownloads_.emplace(URL, picture);
    picture->storeInPhotoAlbum();
}

void AKMRAIDAMSGHandler::actionCreateCalendarEvent(const AKAMSGHandlerArguments& arguments) {
    if (!opener_) return;
    Value parameters = Value::dictionary();
    for (const auto& [key, value] : arguments.parameters()) parameters.setObject(key, Value(value));
    opener_->openCalendarWithDictionary(parameters);
}

void AKMRAIDAMSGHandler::didStorePictureWithURL(AKMRAIDPicture&, const std::string& URL) {
    pendingPictureDownloads_.erase(URL);
}

void AKMRAIDAMSGHandler::failedToStorePictureWithURL(AKMRAIDPicture&, const std::string& URL,
                                                     const std::string& message) {
    NSLog("%@", message);
    pendingPictureDownloads_.erase(URL);
}
