#pragma once
// Hands a platform connection's callbacks to the ad library object that owns
// it, holding that object weakly (releasing it cancels its load) and dropping
// calls of a connection that is no longer its current one. The owner gives
// befriends this template and answers isCurrentConnection and the five load* calls.
#include <memory>

#include "platform/net/NSURLConnection.h"

template <class Owner>
struct AKConnectionForwarder : NSURLConnectionDelegate {
    explicit AKConnectionForwarder(const std::shared_ptr<Owner>& o) : owner(o) {}
    std::weak_ptr<Owner> owner;

    std::shared_ptr<Owner> current(const NSURLConnectionPtr& connection) const {
        auto o = owner.lock();
        return o && o->isCurrentConnection(connection) ? o : nullptr;
    }
    std::shared_ptr<NSURLRequest> connectionWillSendRequest(const NSURLConnectionPtr& connection,
                                                            const std::shared_ptr<NSURLRequest>& request,
                                                            const std::shared_ptr<NSURLResponse>& redirect) override {
        auto o = current(connection);
        return o ? o->loadWillSendRequest(request, redirect) : nullptr;
    }
    void connectionDidReceiveResponse(const NSURLConnectionPtr& connection,
                                      const std::shared_ptr<NSURLResponse>& response) override {
        if (auto o = current(connection)) o->loadDidReceiveResponse(response);
    }
    void connectionDidReceiveData(const NSURLConnectionPtr& connection, const Data& data) override {
        if (auto o = current(connection)) o->loadDidReceiveData(data);
    }
    void connectionDidFinishLoading(const NSURLConnectionPtr& connection) override {
        if (auto o = current(connection)) o->loadDidFinish();
    }
    void connectionDidFailWithError(const NSURLConnectionPtr& connection, const NSErrorPtr& error) override {
        if (auto o = current(connection)) o->loadDidFail(error);
    }
};
