#include "adkit/foundation/AKTimingManager.h"

#include "platform/foundation/NSNotificationCenter.h"
#include "platform/uikit/UIApplication.h"

namespace {

bool isTimingForm(const Value& value) {
    return value.isDictionary() && value["category"].isString() && value["start"].isNumber() && !value["start"].isBool() &&
           value["end"].isNumber() && !value["end"].isBool() &&
           (value["userData"].isNull() || value["userData"].isDictionary());
}

}  // namespace

AKTimingManager::AKTimingManager() : userDefaults_(NSUserDefaults::initWithSuiteName("")) {}

AKTimingManager::~AKTimingManager() {
    if (observing_) NSNotificationCenter::defaultCenter()->removeObserver(this);
    savePersistentTimings();
}

void AKTimingManager::setIdentifier(const std::string& identifier) {
    auto center = NSNotificationCenter::defaultCenter();
    center->removeObserver(this);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        identifier_ = identifier;
    }
    loadPersistentTimings();
    std::weak_ptr<AKTimingManager> weak = self<AKTimingManager>();
    center->addObserver(
        self(), [weak](const NSNotification&) {
            if (auto manager = weak.lock()) manager->savePersistentTimings();
        },
        UIApplicationWillTerminateNotification);
    observing_ = true;
}

std::optional<std::string> AKTimingManager::userDefaultsKey() const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!identifier_) return std::nullopt;
    return "adkit_timing_" + *identifier_;
}

void AKTimingManager::addTiming(const AKTimingPtr& timing) {
    if (!timing) return;
    std::lock_guard<std::mutex> lock(mutex_);
    timings_[timing->category()] = timing;
}

AKTimingPtr AKTimingManager::addTimingWithCategory(const std::string& category) {
    auto timing = std::make_shared<AKTiming>(category);
    addTiming(timing);
    return timing;
}

AKTimingPtr AKTimingManager::timingForCategory(const std::string& category) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = timings_.find(category);
    return found == timings_.end() ? nullptr : found->second;
}

void AKTimingManager::removeTiming(const AKTimingPtr& timing) {
    if (timing) removeTimingForCategory(timing->category());
}

void AKTimingManager::removeTimingForCategory(const std::string& category) {
    std::lock_guard<std::mutex> lock(mutex_);
    timings_.erase(category);
}

void AKTimingManager::removeTimingsForCategories(const std::vector<std::string>& categories) {
    for (const auto& category : categories) removeTimingForCategory(category);
}

void AKTimingManager::removeAllTimings() {
    std::lock_guard<std::mutex> lock(mutex_);
    timings_.clear();
}

std::vector<AKTimingPtr> AKTimingManager::timings() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<AKTimingPtr> out;
    for (const auto& entry : timings_) out.push_back(entry.second);
    return out;
}

std::vector<std::string> AKTimingManager::categories() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> out;
    for (const auto& entry : timings_) out.push_back(entry.first);
    return out;
}

void AKTimingManager::loadPersistentTimings() {
    const auto key = userDefaultsKey();
    if (!key) return;
    const Value stored = userDefaults_->objectForKey(*key);
    auto saved = stored.dictionaryRef();
    if (!saved) return;
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& [name, form] : *saved) {
        if (isTimingForm(form)) timings_[name] = AKTiming::initWithDictionaryRepresentation(form);
    }
}

void AKTimingManager::savePersistentTimings() {
    const auto key = userDefaultsKey();
    if (!key) return;
    Value forms = Value::dictionary();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const auto& [name, timing] : timings_) forms.setObject(name, timing->dictionaryRepresentation());
    }
    // User data that is no property list cannot be saved; the timings stay in memory.
    if (!userDefaults_->setObject(forms, *key)) return;
    [[maybe_unused]] const bool written = userDefaults_->synchronize();  // a full disk keeps them in memory
}
