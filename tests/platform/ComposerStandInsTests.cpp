// Protects what the composer and calendar stand-ins do beyond what the ad
// library's composer road shows: no mail composer without a mail account, an
// HTML body drawn as such, the event store's access answer given off the main
// thread, and events without their dates refused by the store.
#include <doctest/doctest.h>

#include <memory>

#include "platform/base/MainThread.h"
#include "platform/dispatch/Dispatch.h"
#include "platform/eventkit/EKEventStore.h"
#include "platform/eventkit/EKEvent.h"
#include "platform/messageui/MFMailComposeViewController.h"
#include "support/TestEnvironment.h"

TEST_CASE("composer and calendar stand-ins: no composer without an account, access answered off the main thread, dates required") {
    MFMailComposeViewController::setCanSendMail(false);
    CHECK_FALSE(MFMailComposeViewController::make());
    MFMailComposeViewController::resetForTesting();
    const auto mail = MFMailComposeViewController::make();
    REQUIRE(mail);
    mail->setMessageBody("<b>Hi</b>", true);
    CHECK(mail->formView()->fieldLabel("Body (HTML)")->text() == "Body (HTML): <b>Hi</b>");

    EKEventStore::resetForTesting();
    auto store = std::make_shared<EKEventStore>();
    for (const bool granted : {false, true}) {
        EKEventStore::setAccessGranted(granted);
        std::optional<bool> answer;
        bool onMain = true, errorMatches = false;
        store->requestAccessToEntityType(EKEntityTypeEvent, [&](bool given, const NSErrorPtr& error) {
            const bool main = isProcessMainThread(), matches = (error == nullptr) == given;
            dispatch_async(dispatch_get_main_queue(), [&, given, main, matches] {
                onMain = main;
                errorMatches = matches;
                answer = given;
            });
        });
        INFO("waited for: the access answer");
        REQUIRE(testsupport::runMainUntil([&] { return answer.has_value(); }));
        CHECK(*answer == granted);
        CHECK(errorMatches);
        CHECK_FALSE(onMain);
    }
    CHECK(EKEventStore::accessRequestCount() == 2);

    const auto event = EKEvent::eventWithEventStore(store);
    NSErrorPtr error;
    CHECK_FALSE(store->saveEvent(event, EKSpanThisEvent, &error));
    CHECK(error->code() == EKErrorNoStartDate);
    event->setStartDate(Date{1798099200});
    CHECK_FALSE(store->saveEvent(event, EKSpanThisEvent, &error));
    CHECK(error->code() == EKErrorNoEndDate);
    event->setEndDate(Date{1798102800});
    CHECK(store->saveEvent(event, EKSpanThisEvent, &error));
    CHECK_FALSE(std::make_shared<EKEventStore>()->saveEvent(event, EKSpanThisEvent, &error));  // another store's event
    CHECK(store->events().size() == 1);
    EKEventStore::resetForTesting();
    MFMailComposeViewController::resetForTesting();
}
