#pragma once
// A transition a storyboard makes from one controller to another: its
// identifier, the source and the destination. `perform` carries it out;
// subclasses give their own (the base does nothing). The segue holds both
// controllers while it lives.
//
// Main thread only.
#include <memory>
#include <string>

#include "platform/foundation/NSObject.h"

class UIViewController;

class UIStoryboardSegue : public NSObject {
public:
    UIStoryboardSegue(std::string identifier, std::shared_ptr<UIViewController> source,
                      std::shared_ptr<UIViewController> destination);
    ~UIStoryboardSegue() override;

    const std::string& identifier() const { return identifier_; }
    const std::shared_ptr<UIViewController>& sourceViewController() const { return source_; }
    const std::shared_ptr<UIViewController>& destinationViewController() const { return destination_; }

    virtual void perform() {}

private:
    std::string identifier_;
    std::shared_ptr<UIViewController> source_;
    std::shared_ptr<UIViewController> destination_;
};
