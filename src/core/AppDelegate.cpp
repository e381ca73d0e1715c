#include "core/AppDelegate.h"

#include <ctime>
#include <filesystem>

#include "core/MoviesDownloadModel.h"
#include "core/MoviesFavoritiesModel.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/ClassRegistry.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSFileManager.h"
#include "platform/foundation/NSLog.h"
#include "platform/media/AVAudioSession.h"
#include "platform/media/MPMoviePlayerViewController.h"
#include "platform/uikit/UIAlertView.h"
#include "platform/uikit/UIDevice.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UITabBarController.h"

namespace {

constexpr const char* kStoreFileName = "Quorvane.sqlite";

// A name beside the store for a file that could not be opened, never taken yet.
std::string asideName(const std::string& storePath) {
    char stamp[32];
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    gmtime_r(&now, &tm);
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &tm);
    std::string base = storePath + ".unreadable-" + stamp;
    std::string candidate = base;
    for (int i = 1; std::filesystem::exists(candidate); ++i) candidate = base + "." + std::to_string(i);
    return candidate;
}

}  // namespace

AppDelegate::AppDelegate() = default;

std::shared_ptr<AppDelegate> AppDelegate::shared() {
    auto app = UIApplication::sharedApplication();
    return app ? app->delegateAs<AppDelegate>() : nullptr;
}

bool AppDelegate::didFinishLaunchingWithOptions(const std::shared_ptr<UIApplication>& application, const Value&) {
    UIDevice::currentDevice()->beginGeneratingDeviceOrientationNotifications();

    auto session = AVAudioSession::sharedInstance();
    NSErrorPtr categoryError, activeError;
    session->setCategory(AVAudioSessionCategoryPlayback, &categoryError);
    session->setActive(true, &activeError);
    if (categoryError || activeError)
        NSLog("%@ Error: Could not activate silence mode. %@ %@", self(), categoryError, activeError);

    navigationBarApperance();
    if (application) application->setStatusBarStyle(UIStatusBarStyleLightContent, false);
    localCount_ = 2;
    localAds_ = 0;

    auto bundle = NSBundle::mainBundle();
    NSLog("Quorvane %@ launched (%@)", bundle->objectForInfoDictionaryKey("CFBundleVersion"), bundle->bundleIdentifier());
    return true;
}

// ---------------------------------------------------------------- object store

std::shared_ptr<NSManagedObjectModel> AppDelegate::managedObjectModel() {
    if (!model_) {
        // The store makes the typed classes for their entities' objects.
        MoviesDownloadModel::registerClass();
        MoviesFavoritiesModel::registerClass();
        auto path = NSBundle::mainBundle()->pathForResource("Quorvane", "momd");
        NSErrorPtr error;
        if (path) model_ = NSManagedObjectModel::initWithContentsOfURL(*path, &error);
        if (!model_) NSLog("Unresolved error %@, %@", error, error ? error->userInfo() : Value());
    }
    return model_;
}

std::shared_ptr<NSPersistentStoreCoordinator> AppDelegate::persistentStoreCoordinator() {
    if (coordinator_ && !storeBusy_) return coordinator_;
    auto model = managedObjectModel();
    if (!model) return nullptr;
    if (!coordinator_) coordinator_ = NSPersistentStoreCoordinator::initWithManagedObjectModel(model);
    openStore();
    return coordinator_;
}

void AppDelegate::openStore() {
    auto documents = applicationDocumentsDirectory();
    std::string storePath = (std::filesystem::path(documents ? documents->path() : AppHome::documents()) / kStoreFileName).string();
    Value options{{NSMigratePersistentStoresAutomaticallyOption, true}, {NSInferMappingModelAutomaticallyOption, true}};
    NSErrorPtr error;
    storeBusy_ = false;
    if (coordinator_->addPersistentStoreWithType(NSSQLiteStoreType, "", storePath, options, &error)) {
        storeOpenError_ = nullptr;
        return;
    }
    NSLog("Unresolved error %@, %@", error, error ? error->userInfo() : Value());
    storeOpenError_ = error;
    if (NSPersistentStoreErrorIsBusy(error)) {
        // Another process holds the store: it is whole, only in use. It stays where
        // it is and is opened again at the next use of the store; until then the
        // context has no store and its fetches and saves fail.
        storeBusy_ = true;
        NSLog("The store %@ is in use by another process; it is opened again at its next use", storePath);
        return;
    }
    auto fileManager = NSFileManager::defaultManager();
    if (!NSPersistentStoreErrorIsCorruptFile(error) || !fileManager->fileExistsAtPath(storePath)) {
        // Anything but a damaged file is no reason to set the user's records aside.
        NSLog("The store %@ is left as it is; the application runs without it", storePath);
        return;
    }
    // A damaged store: the file (the user's favourites and download records are
    // in it) is kept under another name and a fresh store opens.
    std::string aside = asideName(storePath);
    NSErrorPtr moveError;
    if (!fileManager->moveItemAtPath(storePath, aside, &moveError)) {
        NSLog("The unreadable store could not be moved aside: %@", moveError);
        return;
    }
    movedAsideStorePath_ = aside;
    for (const char* suffix : {"-journal", "-wal", "-shm"})
        if (fileManager->fileExistsAtPath(storePath + suffix))
            fileManager->moveItemAtPath(storePath + suffix, aside + suffix, nullptr);
    NSLog("The unreadable store was kept as %@; a new store is opened", aside);
    NSErrorPtr retryError;
    if (!coordinator_->addPersistentStoreWithType(NSSQLiteStoreType, "", storePath, options, &retryError))
        NSLog("Unresolved error %@, %@", retryError, retryError ? retryError->userInfo() : Value());
}

