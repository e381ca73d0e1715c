#pragma once
// Per-slot persistent counters and mediation-adapter timings. `AKStatistics`
// pairs a statistics core with a timing manager; `AKSlotStatistics` adds the
// slot's identifier, under which both are saved (the slot sets it) and the
// adapter runs: every end of an adapter timing appends one exit code to
// "adapter_exit" and one duration to "adapter_duration" ("0" for a timing that
// was never started), so the two lists always pair up.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "adkit/foundation/AKStatisticsCore.h"
#include "adkit/foundation/AKTimingManager.h"

class AKStatistics : public NSObject {
public:
    AKStatistics();
    // What a kind of statistics reports: nothing for the base kinds.
    static std::optional<std::vector<std::string>> allTimingNames() { return std::nullopt; }
    static std::optional<std::vector<std::string>> allCounterNames() { return std::nullopt; }
    virtual Value parameters() const { return Value(); }
    const std::shared_ptr<AKStatisticsCore>& core() const { return core_; }
    const std::shared_ptr<AKTimingManager>& timingManager() const { return timings_; }

    AKTimingPtr timingNamed(const std::string& name) const;
    void startTimingNamed(const std::string& name, bool explicitEnd);
    void endTimingNamed(const std::string& name);
    void removeTimingNamed(const std::string& name);
    void incrementParameterCount(const std::string& key);
    void resetParameterCount(const std::string& key);
    std::uint64_t valueForParameter(const std::string& key) const;
    void setFlagWithParameterName(const std::string& key);
    void resetFlagWithParameterName(const std::string& key);

protected:
    std::shared_ptr<AKStatisticsCore> core_;
    std::shared_ptr<AKTimingManager> timings_;
};

class AKSlotStatistics : public AKStatistics {
public:
    void setIdentifier(const std::string& identifier);
    std::optional<std::string> identifier() const { return identifier_; }

    void startTimingAdapter();
    void endTimingAdapterWithExitCode(long exitCode);
    void resetTimingAdapters();
    std::optional<std::string> adapterExitCodesParameter() const;
    std::optional<std::string> adapterDurationsParameter() const;

private:
    std::optional<std::string> joined(const std::string& key) const;
    std::optional<std::string> identifier_;
};
