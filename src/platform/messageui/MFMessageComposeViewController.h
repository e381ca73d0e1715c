#pragma once
// The message composer: a recording stand-in. Whether the device can send
// text is settable (canSendText, yes by default). The composer holds the
// recipients and the body and draws them as a plain screen with Cancel and
// Send in its bar; each button tells the message-compose delegate (held
// weakly) the result and leaves the dismissal to it. Sent messages are
// recorded for tests. Main thread only.
#include <memory>
#include <string>
#include <vector>

#include "platform/uikit/UIStandInFormView.h"

class MFMessageComposeViewController;

enum MessageComposeResult : long {
    MessageComposeResultCancelled = 0,
    MessageComposeResultSent = 1,
    MessageComposeResultFailed = 2,
};

class MFMessageComposeViewControllerDelegate {
public:
    virtual ~MFMessageComposeViewControllerDelegate() = default;
    virtual void messageComposeViewController(MFMessageComposeViewController& /*controller*/,
                                              MessageComposeResult /*result*/) {}
};

class MFMessageComposeViewController : public UIStandInFormController {
public:
    MFMessageComposeViewController();
    static bool canSendText();
    static void setCanSendText(bool can);

    struct Message {
        std::vector<std::string> recipients;
        std::string body;
    };
    // What Send sent so far, oldest first; the reset forgets them and lets the device send text again.
    static std::vector<Message> sentMessages();
    static void resetForTesting();

    std::shared_ptr<MFMessageComposeViewControllerDelegate> messageComposeDelegate() const { return delegate_.lock(); }
    void setMessageComposeDelegate(const std::shared_ptr<MFMessageComposeViewControllerDelegate>& delegate) {
        delegate_ = delegate;
    }
    const std::vector<std::string>& recipients() const { return message_.recipients; }
    void setRecipients(std::vector<std::string> recipients);
    const std::string& body() const { return message_.body; }
    void setBody(std::string body);

    // The bar's buttons.
    void send();
    void cancel();

private:
    void finish(MessageComposeResult result);
    void leftButtonTapped() override { cancel(); }
    void rightButtonTapped() override { send(); }
    Fields fields() const override;
    Message message_;
    std::weak_ptr<MFMessageComposeViewControllerDelegate> delegate_;
};
