#pragma once
// The ad library's small shared services: running work synchronously on the
// main thread, publisher log lines ("<AdKit> %@") with a replaceable checker,
// JSON text of dictionaries, and the once-only holder of main-thread facts.
//
// Threads: everything here may be called from any thread. The main-thread runs
// never dispatch when called on the main thread; from another thread they
// block until the main queue ran the block (a caller holding the main thread
// must not wait for such a caller).
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/foundation/NSError.h"
#include "platform/foundation/Value.h"

// Receives every publisher log message before it is written.
class AKLogChecker {
public:
    virtual ~AKLogChecker() = default;
    virtual void message(const std::string& text) = 0;
};

namespace AKMacros {
void runSynchronouslyOnMainThreadWithBlock(const std::function<void()>& block);
// Hands the message to the checker (when set), then writes "<AdKit> " + message.
void pubLog(const std::string& message);
// Replaces the checker (nullptr: none). Safe while other threads log.
void setLogChecker(std::shared_ptr<AKLogChecker> checker);
std::shared_ptr<AKLogChecker> logChecker();
// Compact JSON of the dictionary, "" when it cannot be written as JSON.
std::string dictionaryToJSONString(const Value& dictionary);
// The dictionary parsed from the text; nullopt for other JSON or invalid text.
std::optional<Value> readJsonIntoDictionary(const std::string& text);
}  // namespace AKMacros

void AKRunSynchronouslyOnMainThread(const std::function<void()>& block);
// The library's extensions are compiled into it, so they are always there.
bool AKCheckCategoriesLoaded();

// A value read once and kept. The read runs outside the holder's lock, so a
// read that waits for another thread never does so while holding it (two first
// callers may both read; the first stored value wins and every caller gets it).
template <class T>
class AKOnceValue {
public:
    T get(const std::function<T()>& read) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (value_) return *value_;
        }
        T fresh = read();
        std::lock_guard<std::mutex> lock(mutex_);
        if (!value_) value_ = std::move(fresh);
        return *value_;
    }
    // Forgets the value (tests that change the fact between cases).
    void reset() {
        std::lock_guard<std::mutex> lock(mutex_);
        value_.reset();
    }

private:
    std::mutex mutex_;
    std::optional<T> value_;
};

// A fact read once on the main thread and kept: a first caller off the main
// thread waits for the main thread without holding the once-only lock.
template <class T>
class AKMainThreadOnce {
public:
    T get(const std::function<T()>& read) {
        return once_.get([&] {
            T fresh{};
            AKRunSynchronouslyOnMainThread([&] { fresh = read(); });
            return fresh;
        });
    }
    void reset() { once_.reset(); }

private:
    AKOnceValue<T> once_;
};
