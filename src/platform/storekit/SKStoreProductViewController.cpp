#include "platform/storekit/SKStoreProductViewController.h"

#include <atomic>
#include <map>
#include <mutex>

#include "platform/base/ThreadAssertions.h"
#include "platform/dispatch/Dispatch.h"
#include "platform/foundation/ClassRegistry.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/ProcessLifetime.h"
#include "platform/graphics/CGColor.h"
#include "platform/storekit/SKPaymentQueue.h"
#include "platform/uikit/NSParagraphStyle.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIFont.h"
#include "platform/uikit/UILabel.h"

namespace {

constexpr CGFloat kStatusBarHeight = 20, kBarHeight = 44;
constexpr CGFloat kDoneWidth = 72, kMargin = 8;

struct Outcomes {
    std::mutex mutex;
    std::map<std::string, SKStoreProductViewController::Outcome> byProduct;
    SKStoreProductViewController::Outcome global;
    std::atomic<std::size_t> created{0};
    std::atomic<std::size_t> loads{0};
    std::atomic<std::size_t> completed{0};
};

Outcomes& outcomes() {
    static ProcessLifetime<Outcomes> shared;
    return *shared;
}

SKStoreProductViewController::Outcome outcomeFor(const std::string& productID) {
    auto& all = outcomes();
    std::lock_guard lock(all.mutex);
    auto found = all.byProduct.find(productID);
    return found != all.byProduct.end() ? found->second : all.global;
}

// The class is known by name wherever the store library is linked.
const bool registered = [] {
    ClassRegistry::registerClass({"SKStoreProductViewController", "UIViewController", {}, nullptr});
    return true;
}();

std::shared_ptr<UILabel> makeLabel(const char* identifier, CGFloat size, CGFloat grey) {
    auto label = std::make_shared<UILabel>();
    label->setTextColor(CGColorCreateSRGB(grey, grey, grey, 1));
    label->setFont(UIFont::systemFontOfSize(size));
    label->setTextAlignment(NSTextAlignmentCenter);
    label->setAccessibilityIdentifier(identifier);
    return label;
}

const char* stateText(SKStoreProductViewController::LoadState state) {
    switch (state) {
        case SKStoreProductViewController::LoadState::Loaded: return "Loaded";
        case SKStoreProductViewController::LoadState::Failed: return "Cannot connect";
        case SKStoreProductViewController::LoadState::Loading: return "Loading";
        case SKStoreProductViewController::LoadState::NotLoaded: break;
    }
    return "";
}

// The sheet's screen: a light bar with Done at the top, the product in the middle.
class StoreSheetView : public UIView {
public:
    using UIView::UIView;
    std::shared_ptr<UIView> bar, done, product, state;
    void layoutSubviews() override {
        const CGRect b = bounds();
        bar->setFrame(CGRectMake(0, 0, b.size.width, kStatusBarHeight + kBarHeight));
        done->setFrame(CGRectMake(b.size.width - kDoneWidth - kMargin, kStatusBarHeight + 6, kDoneWidth, 32));
        const CGFloat middle = b.size.height / 2;
        product->setFrame(CGRectMake(20, middle - 30, b.size.width - 40, 26));
        state->setFrame(CGRectMake(20, middle + 4, b.size.width - 40, 22));
    }
};

}  // namespace

void SKStoreProductViewController::setOutcomeForProductID(const std::string& productID, Outcome outcome) {
    auto& all = outcomes();
    std::lock_guard lock(all.mutex);
    all.byProduct[productID] = std::move(outcome);
}

void SKStoreProductViewController::setDefaultOutcome(Outcome outcome) {
    auto& all = outcomes();
    std::lock_guard lock(all.mutex);
    all.global = std::move(outcome);
}

void SKStoreProductViewController::resetOutcomes() {
    auto& all = outcomes();
    std::lock_guard lock(all.mutex);
    all.byProduct.clear();
    all.global = {};
}

std::size_t SKStoreProductViewController::createdCount() { return outcomes().created.load(); }
std::size_t SKStoreProductViewController::loadCount() { return outcomes().loads.load(); }
std::size_t SKStoreProductViewController::completedLoadCount() { return outcomes().completed.load(); }

