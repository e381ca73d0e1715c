#include "platform/media/AVAudioSession.h"

#include <algorithm>
#include <array>

#include "platform/foundation/ProcessLifetime.h"

namespace {
// The platform reports a refused category with the four-character code '!cat'.
constexpr long kUnknownCategoryStatus = 0x21636174;
}

std::shared_ptr<AVAudioSession> AVAudioSession::sharedInstance() {
    static ProcessLifetime<std::shared_ptr<AVAudioSession>> session(std::make_shared<AVAudioSession>());
    return *session;
}

bool AVAudioSession::setCategory(const std::string& category, NSErrorPtr* error) {
    static const std::array<std::string, 6> known = {
        AVAudioSessionCategoryAmbient,  AVAudioSessionCategorySoloAmbient,   AVAudioSessionCategoryPlayback,
        AVAudioSessionCategoryRecord,   AVAudioSessionCategoryPlayAndRecord, AVAudioSessionCategoryMultiRoute};
    std::lock_guard lock(mutex_);
    NSErrorPtr failure = categoryFailure_;
    if (!failure && std::find(known.begin(), known.end(), category) == known.end())
        failure = NSError::make(NSOSStatusErrorDomain, kUnknownCategoryStatus, "Unknown audio session category " + category);
    if (failure) {
        if (error) *error = failure;
        return false;
    }
    category_ = category;
    return true;
}

bool AVAudioSession::setActive(bool active, NSErrorPtr* error) {
    std::lock_guard lock(mutex_);
    if (activeFailure_) {
        if (error) *error = activeFailure_;
        return false;
    }
    active_ = active;
    return true;
}

std::string AVAudioSession::category() const {
    std::lock_guard lock(mutex_);
    return category_;
}

bool AVAudioSession::isActive() const {
    std::lock_guard lock(mutex_);
    return active_;
}

void AVAudioSession::injectFailures(NSErrorPtr categoryError, NSErrorPtr activeError) {
    auto session = sharedInstance();
    std::lock_guard lock(session->mutex_);
    session->categoryFailure_ = std::move(categoryError);
    session->activeFailure_ = std::move(activeError);
    session->category_ = AVAudioSessionCategorySoloAmbient;
    session->active_ = false;
}
