#include "platform/messageui/MFMailComposeViewController.h"

#include "platform/base/ThreadAssertions.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/ProcessLifetime.h"
#include "platform/uikit/UIStandInFormView.h"

namespace {
struct Recorded {
    bool canSendMail = true;
    std::vector<MFMailComposeViewController::Mail> sent;
    std::vector<std::weak_ptr<MFMailComposeViewController>> made;
};
Recorded& recorded() {
    static ProcessLifetime<Recorded> state;
    return *state;
}
}  // namespace

MFMailComposeViewController::MFMailComposeViewController() : UIStandInFormController("New Message", "Cancel", "Send") {}

std::shared_ptr<MFMailComposeViewController> MFMailComposeViewController::make() {
    QV_ASSERT_MAIN_THREAD();
    if (!recorded().canSendMail) return nullptr;
    auto composer = std::make_shared<MFMailComposeViewController>();
    recorded().made.push_back(composer);
    return composer;
}

bool MFMailComposeViewController::canSendMail() { return recorded().canSendMail; }
void MFMailComposeViewController::setCanSendMail(bool can) { recorded().canSendMail = can; }
std::vector<MFMailComposeViewController::Mail> MFMailComposeViewController::sentMails() { return recorded().sent; }
std::vector<std::weak_ptr<MFMailComposeViewController>> MFMailComposeViewController::made() {
    return recorded().made;
}
void MFMailComposeViewController::resetForTesting() { recorded() = Recorded{}; }

void MFMailComposeViewController::setToRecipients(std::vector<std::string> recipients) {
    mail_.to = std::move(recipients);
    showFields();
}
void MFMailComposeViewController::setCcRecipients(std::vector<std::string> recipients) {
    mail_.cc = std::move(recipients);
    showFields();
}
void MFMailComposeViewController::setBccRecipients(std::vector<std::string> recipients) {
    mail_.bcc = std::move(recipients);
    showFields();
}
void MFMailComposeViewController::setSubject(std::string subject) {
    mail_.subject = std::move(subject);
    showFields();
}
void MFMailComposeViewController::setMessageBody(std::string body, bool isHTML) {
    mail_.body = std::move(body);
    mail_.bodyIsHTML = isHTML;
    showFields();
}

void MFMailComposeViewController::send() {
    QV_ASSERT_MAIN_THREAD();
    recorded().sent.push_back(mail_);
    finish(MFMailComposeResultSent);
}

void MFMailComposeViewController::cancel() {
    QV_ASSERT_MAIN_THREAD();
    finish(MFMailComposeResultCancelled);
}

void MFMailComposeViewController::finish(MFMailComposeResult result) {
    const auto keepAlive = self<MFMailComposeViewController>();  // the delegate may let the composer go
    if (const auto delegate = mailComposeDelegate()) delegate->mailComposeController(*this, result, nullptr);
}

UIStandInFormController::Fields MFMailComposeViewController::fields() const {
    return {{"To", componentsJoinedByString(mail_.to, ", ")},
            {"Cc", componentsJoinedByString(mail_.cc, ", ")},
            {"Bcc", componentsJoinedByString(mail_.bcc, ", ")},
            {"Subject", mail_.subject},
            {mail_.bodyIsHTML ? "Body (HTML)" : "Body", mail_.body}};
}
