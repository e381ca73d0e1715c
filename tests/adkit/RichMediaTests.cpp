// Protects the rich-media commands: resize and calendar parameters, the picture saver (consent, http(s) only, 16 MiB cap, dimensions checked before decoding, success only once the album confirms), and the slot's rich-media events and orientation watch.
#include <doctest/doctest.h>

#include <algorithm>
#include <thread>

#include "AdkitTestSupport.h"
#include "RenderingScope.h"
#include "RenderingTestDoubles.h"
#include "adkit/rendering/AKMRAIDAMSGHandler.h"
#include "adkit/rendering/AKMRAIDCalendarProperties.h"
#include "adkit/rendering/AKMRAIDResizeProperties.h"
#include "adkit/rendering/AKNotificationCenter.h"
#include "platform/foundation/NSString.h"
#include "platform/graphics/CGImage.h"
#include "platform/uikit/UIAlertView.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIDevice.h"
#include "platform/uikit/UISavedPhotosAlbum.h"
#include "support/LoopbackHttpServer.h"

using adkittest::waitFor;
using namespace renderingtest;
using testsupport::LoopbackHttpServer;
using testsupport::Reply;

namespace {
bool send(AKAMSGHandler& handler, const std::string& URL) {
    return handler.handleRequest(NSURLRequest::requestWithURL(URL), nullptr);
}

std::string pngOfSize(std::size_t width, std::size_t height) {
    Data rgba(width * height * 4, 0x80);
    const auto png = UIImagePNGRepresentation(UIImage::imageWithCGImage(CGImageCreateWithRGBA(width, height, std::move(rgba))));
    REQUIRE(png);
    return stringFromData(*png);
}

std::string escaped(const std::string& URL) { return stringByAddingPercentEscapes(URL, NSUTF8StringEncoding, ":/?&=").value(); }
}  // namespace

TEST_CASE("mraid commands reach the opener with resize and calendar parameters read as creatives write them") {
    auto opener = std::make_shared<RecordingOpener>();
    auto handler = std::make_shared<AKMRAIDAMSGHandler>(opener);
    struct Case {
        std::string URL;
        std::string openerCalls;
    };
    const Case cases[] = {
        {"amsg://x/mraid?a=resize&width=300&height=250.5&offsetX=-10&offsetY=20&customClosePosition=center&allowOffscreen=true",
         "resize 300,250.5 -10,20"},
        {"amsg://x/mraid?a=resize&width=300&height=250&offsetX=0&offsetY=0&customClosePosition=center", "resize 0,0 0,0"},
        {"amsg://x/mraid?a=createCalendarEvent&start=s&summary=x", "openCalendar {\"a\":\"createCalendarEvent\",\"start\":\"s\",\"summary\":\"x\"}"},
        {"amsg://x/mraid?a=unknown&width=1", ""},
        {"amsg://x/mraid", ""},
    };
    for (const Case& c : cases) {
        CAPTURE(c.URL);
        opener->calls.clear();
        CHECK(send(*handler, c.URL));
        CHECK(opener->joined() == c.openerCalls);
    }

    AKNotification::Parameters resize{{"width", "1"}, {"height", "2"}, {"offsetX", "3"}, {"offsetY", "4"}};
    const std::pair<const char*, AKMRAIDCustomClosePosition> positions[] = {
        {"top-right", AKMRAIDCustomClosePositionTopRight}, {"top-center", AKMRAIDCustomClosePositionTopCenter},
        {"top-left", AKMRAIDCustomClosePositionTopLeft}, {"center", AKMRAIDCustomClosePositionCenter},
        {"bottom-right", AKMRAIDCustomClosePositionBottomRight}, {"bottom-center", AKMRAIDCustomClosePositionBottomCenter},
        {"bottom-left", AKMRAIDCustomClosePositionBottomLeft}, {"middle", AKMRAIDCustomClosePositionTopRight}};
    for (const auto& [text, position] : positions) {
        resize["customClosePosition"] = text;
        resize["allowOffscreen"] = text == std::string("center") ? " 007" : "00";
        const auto properties = AKMRAIDResizeProperties::MRAIDResizePropertiesWithDictionary(resize);
        REQUIRE(properties);
        CHECK(properties->customClosePosition() == position);
        CHECK(properties->allowOffscreen() == (text == std::string("center")));
    }

    const Value event{{"start", "2014-05-01T10:00:00+02:00"}, {"end", "2014-05-01 10:00"}, {"summary", "s"},
                      {"description", "d"}, {"location", "l"}};
    const auto calendar = AKMRAIDCalendarProperties::initWithDictionary(event);
    REQUIRE(calendar);
    CHECK(calendar->startTime() == Date{1398931200});
    CHECK_FALSE(calendar->endTime());
    CHECK(calendar->eventDescription() == "d");
    Value incomplete = event.copy();
    incomplete.removeObjectForKey("location");
    CHECK_FALSE(AKMRAIDCalendarProperties::initWithDictionary(incomplete));
}

