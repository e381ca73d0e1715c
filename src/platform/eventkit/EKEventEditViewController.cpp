#include "platform/eventkit/EKEventEditViewController.h"

#include "platform/base/ThreadAssertions.h"
#include "platform/foundation/NSDateFormatter.h"
#include "platform/foundation/NSLog.h"
#include "platform/uikit/UIStandInFormView.h"

namespace {
std::string dateText(const std::optional<Date>& date) {
    if (!date) return "";
    NSDateFormatter formatter;
    formatter.setLocaleIdentifier("en_US_POSIX");
    formatter.setTimeZone(NSTimeZone::timeZoneForSecondsFromGMT(0));
    formatter.setDateFormat("yyyy-MM-dd HH:mm 'UTC'");
    return formatter.stringFromDate(*date);
}
}  // namespace

EKEventEditViewController::EKEventEditViewController()
    : UIStandInFormController("New Event", "Cancel", "Done"), store_(std::make_shared<EKEventStore>()) {}

void EKEventEditViewController::setEvent(std::shared_ptr<EKEvent> event) {
    event_ = std::move(event);
    showFields();
}

void EKEventEditViewController::cancel() {
    QV_ASSERT_MAIN_THREAD();
    close(EKEventEditViewActionCanceled);
}

void EKEventEditViewController::done() {
    QV_ASSERT_MAIN_THREAD();
    NSErrorPtr error;
    if (event_ && store_ && !store_->saveEvent(event_, EKSpanThisEvent, &error))
        NSLog("The event could not be saved (%@ %ld).", error->domain(), error->code());
    close(EKEventEditViewActionSaved);
}

void EKEventEditViewController::close(EKEventEditViewAction action) {
    const auto keepAlive = self<EKEventEditViewController>();  // the dismissal may let the editor go
    if (presentingViewController()) dismissViewControllerAnimated(true);
    if (const auto delegate = editViewDelegate()) delegate->eventEditViewController(*this, action);
}

UIStandInFormController::Fields EKEventEditViewController::fields() const {
    const auto field = [&](const std::string& (EKEvent::*read)() const) {
        return event_ ? ((*event_).*read)() : std::string();
    };
    return {{"Title", field(&EKEvent::title)},
            {"Location", field(&EKEvent::location)},
            {"Starts", dateText(event_ ? event_->startDate() : std::nullopt)},
            {"Ends", dateText(event_ ? event_->endDate() : std::nullopt)},
            {"Notes", field(&EKEvent::notes)}};
}
