#pragma once
// Stopwatches by name, saved to the user defaults under "adkit_timing_%@" with
// an identifier (a dictionary from category to each timing's dictionary form)
// at synchronize, at will-terminate and on release. Restored entries that are
// not a timing's dictionary form are dropped. Used from one thread at a time
// (the owner's); saving at will-terminate runs on the main thread.
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "adkit/foundation/AKTiming.h"
#include "platform/foundation/NSUserDefaults.h"

class AKTimingManager : public NSObject {
public:
    AKTimingManager();
    ~AKTimingManager() override;

    // Always reloads, also for the same identifier.
    void setIdentifier(const std::string& identifier);
    std::optional<std::string> userDefaultsKey() const;

    void addTiming(const AKTimingPtr& timing);
    AKTimingPtr addTimingWithCategory(const std::string& category);
    AKTimingPtr timingForCategory(const std::string& category) const;
    void removeTiming(const AKTimingPtr& timing);
    void removeTimingForCategory(const std::string& category);
    void removeTimingsForCategories(const std::vector<std::string>& categories);
    void removeAllTimings();
    std::vector<AKTimingPtr> timings() const;
    std::vector<std::string> categories() const;

    void synchronize() { savePersistentTimings(); }
    void loadPersistentTimings();
    void savePersistentTimings();

private:
    mutable std::mutex mutex_;  // the will-terminate save comes from the main thread
    std::map<std::string, AKTimingPtr> timings_;
    std::optional<std::string> identifier_;
    NSUserDefaultsPtr userDefaults_;
    bool observing_ = false;
};
