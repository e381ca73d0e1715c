#pragma once
// The reuse queue of a list (table or collection): views that scrolled out wait
// here by reuse identifier until the data source dequeues one, and a view class
// or interface file registered under an identifier makes a new one when none
// waits. A dequeued view that waited is told prepareForReuse first.
//
// Main thread only (it belongs to its list).
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/uikit/UINib.h"

inline constexpr std::size_t kReusableViewQueueLimit = 64;

template <class View>
class UIReusableViewQueue {
public:
    using Factory = std::function<std::shared_ptr<View>()>;

    void registerFactory(const std::string& identifier, Factory factory) {
        if (factory) factories_[identifier] = std::move(factory);
        else factories_.erase(identifier);
    }
    // The first top-level view of type View the file builds.
    void registerNib(const std::string& identifier, const UINibPtr& nib) {
        if (!nib) {
            factories_.erase(identifier);
            return;
        }
        registerFactory(identifier, [nib] { return nib->template instantiateFirst<View>(nullptr); });
    }
    bool isRegistered(const std::string& identifier) const { return factories_.count(identifier) != 0; }

    // A waiting view, else a new one from the registration, else null.
    std::shared_ptr<View> dequeue(const std::string& identifier) {
        auto& waiting = queues_[identifier];
        if (!waiting.empty()) {
            auto view = waiting.back();
            waiting.pop_back();
            view->prepareForReuse();
            return view;
        }
        auto it = factories_.find(identifier);
        if (it == factories_.end()) return nullptr;
        auto view = it->second();
        if (view) view->setReuseIdentifier(identifier);
        ++made_;
        return view;
    }

    // A view without an identifier is not kept.
    void enqueue(const std::shared_ptr<View>& view) {
        if (!view || view->reuseIdentifier().empty()) return;
        auto& waiting = queues_[view->reuseIdentifier()];
        if (waiting.size() < kReusableViewQueueLimit) waiting.push_back(view);
    }

    std::size_t waitingCount() const {
        std::size_t n = 0;
        for (auto& [id, views] : queues_) n += views.size();
        return n;
    }
    // How many views the registrations made so far.
    std::size_t madeCount() const { return made_; }

private:
    std::map<std::string, Factory> factories_;
    std::map<std::string, std::vector<std::shared_ptr<View>>> queues_;
    std::size_t made_ = 0;
};
