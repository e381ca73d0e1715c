#pragma once
// The store's product sheet: a view controller that loads one product's store
// page and shows it inside the application. This stand-in draws a plain white
// screen: a "Done" button at the top right, the product's identifier, and the
// load's state under it ("Loading", "Loaded" or "Cannot connect").
//
// Loading (loadProductWithParameters): the identifier is the parameter
// SKStoreProductParameterITunesItemIdentifier (a number or a text). Its outcome
// is what tests set for that identifier, else the global outcome (success at
// once by default): success, or failure with an NSError, after a delay on the
// Clock (virtual time included). Parameters without an identifier fail at once
// (SKErrorDomain, SKErrorUnknown, kNoProductDescription). As on the device, the completion runs on a
// background queue, never the main thread; the sheet's own state changes on
// the main queue before the completion is called.
//
// Done: the delegate (held weakly) is told productViewControllerDidFinish; the
// sheet does not dismiss itself. The class is registered by name
// ("SKStoreProductViewController") in the class registry when the library is
// linked, so callers may look it up. Main thread, except the outcome setters
// and the counters, which any thread may use.
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/NSError.h"
#include "platform/foundation/Value.h"
#include "platform/uikit/UIViewController.h"

class SKStoreProductViewController;
class UIButton;
class UILabel;

// The parameter naming the product to load.
inline constexpr const char* SKStoreProductParameterITunesItemIdentifier = "id";

class SKStoreProductViewControllerDelegate {
public:
    virtual ~SKStoreProductViewControllerDelegate() = default;
    // The user pressed Done; the presenter dismisses the sheet.
    virtual void productViewControllerDidFinish(const std::shared_ptr<SKStoreProductViewController>& controller) = 0;
};

class SKStoreProductViewController : public UIViewController {
public:
    using LoadCompletion = std::function<void(bool result, NSErrorPtr error)>;
    enum class LoadState { NotLoaded, Loading, Loaded, Failed };

    // The description of the error of a load that names no product.
    static constexpr const char* kNoProductDescription = "No product was named.";
    // How a load ends: a null error is success.
    struct Outcome {
        NSErrorPtr error;
        double delay = 0;  // seconds on the Clock
    };
    static void setOutcomeForProductID(const std::string& productID, Outcome outcome);
    static void setDefaultOutcome(Outcome outcome);
    static void resetOutcomes();  // success at once for every product
    // The sheets made so far, the loads started, and the loads whose
    // completion has returned (for tests).
    static std::size_t createdCount();
    static std::size_t loadCount();
    static std::size_t completedLoadCount();

    SKStoreProductViewController();
    ~SKStoreProductViewController() override;

    std::shared_ptr<SKStoreProductViewControllerDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(const std::shared_ptr<SKStoreProductViewControllerDelegate>& delegate) { delegate_ = delegate; }

    // Starts loading; the completion (optional) gets the outcome off the main thread.
    void loadProductWithParameters(const Value& parameters, LoadCompletion completion = {});

    // What the sheet was asked to load, and how far it got.
    const std::string& productID() const { return productID_; }
    LoadState loadState() const { return loadState_; }
    // The screen's parts (the view is loaded on first use).
    std::shared_ptr<UIButton> doneButton();
    std::shared_ptr<UILabel> productLabel();
    std::shared_ptr<UILabel> stateLabel();

    void loadView() override;

private:
    void finishLoad(bool loaded);
    void refresh();

    std::weak_ptr<SKStoreProductViewControllerDelegate> delegate_;
    std::string productID_;
    LoadState loadState_ = LoadState::NotLoaded;
    std::shared_ptr<UILabel> productLabel_;
    std::shared_ptr<UILabel> stateLabel_;
    std::shared_ptr<UIButton> doneButton_;
};
