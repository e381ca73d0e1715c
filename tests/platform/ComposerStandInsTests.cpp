// Protects the composer and calendar stand-ins: no mail composer without a mail
// account; the fields drawn as labels; the bar's buttons tapped in a window
// telling the delegates their results (the sent mail and message recorded);
// the event store's access answer, given off the main thread; the editor's
// Done saving its event in its store and Cancel saving nothing, both closing it.
#include <doctest/doctest.h>

#include <memory>

#include "UIKitTestSupport.h"
#include "platform/base/MainThread.h"
#include "platform/dispatch/Dispatch.h"
#include "platform/eventkit/EKEventEditViewController.h"
#include "platform/messageui/MFMailComposeViewController.h"
#include "platform/messageui/MFMessageComposeViewController.h"
#include "platform/uikit/UIStandInFormView.h"
#include "platform/uikit/UIWindow.h"
#include "support/TestEnvironment.h"

namespace {
struct Heard : MFMailComposeViewControllerDelegate, MFMessageComposeViewControllerDelegate, EKEventEditViewDelegate {
    std::vector<long> results;
    void mailComposeController(MFMailComposeViewController&, MFMailComposeResult result, const NSErrorPtr&) override {
        results.push_back(result);
    }
    void messageComposeViewController(MFMessageComposeViewController&, MessageComposeResult result) override {
        results.push_back(result);
    }
    void eventEditViewController(EKEventEditViewController&, EKEventEditViewAction action) override {
        results.push_back(action);
    }
};

void tap(UIWindow& window, const UIView& view) {
    const CGRect frame = view.convertRectToView(view.bounds(), nullptr);
    const CGPoint centre = CGPointMake(CGRectGetMidX(frame), CGRectGetMidY(frame));
    window.touchEnded(window.touchBegan(centre), centre);
}

void waitFor(const std::function<bool()>& condition, const char* what) {
    INFO("waited for: " << what);
    REQUIRE(testsupport::runMainUntil(condition, 10));
}
}  // namespace

TEST_CASE("composer stand-ins: fields drawn, Send and Cancel reported to the delegate, no mail composer without an account") {
    MFMailComposeViewController::resetForTesting();
    MFMessageComposeViewController::resetForTesting();
    auto window = uikittest::visibleWindow(CGSizeMake(320, 568));
    auto root = std::make_shared<UIViewController>();
    window->setRootViewController(root);
    auto heard = std::make_shared<Heard>();

    MFMailComposeViewController::setCanSendMail(false);
    CHECK_FALSE(MFMailComposeViewController::make());
    MFMailComposeViewController::setCanSendMail(true);
    auto mail = MFMailComposeViewController::make();
    REQUIRE(mail);
    mail->setMailComposeDelegate(heard);
    mail->setToRecipients({"a@x.test"});
    mail->setCcRecipients({"b@x.test", "c@x.test"});
    mail->setSubject("Hello");
    mail->setMessageBody("<b>Hi</b>", true);
    root->presentViewController(mail, false);
    window->layoutIfNeeded();
    const auto form = mail->formView();
    CHECK(form->fieldLabel("To")->text() == "To: a@x.test");
    CHECK(form->fieldLabel("Cc")->text() == "Cc: b@x.test, c@x.test");
    CHECK(form->fieldLabel("Subject")->text() == "Subject: Hello");
    CHECK(form->fieldLabel("Body (HTML)")->text() == "Body (HTML): <b>Hi</b>");
    tap(*window, *form->rightButton());  // Send
    tap(*window, *form->leftButton());   // Cancel
    CHECK(heard->results == std::vector<long>{MFMailComposeResultSent, MFMailComposeResultCancelled});
    REQUIRE(MFMailComposeViewController::sentMails().size() == 1);
    CHECK(MFMailComposeViewController::sentMails()[0].cc == std::vector<std::string>{"b@x.test", "c@x.test"});
    CHECK(root->presentedViewController() == mail);  // the delegate dismisses, not the composer
    root->dismissViewControllerAnimated(false);

    heard->results.clear();
    auto message = std::make_shared<MFMessageComposeViewController>();
    message->setMessageComposeDelegate(heard);
    message->setRecipients({"123", "456"});
    message->setBody("Hi");
    root->presentViewController(message, false);
    window->layoutIfNeeded();
    CHECK(message->formView()->fieldLabel("To")->text() == "To: 123, 456");
    tap(*window, *message->formView()->rightButton());
    CHECK(heard->results == std::vector<long>{MessageComposeResultSent});
    REQUIRE(MFMessageComposeViewController::sentMessages().size() == 1);
    CHECK(MFMessageComposeViewController::sentMessages()[0].body == "Hi");
    root->dismissViewControllerAnimated(false);
    MFMailComposeViewController::resetForTesting();
    MFMessageComposeViewController::resetForTesting();
}

TEST_CASE("calendar stand-ins: access answered off the main thread, Done saves the event and closes, Cancel saves nothing") {
    EKEventStore::resetForTesting();
    auto window = uikittest::visibleWindow(CGSizeMake(320, 568));
    auto root = std::make_shared<UIViewController>();
    window->setRootViewController(root);

    for (const bool granted : {false, true}) {
        EKEventStore::setAccessGranted(granted);
        std::optional<bool> answer;
        bool onMain = true, errorMatches = false;
        EKEventStore store;
        store.requestAccessToEntityType(EKEntityTypeEvent, [&](bool given, const NSErrorPtr& error) {
            const bool main = isProcessMainThread(), matches = (error == nullptr) == given;
            dispatch_async(dispatch_get_main_queue(), [&, given, main, matches] {
                onMain = main;
                errorMatches = matches;
                answer = given;
            });
        });
        waitFor([&] { return answer.has_value(); }, "the access answer");
        CHECK(*answer == granted);
        CHECK(errorMatches);
        CHECK_FALSE(onMain);
    }
    CHECK(EKEventStore::accessRequestCount() == 2);

    auto heard = std::make_shared<Heard>();
    for (const bool done : {true, false}) {
        auto editor = std::make_shared<EKEventEditViewController>();
        editor->setEditViewDelegate(heard);
        auto event = EKEvent::eventWithEventStore(editor->eventStore());
        event->setTitle("Launch");
        NSErrorPtr error;
        CHECK_FALSE(editor->eventStore()->saveEvent(event, EKSpanThisEvent, &error));  // no dates yet
        CHECK(error->code() == EKErrorNoStartDate);
        event->setStartDate(Date{1798099200});  // 2026-12-24 08:00 UTC
        event->setEndDate(Date{1798102800});
        editor->setEvent(event);
        root->presentViewController(editor, false);
        window->layoutIfNeeded();
        CHECK(editor->formView()->fieldLabel("Starts")->text() == "Starts: 2026-12-24 08:00 UTC");
        tap(*window, done ? *editor->formView()->rightButton() : *editor->formView()->leftButton());
        waitFor([&] { return !root->presentedViewController(); }, "the editor to close");
        CHECK(editor->eventStore()->events().size() == (done ? 1U : 0U));
    }
    CHECK(heard->results == std::vector<long>{EKEventEditViewActionSaved, EKEventEditViewActionCanceled});
    EKEventStore::resetForTesting();
}