SKStoreProductViewController::SKStoreProductViewController() {
    (void)registered;
    outcomes().created.fetch_add(1);
}

SKStoreProductViewController::~SKStoreProductViewController() = default;

void SKStoreProductViewController::loadProductWithParameters(const Value& parameters, LoadCompletion completion) {
    QV_ASSERT_MAIN_THREAD();
    const Value identifier = parameters[SKStoreProductParameterITunesItemIdentifier];
    productID_ = identifier.isNumber() ? std::to_string(identifier.longLongValue()) : identifier.stringValue();
    loadState_ = LoadState::Loading;
    outcomes().loads.fetch_add(1);
    refresh();
    // Parameters that name no product have nothing to load: the store fails them.
    const Outcome outcome = identifier.isNull()
                                ? Outcome{NSError::make(SKErrorDomain, SKErrorUnknown, kNoProductDescription), 0}
                                : outcomeFor(productID_);
    std::weak_ptr<SKStoreProductViewController> weakSheet = self<SKStoreProductViewController>();
    auto finish = [weakSheet, outcome, completion = std::move(completion)] {
        const bool loaded = !outcome.error;
        // The sheet changes on the main queue; the caller hears of it here, off the main thread.
        dispatch_async(dispatch_get_main_queue(), [weakSheet, loaded] {
            if (auto sheet = weakSheet.lock()) sheet->finishLoad(loaded);
        });
        if (completion) completion(loaded, outcome.error);
        outcomes().completed.fetch_add(1);
    };
    const auto background = dispatch_get_global_queue(0, 0);
    if (outcome.delay > 0) {
        dispatch_after(dispatch_time(DISPATCH_TIME_NOW, Clock::nanosecondsFor(outcome.delay)), background,
                       std::move(finish));
    } else {
        dispatch_async(background, std::move(finish));
    }
}

void SKStoreProductViewController::finishLoad(bool loaded) {
    loadState_ = loaded ? LoadState::Loaded : LoadState::Failed;
    refresh();
}

std::shared_ptr<UIButton> SKStoreProductViewController::doneButton() {
    (void)view();
    return doneButton_;
}

std::shared_ptr<UILabel> SKStoreProductViewController::productLabel() {
    (void)view();
    return productLabel_;
}

std::shared_ptr<UILabel> SKStoreProductViewController::stateLabel() {
    (void)view();
    return stateLabel_;
}

void SKStoreProductViewController::loadView() {
    auto screen = std::make_shared<StoreSheetView>(CGRectMake(0, 0, 320, 480));
    screen->setBackgroundColor(CGColorCreateSRGB(1, 1, 1, 1));
    screen->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
    auto bar = std::make_shared<UIView>();
    bar->setBackgroundColor(CGColorCreateSRGB(0.97, 0.97, 0.97, 1));
    productLabel_ = makeLabel("productLabel", 17, 0.1);
    stateLabel_ = makeLabel("stateLabel", 15, 0.45);
    doneButton_ = std::make_shared<UIButton>();
    doneButton_->setTitle("Done", UIControlStateNormal);
    doneButton_->setTitleColor(CGColorCreateSRGB(0, 0.48, 1, 1), UIControlStateNormal);
    doneButton_->setAccessibilityIdentifier("doneButton");
    doneButton_->setAccessibilityLabel("Done");
    std::weak_ptr<SKStoreProductViewController> weakSheet = self<SKStoreProductViewController>();
    doneButton_->addTarget(
        self(),
        [weakSheet](UIControl&, UIEvent*) {
            auto sheet = weakSheet.lock();
            if (auto delegate = sheet ? sheet->delegate() : nullptr) delegate->productViewControllerDidFinish(sheet);
        },
        UIControlEventTouchUpInside);
    screen->bar = bar;
    screen->done = doneButton_;
    screen->product = productLabel_;
    screen->state = stateLabel_;
    screen->addSubview(bar);
    screen->addSubview(productLabel_);
    screen->addSubview(stateLabel_);
    screen->addSubview(doneButton_);
    screen->setNeedsLayout();
    setView(screen);
    refresh();
}

void SKStoreProductViewController::refresh() {
    if (!productLabel_) return;
    productLabel_->setText(productID_.empty() ? std::string() : "Product " + productID_);
    stateLabel_->setText(stateText(loadState_));
}
