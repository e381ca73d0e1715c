#include "adkit/foundation/AKMacros.h"

#include "adkit/foundation/AKObjectAdditions.h"
#include "platform/dispatch/Dispatch.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/ProcessLifetime.h"

namespace {

std::mutex& checkerMutex() {
    static ProcessLifetime<std::mutex> mutex;
    return *mutex;
}

std::shared_ptr<AKLogChecker>& checkerSlot() {
    static ProcessLifetime<std::shared_ptr<AKLogChecker>> checker;
    return *checker;
}

}  // namespace

namespace AKMacros {

void runSynchronouslyOnMainThreadWithBlock(const std::function<void()>& block) { dispatch_main_sync_safe(block); }

void pubLog(const std::string& message) {
    if (auto checker = logChecker()) checker->message(message);
    NSLog("<AdKit> %@", message);
}

void setLogChecker(std::shared_ptr<AKLogChecker> checker) {
    std::lock_guard<std::mutex> lock(checkerMutex());
    checkerSlot().swap(checker);
}

std::shared_ptr<AKLogChecker> logChecker() {
    std::lock_guard<std::mutex> lock(checkerMutex());
    return checkerSlot();
}

std::string dictionaryToJSONString(const Value& dictionary) {
    return ak_JSONStringPretty(dictionary, false).value_or("");
}

std::optional<Value> readJsonIntoDictionary(const std::string& text) {
    NSErrorPtr error;
    auto object = ak_decodedJSONObject(text, &error);
    if (error || !object || !object->isDictionary()) return std::nullopt;
    return object;
}

}  // namespace AKMacros

void AKRunSynchronouslyOnMainThread(const std::function<void()>& block) {
    AKMacros::runSynchronouslyOnMainThreadWithBlock(block);
}

bool AKCheckCategoriesLoaded() { return true; }
