#pragma once
// The application around the detail page in tests: one application home and
// delegate for the process (the download manager keeps the delegate's object
// store for the process), a catalogue server with its control endpoint per
// stage, the tab-bar shell sized for the device, and the page opened as the
// grids open it.
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "DetailTestSupport.h"
#include "core/AppDelegate.h"
#include "core/MoviesModel.h"
#include "screens/DetailMoviesViewController.h"
#include "support/CatalogueServerProcess.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UITabBarItem.h"
#include "screens/MyTabbarViewController.h"
#include "support/TestEnvironment.h"

namespace screentest {

// The process's application: its home, delegate and object store.
struct TestApplication {
    TestApplication();
    testsupport::TempHome home;
    std::shared_ptr<AppDelegate> delegate;

    static TestApplication& shared();
    // The store file of the delegate's object store.
    std::string storePath() const;
    // Opens the delegate's store file again, read-only or writable.
    void reopenStore(bool readOnly);
};

// The catalogue server with its control endpoint.
class Catalogue {
public:
    explicit Catalogue(const std::vector<std::string>& extraArguments = {});
    testtools::CatalogueServerProcess& server() { return *server_; }
    std::string baseURL() const;
    // POST /control/<kind>; the HTTP status.
    long order(const std::string& kind, const nlohmann::json& body) const;
    // The catalogue requests received, in order.
    nlohmann::json log() const;
    // How many requests of the action were received.
    std::size_t requests(const std::string& action) const;

private:
    std::string scratch_;
    std::unique_ptr<testtools::CatalogueServerProcess> server_;
    std::string control_;
};

// The application's tab-bar shell from the storyboard "Main", in a key window of the screen's size.
struct Shell {
    std::shared_ptr<UIWindow> window;
    std::shared_ptr<MyTabbarViewController> tabBar;
    std::vector<std::shared_ptr<UINavigationController>> navigations;  // one per tab
    std::shared_ptr<UITabBarItem> downloadsItem() const;
};

// One test's stage: the device, a catalogue, the shell, and what it leaves behind cleaned up.
class Stage {
public:
    explicit Stage(bool tablet, const std::vector<std::string>& catalogueArguments = {});
    ~Stage();
    Stage(const Stage&) = delete;
    Stage& operator=(const Stage&) = delete;

    bool tablet() const { return device.tablet(); }
    // Catalogue data as the application's client receives it.
    Value fetchList();
    Value fetchDetail(std::int32_t movieID);
    Value fetchStreams(std::int32_t chapterID);
    // The list record of the first popular movie, as the grids make it.
    std::shared_ptr<MoviesModel> firstMovie();

    // Opens the page as the grids do (phone: pushed on the tab's navigation
    // controller; tablet: presented as a form sheet) and waits until it is on
    // view with its detail request answered (or only on view).
    std::shared_ptr<DetailMoviesViewController> open(const std::shared_ptr<MoviesModel>& movie, std::size_t tab = 0,
                                                     bool waitForDetail = true);
    // Closes the page as its back or cancel button does, by code.
    void close(std::size_t tab = 0);
    // Waits until the page's overlay is gone.
    void waitForOverlayGone(const std::shared_ptr<DetailMoviesViewController>& page, const std::string& what);
    // Taps the chapter row and waits for the stream reply (overlay gone).
    void chooseChapter(const std::shared_ptr<DetailMoviesViewController>& page, long row);
    // The stream picker of the dialog on view, once it has settled.
    std::shared_ptr<ListStreamViewController> waitForDialog(const std::shared_ptr<DetailMoviesViewController>& page);

    TestApplication& app;
    DeviceKind device;
    Catalogue catalogue;
    Shell shell;
    Finger finger;
};

// The MoviesFavoritiesModel rows of the store file, read through a new context.
std::vector<std::shared_ptr<NSManagedObject>> storedRows(const std::string& entity);

}  // namespace screentest
