#include "platform/messageui/MFMessageComposeViewController.h"

#include "platform/base/ThreadAssertions.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/ProcessLifetime.h"
#include "platform/uikit/UIStandInFormView.h"

namespace {
struct Recorded {
    bool canSendText = true;
    std::vector<MFMessageComposeViewController::Message> sent;
};
Recorded& recorded() {
    static ProcessLifetime<Recorded> state;
    return *state;
}
}  // namespace

MFMessageComposeViewController::MFMessageComposeViewController()
    : UIStandInFormController("New Message", "Cancel", "Send") {}

bool MFMessageComposeViewController::canSendText() { return recorded().canSendText; }
void MFMessageComposeViewController::setCanSendText(bool can) { recorded().canSendText = can; }
std::vector<MFMessageComposeViewController::Message> MFMessageComposeViewController::sentMessages() {
    return recorded().sent;
}
void MFMessageComposeViewController::resetForTesting() { recorded() = Recorded{}; }

void MFMessageComposeViewController::setRecipients(std::vector<std::string> recipients) {
    message_.recipients = std::move(recipients);
    showFields();
}
void MFMessageComposeViewController::setBody(std::string body) {
    message_.body = std::move(body);
    showFields();
}

void MFMessageComposeViewController::send() {
    QV_ASSERT_MAIN_THREAD();
    recorded().sent.push_back(message_);
    finish(MessageComposeResultSent);
}

void MFMessageComposeViewController::cancel() {
    QV_ASSERT_MAIN_THREAD();
    finish(MessageComposeResultCancelled);
}

void MFMessageComposeViewController::finish(MessageComposeResult result) {
    const auto keepAlive = self<MFMessageComposeViewController>();  // the delegate may let the composer go
    if (const auto delegate = messageComposeDelegate()) delegate->messageComposeViewController(*this, result);
}

UIStandInFormController::Fields MFMessageComposeViewController::fields() const {
    return {{"To", componentsJoinedByString(message_.recipients, ", ")}, {"Body", message_.body}};
}
