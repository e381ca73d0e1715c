#pragma once
// The pull-to-refresh control of a list: refreshing between beginRefreshing
// and endRefreshing; "refreshing" is observable. Main thread only.
#include "platform/uikit/UIControl.h"

class UIRefreshControl : public UIControl {
public:
    using UIControl::UIControl;
    bool isRefreshing() const { return refreshing_; }
    void beginRefreshing();
    void endRefreshing();

private:
    bool refreshing_ = false;
};
