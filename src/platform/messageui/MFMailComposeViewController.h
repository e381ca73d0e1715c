#pragma once
// The mail composer: a recording stand-in. Whether the device has a mail
// account is settable (canSendMail, yes by default); without one make()
// gives null, as the platform makes no composer then. The composer holds its
// fields (to, cc, bcc, subject, a body plain or HTML) and draws them as a
// plain screen with Cancel and Send in its bar; each button tells the
// mail-compose delegate (held weakly) the result, sent or cancelled, and
// leaves the dismissal to it. Sent mails and the composers made are recorded
// for tests.
// Main thread only.
#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/NSError.h"
#include "platform/uikit/UIStandInFormView.h"

class MFMailComposeViewController;

enum MFMailComposeResult : long {
    MFMailComposeResultCancelled = 0,
    MFMailComposeResultSaved = 1,
    MFMailComposeResultSent = 2,
    MFMailComposeResultFailed = 3,
};

class MFMailComposeViewControllerDelegate {
public:
    virtual ~MFMailComposeViewControllerDelegate() = default;
    virtual void mailComposeController(MFMailComposeViewController& /*controller*/, MFMailComposeResult /*result*/,
                                       const NSErrorPtr& /*error*/) {}
};

class MFMailComposeViewController : public UIStandInFormController {
public:
    MFMailComposeViewController();  // for make_shared: make() is the way in
    // Null when the device cannot send mail.
    static std::shared_ptr<MFMailComposeViewController> make();
    static bool canSendMail();
    static void setCanSendMail(bool can);

    struct Mail {
        std::vector<std::string> to, cc, bcc;
        std::string subject, body;
        bool bodyIsHTML = false;
    };
    // What Send sent so far, oldest first; the composers make() made, held
    // weakly, oldest first. The reset forgets both and gives the account back.
    static std::vector<Mail> sentMails();
    static std::vector<std::weak_ptr<MFMailComposeViewController>> made();
    static void resetForTesting();

    std::shared_ptr<MFMailComposeViewControllerDelegate> mailComposeDelegate() const { return delegate_.lock(); }
    void setMailComposeDelegate(const std::shared_ptr<MFMailComposeViewControllerDelegate>& delegate) {
        delegate_ = delegate;
    }
    void setToRecipients(std::vector<std::string> recipients);
    void setCcRecipients(std::vector<std::string> recipients);
    void setBccRecipients(std::vector<std::string> recipients);
    void setSubject(std::string subject);
    void setMessageBody(std::string body, bool isHTML);
    const Mail& mail() const { return mail_; }

    // The bar's buttons.
    void send();
    void cancel();

private:
    void finish(MFMailComposeResult result);
    void leftButtonTapped() override { cancel(); }
    void rightButtonTapped() override { send(); }
    Fields fields() const override;
    Mail mail_;
    std::weak_ptr<MFMailComposeViewControllerDelegate> delegate_;
};
