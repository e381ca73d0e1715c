// Protects the rendered checker and the render check of script-rendered ads:
// background pixels compared as the bitmap stores them (premultiplied 8-bit),
// other colour models and empty images, and the check on the virtual clock
// (content drawn later passes, a blank page fails at the 101st check, a
// hidden banner is read, a passback and empty HTML fail the slot).
#include <cmath>

#include "RenderingScope.h"
#include "adkit/foundation/AKViewUtilities.h"
#include "adkit/rendering/AKAdNetworkJavasSciptWebViewDelegate.h"
#include "adkit/rendering/AKWebViewRenderedChecker.h"
#include "platform/foundation/Clock.h"
#include "platform/graphics/CGImage.h"
#include "platform/uikit/UIColor.h"
#include "platform/uikit/UIImage.h"

using namespace adkittest;
using renderingtest::RecordingSlot;

namespace {
// An image of the size whose first `dark` pixels are opaque black, the rest clear.
CGImageRef imageWithDarkPixels(std::size_t width, std::size_t height, std::size_t dark) {
    Data rgba(width * height * 4, 0);
    for (std::size_t i = 0; i < dark; ++i) rgba[i * 4 + 3] = 255;
    return CGImageCreateWithRGBA(width, height, std::move(rgba));
}

double blankFraction(const std::shared_ptr<AKWebView>& view, const CGColorRef& color) {
    view->setBackgroundColor(color);
    return AKWebViewRenderedChecker::percentOfImage(ak_render(*view->webView()), color);
}
}  // namespace

TEST_CASE("rendered checker: a blank page in its background colour is the colour, whatever its alpha or model") {
    testsupport::TempHome home;
    RenderingScope scope;
    auto view = AKWebView::make(CGRectMake(0, 0, 20, 10));
    struct Row {
        const char* name;
        CGColorRef color;
        double fraction;
    };
    const Row rows[] = {
        {"opaque red", UIColor::redColor()->CGColor(), 1.0},
        {"a colour off the 1/255 steps", CGColorCreateSRGB(0.3, 0.6, 0.9, 1.0), 1.0},
        {"half-transparent", UIColor::colorWithRed(1, 0.2, 0, 0.5)->CGColor(), 1.0},
        {"clear (grey space)", UIColor::clearColor()->CGColor(), 1.0},
        {"grey", UIColor::colorWithWhite(0.33, 0.8)->CGColor(), 1.0},
        {"no colour model", nullptr, 0.0},
    };
    for (const auto& row : rows) {
        INFO(std::string(row.name));
        CHECK(blankFraction(view, row.color) == doctest::Approx(row.fraction));
    }
    view->setBackgroundColor(UIColor::whiteColor()->CGColor());
    view->webView()->layer()->setContents(imageWithDarkPixels(20, 10, 30));
    CHECK(AKWebViewRenderedChecker::percentOfImage(ak_render(*view->webView()), UIColor::whiteColor()->CGColor()) ==
          doctest::Approx(0.85));
    CHECK(std::isnan(AKWebViewRenderedChecker::percentOfImage(nullptr, UIColor::whiteColor()->CGColor())));
}

TEST_CASE("render check: content drawn after a second passes, a blank page fails at the 101st check, passback and empty HTML fail") {
    testsupport::TempHome home;
    RenderingScope scope;
    VirtualTime time;
    auto slot = std::make_shared<RecordingSlot>();

    auto start = [&] {
        slot->calls.clear();
        slot->slotState = AKSlotStateRendering;
        slot->adWebView = AKWebView::make(CGRectMake(0, 0, 20, 10));
        slot->adWebView->configureAsBannerAdView();  // hidden until the ad shows
        slot->adWebView->setBackgroundColor(UIColor::colorWithRed(0.3, 0.1, 0.7, 0.5)->CGColor());
        auto delegate = AKAdNetworkJavasSciptWebViewDelegate::loadAdHTML(slot, "<script>ad()</script>",
                                                                         "http://ads.example/network",
                                                                         std::string("http://pass.example/back/"));
        REQUIRE(delegate);
        UIWebViewRecorder::of(*slot->adWebView->webView()).finishLoad();
        CHECK(delegate->renderingCheckHasStarted());
        return delegate;
    };
    auto tick = [&](const std::shared_ptr<AKAdNetworkJavasSciptWebViewDelegate>& delegate, std::uint64_t count) {
        Clock::advance(AKAdNetworkJavasSciptWebViewDelegate::kRenderCheckInterval);
        waitFor([&] { return delegate->checkRenderingCount() == count || !delegate->webViewRenderedChecker(); },
                "the next render check");
    };

    auto delegate = start();
    for (std::uint64_t n = 1; n <= 5; ++n) tick(delegate, n);
    CHECK(slot->adWebView->isHidden());
    slot->adWebView->webView()->layer()->setContents(imageWithDarkPixels(20, 10, 40));
    tick(delegate, 6);
    CHECK(delegate->checkRenderingCount() == 5);
    CHECK(slot->calls == std::vector<std::string>{"willLoadAdHTMLInWebView", "didReceiveValidAd",
                                                  "didLoadAdHTMLInWebView", "didMakeAdImpression",
                                                  "startViewabilityForLoadedAd", "adFinishedLoadingContent"});
    CHECK_FALSE(slot->adWebView->isHidden());

    delegate = start();
    for (std::uint64_t n = 1; n <= 100; ++n) tick(delegate, n);
    CHECK(slot->calls == std::vector<std::string>{"willLoadAdHTMLInWebView"});
    tick(delegate, 101);
    CHECK(slot->calls == std::vector<std::string>{"willLoadAdHTMLInWebView",
                                                  "failWithError 2 reload=0 cancel=0 " +
                                                      AKRequestError::localizedStringForErrorCode(2)});
    CHECK_FALSE(delegate->webViewRenderedChecker());

    delegate = start();
    CHECK_FALSE(UIWebViewRecorder::of(*slot->adWebView->webView()).navigate("http://PASS.example/back",
                                                                        UIWebViewNavigationTypeOther));
    CHECK(delegate->wasPassbackReceived());
    CHECK_FALSE(delegate->webViewRenderedChecker());
    CHECK(slot->calls.back() == "failWithError 1 reload=1 cancel=1 Passback URL received.");

    CHECK_FALSE(AKAdNetworkJavasSciptWebViewDelegate::loadAdHTML(slot, "", "http://ads.example/", std::nullopt));
    CHECK(slot->calls.back() == "failWithError 2 reload=1 cancel=1 Empty ad HTML.");
}
