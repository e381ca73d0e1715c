// Protects the splash screen: it shows the name and a spinning indicator,
// leaves for the tab shell on the first main-loop pass after it appeared, waits
// while its update alert is up, and once that is answered shows the shell and
// opens the server's application link (only a link that is a URL).
#include <doctest/doctest.h>

#include <optional>
#include <string>
#include <vector>

#include "ShellTestSupport.h"
#include "platform/uikit/UIActivityIndicatorView.h"
#include "platform/uikit/UILabel.h"
#include "screens/MyTabbarViewController.h"
#include "screens/SplashViewController.h"

using namespace shelltest;

TEST_CASE("the splash screen shows the name and a spinner, then leaves for the tabs on the next pass") {
    ShellFixture fixture;
    auto launched = fixture.launch();
    auto splash = std::dynamic_pointer_cast<SplashViewController>(launched);
    REQUIRE(splash);
    launched.reset();

    auto name = splash->nameAppLabel();
    auto spinner = splash->activityLoading();
    REQUIRE(name);
    REQUIRE(spinner);
    CHECK(name->text() == "Quorvane");
    CHECK(name->accessibilityIdentifier() == "nameAppLabel");
    CHECK(spinner->accessibilityIdentifier() == "activityLoading");
    CHECK(spinner->isAnimating());
    CHECK_FALSE(spinner->isHidden());
    CHECK(splash->isViewVisible());
    // Nothing moves before the main loop runs.
    CHECK(fixture.window->rootViewController() == splash);

    auto image = screenSnapshot("splash.png");
    CHECK(near(pixelAt(image, 5, 200), 35, 35, 35));  // the screen colour
    // The name's white strokes cross its row a little above the centre.
    bool white = false;
    for (CGFloat x = 80; x < 240 && !white; x += 0.5) white = near(pixelAt(image, x, 244), 255, 255, 255, 40);
    CHECK(white);

    std::weak_ptr<SplashViewController> weakSplash = splash;
    name.reset(), spinner.reset(), splash.reset();
    runOnePass();
    auto shell = fixture.rootAs<MyTabbarViewController>();
    REQUIRE_MESSAGE(shell, "the splash screen did not leave on the first pass after it appeared");
    CHECK(shell->isViewVisible());
    CHECK(weakSplash.expired());  // the window let go of it
    CHECK(fixture.app->openedURLs().empty());
}

TEST_CASE("the update alert holds the splash screen, its answer shows the tabs and opens a link that is a URL") {
    struct Row {
        const char* what;
        std::optional<Value> appLink;  // nullopt: no configuration at all
        std::vector<std::string> opened;
    };
    const std::vector<Row> rows{
        {"a link", Value("https://apps.example.com/quorvane?id=7"), {"https://apps.example.com/quorvane?id=7"}},
        {"no configuration", std::nullopt, {}},
        {"no link in it", Value(), {}},
        {"a number", Value(42), {}},
        {"a list", Value::array({Value("https://apps.example.com/")}), {}},
        {"text that is no URL", Value("not a link at all"), {}},
        {"a relative reference", Value("store/quorvane"), {}},
        {"an empty string", Value(""), {}},
    };
    for (const Row& row : rows) {
        CAPTURE(row.what);
        ShellFixture fixture;
        if (row.appLink) {
            Value info = Value::dictionary();
            info.setObject("AppVersion", Value("2.0"));
            if (!row.appLink->isNull()) info.setObject("AppLink", *row.appLink);
            fixture.delegate->setDefaultInfo(info);
        }
        auto splash = std::dynamic_pointer_cast<SplashViewController>(fixture.launch());
        REQUIRE(splash);
        splash->showRequireUpdateAlert();
        splash->showRequireUpdateAlert();  // one alert, however often asked

        auto alerts = UIAlertView::visibleAlerts();
        REQUIRE(alerts.size() == 1);
        auto alert = alerts.front();
        CHECK(alert->title() == "Update Required");
        CHECK(alert->message() ==
              "The version of Quorvane you are using is no longer supported.  Download the latest version to access "
              "all new features!");
        CHECK(alert->tag() == 500);
        CHECK(alert->numberOfButtons() == 1);
        CHECK(alert->buttonTitleAtIndex(0) == "OK");
        CHECK(alert->cancelButtonIndex() == -1);
        CHECK(alert->delegate() == splash);

        // The splash screen stays while the alert waits.
        testsupport::runMainUntil([] { return false; }, 0.1);
        CHECK(fixture.window->rootViewController() == splash);
        if (row.appLink && std::string(row.what) == "a link") {
            auto image = screenSnapshot("splash-update-alert.png");
            CHECK_FALSE(near(pixelAt(image, 5, 200), 35, 35, 35));  // dimmed under the alert
        }

        std::weak_ptr<SplashViewController> weakSplash = splash;
        splash.reset();
        REQUIRE(alert->pressButtonAtIndex(0));
        CHECK(fixture.rootAs<MyTabbarViewController>());
        CHECK(weakSplash.expired());
        CHECK(fixture.app->openedURLs() == row.opened);
        CHECK(UIAlertView::visibleAlerts().empty());
        runOnePass();
        CHECK(fixture.rootAs<MyTabbarViewController>());
    }
}

TEST_CASE("a splash screen that is no longer shown when its pass comes does not bring the tabs") {
    for (bool keepAlive : {false, true}) {
        CAPTURE(keepAlive);
        ShellFixture fixture;
        auto splash = std::dynamic_pointer_cast<SplashViewController>(fixture.launch());
        REQUIRE(splash);
        // Something else takes the window before the main loop runs: the
        // queued block finds the splash gone, or kept elsewhere but off screen.
        auto other = std::make_shared<UIViewController>();
        fixture.window->setRootViewController(other);
        std::weak_ptr<SplashViewController> weakSplash = splash;
        if (!keepAlive) splash.reset();
        CHECK(weakSplash.expired() == !keepAlive);
        runOnePass();
        testsupport::runMainUntil([] { return false; }, 0.1);
        CHECK(fixture.window->rootViewController() == other);
    }
}