std::shared_ptr<NSManagedObjectContext> AppDelegate::managedObjectContext() {
    // A store that was busy is tried again first.
    auto coordinator = persistentStoreCoordinator();
    if (context_) return context_;
    if (coordinator) {
        context_ = std::make_shared<NSManagedObjectContext>();
        context_->setPersistentStoreCoordinator(coordinator);
    }
    return context_;
}

bool AppDelegate::saveContext(NSErrorPtr* error) {
    auto context = managedObjectContext();
    if (!context || !context->hasChanges()) return true;
    NSErrorPtr saveError;
    if (context->save(&saveError)) return true;
    NSLog("Unresolved error %@, %@", saveError, saveError ? saveError->userInfo() : Value());
    if (error) *error = saveError;
    return false;
}

NSURLPtr AppDelegate::applicationDocumentsDirectory() const {
    auto urls = NSFileManager::defaultManager()->URLsForDirectory(NSDocumentDirectory, NSUserDomainMask);
    return urls.empty() ? nullptr : urls.back();
}

// ---------------------------------------------------------------- top-most controller

std::shared_ptr<UIViewController> AppDelegate::getTopViewController() const {
    auto root = window_ ? window_->rootViewController() : nullptr;
    std::shared_ptr<UIResponder> candidate;
    if (auto tabs = std::dynamic_pointer_cast<UITabBarController>(root)) candidate = tabs->selectedViewController();
    else candidate = root;
    if (auto navigation = std::dynamic_pointer_cast<UINavigationController>(candidate))
        candidate = navigation->topViewController();
    std::shared_ptr<UIViewController> result;
    if (candidate) result = candidate->nearestResponderOfType<UIViewController>();
    if (result) {
        if (auto presented = result->presentedViewController()) result = presented;
    }
    return result ? result : root;
}

// ---------------------------------------------------------------- ad gates

bool AppDelegate::checkShowAdvertising() const {
    if (!defaultInfo_.isDictionary()) return false;
    return defaultInfo_["AdvType"].intValue() > 0;
}

bool AppDelegate::showAdvertisingFullScreen() {
    if (!defaultInfo_.isDictionary()) return false;
    std::int32_t count = defaultInfo_["AdvCount"].intValue();
    if (count < 1) return false;
    if (count <= localCount_) {
        localCount_ = 1;
        ++localAds_;
        return true;
    }
    ++localCount_;
    return false;
}

// ---------------------------------------------------------------- playback

void AppDelegate::startPlaybackEventWithURLString(const std::optional<std::string>& urlString) {
    if (!urlString) return;
    auto playerController = MPMoviePlayerViewController::initWithContentURL(*urlString);
    auto player = playerController->moviePlayer();
    auto center = NSNotificationCenter::defaultCenter();
    // The player controller would dismiss itself at the end of any playback; this
    // delegate decides instead.
    center->removeObserver(playerController.get(), MPMoviePlayerPlaybackDidFinishNotification, player.get());
    std::weak_ptr<AppDelegate> weak = std::static_pointer_cast<AppDelegate>(self<UIResponder>());
    center->addObserver(
        self(),
        [weak](const NSNotification& notification) {
            if (auto delegate = weak.lock()) delegate->movieFinishedCallback(notification);
        },
        MPMoviePlayerPlaybackDidFinishNotification, player);
    if (auto top = getTopViewController()) top->presentViewController(playerController, true, {});
    player->prepareToPlay();
    player->play();
}

void AppDelegate::movieFinishedCallback(const NSNotification& notification) {
    long reason = notification.userInfo()[MPMoviePlayerPlaybackDidFinishReasonUserInfoKey].intValue();
    if (reason == MPMovieFinishReasonPlaybackEnded) return;
    if (reason == MPMovieFinishReasonPlaybackError)
        UIAlertView::initWithTitle("Error", "Cannot open this video.", {}, std::string("OK"))->show();
    NSNotificationCenter::defaultCenter()->removeObserver(this, MPMoviePlayerPlaybackDidFinishNotification,
                                                          notification.object().get());
    NSNotificationCenter::defaultCenter()->postNotificationName(kRefreshMovieViewNotification);
    if (auto top = getTopViewController()) top->dismissViewControllerAnimated(true, {});
}

void registerApplicationClasses() { ClassRegistry::registerClass<AppDelegate>("UIResponder", {"UIApplicationDelegate"}); }
