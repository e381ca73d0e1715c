#pragma once
// The application as the download screens see it (delegate, object store, tab-bar
// shell, a download manager) and the log of the manager's six notifications.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/AppDelegate.h"
#include "core/DownloadManager.h"
#include "support/TabBarShell.h"

namespace coretest {

std::uint64_t fileSize(const std::string& path);
bool exists(const std::string& path);
// A chapter entry as the detail page hands it over.
Value chapter(const std::string& link, const std::string& title);

struct App {
    std::shared_ptr<AppDelegate> delegate = std::make_shared<AppDelegate>();
    std::shared_ptr<UIApplicationDelegate> previous;
    testsupport::TabBarShell shell;
    std::shared_ptr<DownloadManager> manager;

    App();
    // Cancels what still runs and waits for it, so nothing writes into the home later.
    ~App();
    App(const App&) = delete;
    App& operator=(const App&) = delete;

    std::optional<std::string> badge() const;
    std::string documents() const { return DownloadManager::documentsDirectory(); }
    std::vector<std::shared_ptr<MoviesDownloadModel>> records(const std::string& predicate = {},
                                                              std::vector<Value> args = {});
};

// The six notifications as they are posted: name, downloader and thread.
struct NotificationLog {
    struct Entry {
        std::string name;
        std::shared_ptr<NSObject> object;
        bool onMain;
    };
    std::vector<Entry> entries;
    std::vector<std::shared_ptr<NSObject>> registrations;

    NotificationLog();
    ~NotificationLog();
    NotificationLog(const NotificationLog&) = delete;
    NotificationLog& operator=(const NotificationLog&) = delete;

    // Names with the object's tag, runs of the same entry collapsed.
    std::vector<std::string> sequence(const std::vector<std::pair<std::shared_ptr<NSObject>, std::string>>& tags) const;
    bool allOnMain() const;
    std::size_t count(const std::string& name) const;
};

}  // namespace coretest
