#pragma once
// A calendar event of an event store: title, notes, location, start and end
// dates (absent until set). A plain record; the store it was made for is held
// weakly (the store keeps the events saved in it). Main thread only.
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/NSObject.h"
#include "platform/foundation/Value.h"

class EKEventStore;

class EKEvent : public NSObject {
public:
    // eventWithEventStore:
    static std::shared_ptr<EKEvent> eventWithEventStore(const std::shared_ptr<EKEventStore>& store);

    std::shared_ptr<EKEventStore> eventStore() const { return store_.lock(); }
    const std::string& title() const { return title_; }
    void setTitle(std::string title) { title_ = std::move(title); }
    const std::string& notes() const { return notes_; }
    void setNotes(std::string notes) { notes_ = std::move(notes); }
    const std::string& location() const { return location_; }
    void setLocation(std::string location) { location_ = std::move(location); }
    const std::optional<Date>& startDate() const { return startDate_; }
    void setStartDate(std::optional<Date> date) { startDate_ = date; }
    const std::optional<Date>& endDate() const { return endDate_; }
    void setEndDate(std::optional<Date> date) { endDate_ = date; }

private:
    std::weak_ptr<EKEventStore> store_;
    std::string title_;
    std::string notes_;
    std::string location_;
    std::optional<Date> startDate_;
    std::optional<Date> endDate_;
};
