#pragma once
// The other tune the edited one is compared with: a second settings document
// read from a file or uploaded from the module, never edited, and the list of
// what differs (CompareTunes, the comparison qvx diff and verify use, in its
// module mode). The list is worked out again whenever the edited document
// changes.
//
// Ownership: owns the other document; a child of the frame. The edited
// document must outlive it. Loading runs nested event loops (message boxes,
// the upload's waits): the new document is built aside and swapped in only
// when complete, and a load while one is running is refused.
#include <QObject>
#include <memory>
#include <string>
#include <vector>

#include "core/compare/TuneCompare.h"
#include "core/model/DocumentBase.h"

namespace qx {
class CommPort;
class Host;
class ModuleState;
}  // namespace qx

namespace qx::gui {

class TuneComparison : public QObject, public DocumentObserver {
    Q_OBJECT
  public:
    // The host shows the waits and messages of a load; it and the link outlive
    // the comparison.
    TuneComparison(QObject* parent, ModuleState& document, Host& host, CommPort& link);
    ~TuneComparison() override;

    // Reads path as the other tune. A file that does not read is refused with
    // the file error message and the comparison stays as it was.
    bool LoadFile(const std::string& path);
    // Uploads the module's settings into a new other tune; the edited
    // document is not touched. False (told) when the upload fails.
    bool LoadFromModule();
    void Hide();

    bool Active() const { return other_ != nullptr; }
    bool Loading() const { return loading_; }
    // Null while no comparison is shown.
    const ModuleState* Other() const { return other_.get(); }
    // What the legend names: the file's name, or "Module".
    const std::string& Name() const { return name_; }
    const std::vector<TuneDifference>& Differences() const { return diffs_; }
    bool MapDiffers(int map) const;

    // Sets the edited tune's value of key to the other's, one undoable step
    // written at once while linked. False when key does not differ (any more).
    bool UseOtherValue(SettingKey key);

    // Works the differences out again (after an edit, a new or opened document).
    void Refresh();
    void OnUpdate(DocumentBase& document, int hint, ModuleMap* hintMap) override;

  Q_SIGNALS:
    // Shown, hidden, replaced, or its differences changed.
    void changed();

  private:
    void Take(std::unique_ptr<ModuleState> other, std::string name);

    ModuleState& document_;
    Host& host_;
    CommPort& link_;
    std::unique_ptr<ModuleState> other_;
    bool fromModule_ = false;  // the other tune is the linked module
    std::string name_;
    std::vector<TuneDifference> diffs_;
    bool loading_ = false;
};

}  // namespace qx::gui