TEST_CASE("a creative's picture is saved only with consent, and only a sound, stored picture counts as saved") {
    adkittest::QuietLog quiet;
    std::vector<std::string> logged;
    setLogHook([&](const std::string& line) { logged.push_back(line); });
    UISavedPhotosAlbum::resetForTesting();
    UIAlertView::removeAllForTesting();
    LoopbackHttpServer server;
    const std::string sixteenMiBAndOne(AKMRAIDPicture::kMaximumBodyBytes + 1, 'x');
    server.route("GET", "/picture.png", Reply::text(pngOfSize(4, 3), "image/png"));
    server.route("GET", "/wide.png", Reply::text(pngOfSize(9000, 2), "image/png"));
    server.route("GET", "/huge", Reply::text(sixteenMiBAndOne, "image/png"));
    server.route("GET", "/huge-chunked", Reply::text(sixteenMiBAndOne, "image/png").chunked(1 << 16));
    server.route("GET", "/text", Reply::text("not a picture"));
    server.route("GET", "/missing", Reply::withStatus(404));

    struct Case {
        std::string URL;
        bool albumFails;
        std::string failure;  // "" for a stored picture
    };
    const Case cases[] = {
        {server.url("/picture.png"), false, ""},
        {server.url("/picture.png"), true, "The photo album could not be written."},
        {server.url("/huge"), false, "The picture is larger than 16 MiB."},
        {server.url("/huge-chunked"), false, "The picture is larger than 16 MiB."},
        {server.url("/wide.png"), false, "The picture is too large."},
        {server.url("/text"), false, "The data is not a picture."},
        {server.url("/missing"), false, "No data arrived."},
        {"file:///etc/hostname", false, "Only http and https pictures are saved."},
    };
    auto handler = std::make_shared<AKMRAIDAMSGHandler>(std::make_shared<RecordingOpener>());
    for (const Case& c : cases) {
        CAPTURE(c.URL);
        logged.clear();
        UISavedPhotosAlbum::setWritesFail(c.albumFails);
        const std::size_t albumBefore = UISavedPhotosAlbum::images().size();
        CHECK(send(*handler, "amsg://x/mraid?a=storePicture&iurl=" + escaped(c.URL)));
        REQUIRE(handler->pendingPictureDownloads().contains(c.URL));
        const auto alert = UIAlertView::visibleAlerts().back();
        CHECK(alert->title() == "Permission");
        CHECK(alert->message() == "The ad is requesting to save an image in your photo album.");
        CHECK(alert->buttonTitleAtIndex(alert->cancelButtonIndex()) == "Cancel");
        REQUIRE(UIAlertView::pressButton("Save"));
        waitFor([&] { return handler->pendingPictureDownloads().empty(); }, "the picture to be stored or refused");
        if (c.failure.empty()) {
            CHECK(logged.empty());
            REQUIRE(UISavedPhotosAlbum::images().size() == albumBefore + 1);
            CHECK(UISavedPhotosAlbum::images().back()->size() == CGSizeMake(4, 3));
        } else {
            CHECK(logged == std::vector<std::string>{"Failed to load " + c.URL + ". Error: " + c.failure});
            CHECK(UISavedPhotosAlbum::images().size() == albumBefore);
        }
    }
    CHECK(server.requestCount() == 7);  // the file URL was never read

    // While the user has not answered, the same picture is not asked for again; after "Cancel" it stays so.
    const std::string picture = server.url("/picture.png");
    CHECK(send(*handler, "amsg://x/mraid?a=storePicture&iurl=" + escaped(picture)));
    CHECK(send(*handler, "amsg://x/mraid?a=storePicture&iurl=" + escaped(picture)));
    CHECK(UIAlertView::visibleAlerts().size() == 1);
    REQUIRE(UIAlertView::pressButton("Cancel"));
    CHECK(send(*handler, "amsg://x/mraid?a=storePicture&iurl=" + escaped(picture)));
    CHECK(UIAlertView::visibleAlerts().empty());
    CHECK(server.requestCount() == 7);
    UISavedPhotosAlbum::resetForTesting();
}

