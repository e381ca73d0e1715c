#pragma once
// The application as the library screens see it in-process: a fresh home, an
// application delegate with its object store, the storyboard's scenes, and a
// visible tab-bar window (0 Movies, 1 TV Shows, 2 Favorites, 3 Downloads,
// 4 About) whose favourites and downloads tabs hold the storyboard's screens.
// Input goes through DeviceInput, as the device screen sends it.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/AppDelegate.h"
#include "core/DownloadManager.h"
#include "platform/display/DeviceInput.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UITabBarController.h"
#include "platform/uikit/UIWindow.h"
#include "support/TestEnvironment.h"

class DownloadViewController;
class FavoritesViewController;

namespace librarytests {

inline constexpr long kFavoritesTab = 2;
inline constexpr long kDownloadsTab = 3;

struct LibraryApp {
    // tablet: the pad idiom and a 768 x 1024 screen; else a 320 x 568 phone.
    explicit LibraryApp(bool tablet = false);
    void installShell();
    ~LibraryApp();
    LibraryApp(const LibraryApp&) = delete;
    LibraryApp& operator=(const LibraryApp&) = delete;

    testsupport::TempHome home;
    std::shared_ptr<AppDelegate> delegate = std::make_shared<AppDelegate>();
    std::shared_ptr<UIApplicationDelegate> previous;
    std::shared_ptr<UIWindow> window;
    std::shared_ptr<UITabBarController> tabBar;
    std::vector<std::shared_ptr<UINavigationController>> navigations;
    DeviceInput input;

    std::shared_ptr<DownloadManager> manager() const { return DownloadManager::downloadManager(); }
    std::string documents() const { return DownloadManager::documentsDirectory(); }
    std::shared_ptr<DownloadViewController> downloads() const;
    // Selects the tab and lays the window out.
    void showTab(long index);
    // The layout and display passes now (as at the end of a main-loop pass).
    void layout() { window->layoutAndDisplayIfNeeded(); }
    std::optional<std::string> downloadsBadge() const;
    std::vector<std::shared_ptr<MoviesDownloadModel>> records(const std::string& predicate = {},
                                                              std::vector<Value> args = {});

    // The application started again on the same home: a new delegate over the
    // same store file, a new shell in a new window.
    void restart();
    std::shared_ptr<FavoritesViewController> favorites() const;

    // Input through the device screen's input class; each waits until it was carried out.
    bool tap(CGPoint point);
    bool press(CGPoint point, double seconds);
    bool drag(CGPoint point, CGSize delta);
    // The centre of a view in window points.
    static CGPoint centreOf(const UIView& view);
};

// A chapter entry as the detail page hands it to the download manager.
Value chapter(const std::string& link, const std::string& title);

}  // namespace librarytests
