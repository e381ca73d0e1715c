#pragma once
// The calendar event editor: a recording stand-in. It makes its own event
// store (replaceable before use) and shows its event as a plain screen (title,
// location, start, end and notes; dates in UTC) with Cancel and Done in its
// bar. Cancel closes it and saves nothing; Done saves the event in the store
// and closes it (an event the store refuses is not saved, and the editor
// still closes). Closing dismisses the editor; the edit-view delegate, when
// there is one (held weakly), is told the action afterwards. Main thread only.
#include <memory>

#include "platform/eventkit/EKEvent.h"
#include "platform/eventkit/EKEventStore.h"
#include "platform/uikit/UIStandInFormView.h"

class EKEventEditViewController;

enum EKEventEditViewAction : long {
    EKEventEditViewActionCanceled = 0,
    EKEventEditViewActionSaved = 1,
    EKEventEditViewActionDeleted = 2,
};

class EKEventEditViewDelegate {
public:
    virtual ~EKEventEditViewDelegate() = default;
    virtual void eventEditViewController(EKEventEditViewController& /*controller*/,
                                         EKEventEditViewAction /*action*/) {}
};

class EKEventEditViewController : public UIStandInFormController {
public:
    EKEventEditViewController();

    const std::shared_ptr<EKEventStore>& eventStore() const { return store_; }
    void setEventStore(std::shared_ptr<EKEventStore> store) { store_ = std::move(store); }
    const std::shared_ptr<EKEvent>& event() const { return event_; }
    void setEvent(std::shared_ptr<EKEvent> event);
    std::shared_ptr<EKEventEditViewDelegate> editViewDelegate() const { return delegate_.lock(); }
    void setEditViewDelegate(const std::shared_ptr<EKEventEditViewDelegate>& delegate) { delegate_ = delegate; }

    // The bar's buttons.
    void cancel();
    void done();

private:
    void close(EKEventEditViewAction action);
    void leftButtonTapped() override { cancel(); }
    void rightButtonTapped() override { done(); }
    Fields fields() const override;
    std::shared_ptr<EKEventStore> store_;
    std::shared_ptr<EKEvent> event_;
    std::weak_ptr<EKEventEditViewDelegate> delegate_;
};
