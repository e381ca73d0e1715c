#pragma once
// The stream picker (storyboard "Main", identifier "ListStreamViewController"):
// the streams of one chapter, the chosen one checked (the first when the view
// loads), and Play, Download and Cancel buttons that hand the choice to the
// delegate. The presenter sets streamArray and the delegate before the view
// loads and the heading after. The detail page shows it as a centred dialog.
//
// Main thread only. The delegate is held weakly.
#include <memory>

#include "platform/foundation/Value.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UILabel.h"
#include "screens/ListPickerViewController.h"

class UIControl;

// Each call is made only when the delegate answers YES from the matching
// respondsTo. The stream is the chosen stream entry ({"name", "link"}), null
// when the picker has none.
class ListStreamViewDelegate {
public:
    virtual ~ListStreamViewDelegate() = default;
    virtual bool respondsToListStreamViewDownloadStream() const { return false; }
    virtual void listStreamViewDownloadStream(const Value& /*stream*/) {}
    virtual bool respondsToListStreamViewPlayStream() const { return false; }
    virtual void listStreamViewPlayStream(const Value& /*stream*/) {}
    virtual bool respondsToListStreamViewCancelView() const { return false; }
    virtual void listStreamViewCancelView() {}
};

class ListStreamViewController : public ListPickerViewController {
public:
    static constexpr const char* kStoryboardIdentifier = "ListStreamViewController";
    static constexpr const char* kCellIdentifier = "ChapterCellIdentifier";

    ListStreamViewController() : ListPickerViewController(kCellIdentifier) {}

    void viewDidLoad() override;
    // Actions of the three buttons.
    void downloadVideo(UIControl* sender);
    void playVideo(UIControl* sender);
    void cancelView(UIControl* sender);

    const Value& streamArray() const { return streamArray_; }
    void setStreamArray(Value streams) { streamArray_ = std::move(streams); }
    const Value& streammSelect() const { return streammSelect_; }
    std::shared_ptr<ListStreamViewDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(const std::shared_ptr<ListStreamViewDelegate>& delegate) { delegate_ = delegate; }

    struct Outlets {
        std::weak_ptr<UILabel> movieName;
        std::weak_ptr<UITableView> movieTable;
        std::weak_ptr<UIButton> downloadButton;
        std::weak_ptr<UIButton> playButton;
        std::weak_ptr<UIButton> cancelButton;
    };
    Outlets& outlets() { return outlets_; }
    std::shared_ptr<UILabel> movieName() const { return outlets_.movieName.lock(); }
    std::shared_ptr<UITableView> movieTable() const { return outlets_.movieTable.lock(); }
    std::shared_ptr<UIButton> downloadButton() const { return outlets_.downloadButton.lock(); }
    std::shared_ptr<UIButton> playButton() const { return outlets_.playButton.lock(); }
    std::shared_ptr<UIButton> cancelButton() const { return outlets_.cancelButton.lock(); }

    // The rows: the streams' names; the checkmark on every stream named as the chosen one.
    std::size_t rowCount() const override;
    std::string rowText(std::size_t row) const override;
    bool isRowChecked(std::size_t row) const override;
    void didSelectRowAtIndexPath(UITableView& tableView, const NSIndexPath& indexPath) override;

private:
    Value streammSelect_;
    Value streamArray_;
    std::weak_ptr<ListStreamViewDelegate> delegate_;
    Outlets outlets_;
};
