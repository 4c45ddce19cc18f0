// Placeholder control-container manager: class-id items are dropped. Replaced by the in-place ActiveX host.
#include "framework/ControlHosting.h"

namespace {
class NullOccManager : public COccManager {
public:
    void CreateDlgControls(CDialog*, const std::vector<DialogItem>&, const std::vector<DialogInitRecord>&) override {}
    bool BindControl(CDialog*, int, CWnd&) override { return false; }
    bool PreTranslateMessage(CDialog*, MSG*) override { return false; }
    void OnDialogDestroy(CDialog*) override {}
};
}  // namespace

COccManager* AfxDefaultOccManager()
{
    static NullOccManager manager;
    return &manager;
}