TEST_CASE("a rich-media ad hears its features, readiness, visibility and screen changes only while it is loaded") {
    const RecordedAdWebView page(CGRectMake(0, 0, 320, 50));
    auto slot = std::make_shared<RecordingSlot>();
    slot->adWebView = page.view;
    // Waits until the events sent so far are in, by sending a marker behind
    // them (and behind the frame check a rotation queued, and its event).
    const std::string marker = "ADNET_ReceiveMessage('marker');";
    auto eventsSoFar = [&] {
        adkittest::drainMainQueue();
        adkittest::drainMainQueue();
        const auto markers = [&] {
            const auto all = page.events();
            return std::count(all.begin(), all.end(), marker);
        };
        const auto before = markers();
        AKNotificationCenter::postJSNotification("marker", std::nullopt, page.view);
        waitFor([&] { return markers() == before + 1; }, "the marker event");
        std::vector<std::string> events = page.events();
        events.erase(std::remove(events.begin(), events.end(), marker), events.end());
        return events;
    };

    slot->notifyMRAIDCreativeWithVisibility(true);  // not rich media yet: nothing
    std::thread([&] { slot->willLoadMRAIDAd(); }).join();
    waitFor([&] { return slot->isMRAIDAd(); }, "the ads to be marked as rich media on the main thread");
    CHECK(slot->joined() == "setMRAIDEnabledOnAds 1 main=1");

    UIApplication::sharedApplication()->setCanOpenScheme("tel", true);
    slot->didLoadMRAIDAd();
    UIApplication::sharedApplication()->setCanOpenScheme("tel", false);
    CHECK(slot->isListeningToDeviceOrientationChangeEvent());
    CHECK(slot->creativeViewBounds() == CGRectMake(0, 0, 320, 50));
    auto events = eventsSoFar();
    REQUIRE(events.size() == 3);
    CHECK(events[0].rfind("ADNET_ReceiveMessage('onScreenInfoChanged', {", 0) == 0);
    CHECK(events[0].find("\"isOrientationLandscape\":\"0\"") != std::string::npos);
    CHECK(events[1] == "ADNET_ReceiveMessage('onDeviceFeaturesReceived', {\"calendar\":false,\"inlineVideo\":true,"
                       "\"sms\":false,\"storePicture\":true,\"tel\":true});");
    CHECK(events[2] == "ADNET_ReceiveMessage('onReadyEventReceived');");

    const auto device = UIDevice::currentDevice();
    device->setOrientation(UIDeviceOrientationLandscapeLeft);  // the creative's frame stays: no event
    slot->notifyMRAIDCreativeWithVisibility(false);
    events = eventsSoFar();
    REQUIRE(events.size() == 4);
    CHECK(events[3] == "ADNET_ReceiveMessage('onAdVisibilityChanged', {\"visible\":\"0\"});");
    page.view->setFrame(CGRectMake(0, 0, 480, 50));
    device->setOrientation(UIDeviceOrientationPortrait);
    events = eventsSoFar();
    REQUIRE(events.size() == 5);
    CHECK(events[4].rfind("ADNET_ReceiveMessage('onScreenInfoChanged', {", 0) == 0);

    slot->didUnloadMRAIDAd();
    CHECK_FALSE(slot->isListeningToDeviceOrientationChangeEvent());
    page.view->setFrame(CGRectMake(0, 0, 320, 50));
    device->setOrientation(UIDeviceOrientationLandscapeLeft);
    device->setOrientation(UIDeviceOrientationPortrait);
    CHECK(eventsSoFar().size() == 5);
}
