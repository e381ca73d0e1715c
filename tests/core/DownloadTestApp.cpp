// Protects the download tests' fixture: the delegate, object store, tab-bar shell and download manager as the download screens see them.
#include "DownloadTestApp.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include "support/StoreRecords.h"
#include "platform/coredata/NSFetchRequest.h"
#include "platform/coredata/NSPredicate.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/runloop/NSThread.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UITabBarItem.h"
#include "support/TestEnvironment.h"

namespace coretest {

std::uint64_t fileSize(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
}

bool exists(const std::string& path) { return std::filesystem::exists(path); }

Value chapter(const std::string& link, const std::string& title) {
    Value c = Value::dictionary();
    c.setObject("link", link);
    c.setObject("title", title);
    return c;
}

App::App() {
    auto application = UIApplication::sharedApplication();
    previous = application->delegate();
    application->setDelegate(delegate);
    shell = testsupport::installTabBarShell(delegate);
    manager = std::make_shared<DownloadManager>();
}

App::~App() {
    for (const auto& d : manager->getListDownloading()) d->cancelDownloadAndRemoveFile(false);
    auto list = manager->getListDownloading();
    testsupport::runMainUntil(
        [&] { return std::all_of(list.begin(), list.end(), [](const auto& d) { return d->isFinished(); }); }, 30);
    UIApplication::sharedApplication()->setDelegate(previous);
}

std::optional<std::string> App::badge() const { return shell.downloadsItem()->badgeValue(); }

std::vector<std::shared_ptr<MoviesDownloadModel>> App::records(const std::string& predicate,
                                                                      std::vector<Value> args) {
    return testsupport::fetchRecords<MoviesDownloadModel>(delegate->managedObjectContext(), "MoviesDownloadModel",
                                                          predicate, std::move(args));
}

NotificationLog::NotificationLog() {
    for (const char* name : {kStartDownloadMovieNotification, kUpdateStatusDownloadMovieNotification,
                             kStopDownloadMovieNotification, kFinishDownloadMovieNotification,
                             kRemoveDownloadingMovieNotification, kResumeDownloadingMovieNotification}) {
        registrations.push_back(NSNotificationCenter::defaultCenter()->addObserverForName(
            name, nullptr, nullptr, [this](const NSNotification& n) {
                entries.push_back({n.name(), n.object(), NSThread::isMainThread()});
            }));
    }
}

NotificationLog::~NotificationLog() {
    for (const auto& r : registrations) NSNotificationCenter::defaultCenter()->removeObserver(r.get());
}

std::vector<std::string> NotificationLog::sequence(
    const std::vector<std::pair<std::shared_ptr<NSObject>, std::string>>& tags) const {
    std::vector<std::string> out;
    for (const auto& e : entries) {
        std::string tag = "?";
        for (const auto& [object, t] : tags)
            if (object == e.object) tag = t;
        std::string line = e.name + " " + tag;
        if (out.empty() || out.back() != line) out.push_back(line);
    }
    return out;
}

bool NotificationLog::allOnMain() const {
    return std::all_of(entries.begin(), entries.end(), [](const Entry& e) { return e.onMain; });
}

std::size_t NotificationLog::count(const std::string& name) const {
    return static_cast<std::size_t>(
        std::count_if(entries.begin(), entries.end(), [&](const Entry& e) { return e.name == name; }));
}

}  // namespace coretest
