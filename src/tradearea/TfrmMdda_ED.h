// The trade-area maintenance screen that GetFormOne opens.
//
// Left, the department's trade areas as a tree under a fixed root; right, the
// edit panel with the selected area's code and name. The host does the real
// work of every change; the tree follows each change without a reload.
//
// Handlers keep the names their components and events have throughout the
// system (btnSaveClick, TNClick, Panel2Exit, ...). Each user action runs guarded,
// so an error raised by the host is shown instead of reaching the event loop.
#pragma once

#include "host/ScreenInput.h"
#include "host/TFrmBase.h"

#include "core/Result.h"
#include "env/TsysmsgInfo.h"

#include <QIcon>
#include <QList>
#include <QPersistentModelIndex>
#include <QPointer>

#include <functional>
#include <memory>

class QFrame;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QSplitter;
class QToolButton;
class QTreeWidgetItem;

namespace sqda {

class AreaTreeMenu;
class ClientDataSet;
class TAreaTree;
class TRopWin;
class TTesselClass;

class TfrmMdda_ED : public TFrmBase
{
    Q_OBJECT
public:
    explicit TfrmMdda_ED(QWidget *parentControl);
    ~TfrmMdda_ED() override;

    // Components -------------------------------------------------------------
    QFrame *ToolBar1;
    QToolButton *btnExpand;
    QToolButton *btnCollapse;
    QFrame *ToolButton3;
    QToolButton *ToolButton4; // up
    QToolButton *ToolButton5; // down
    QFrame *ToolButton7;
    QToolButton *btnAdd;
    QToolButton *btnDelete;
    QToolButton *btnSave;
    QToolButton *btnReflash;
    QToolButton *btnLocate;
    QFrame *ToolButton12;
    QToolButton *btnHelp;
    QToolButton *btnExit;
    QSplitter *FlatSplitter1;
    QFrame *Panel1;
    QLabel *Panel3;
    TAreaTree *TN;
    QFrame *Panel2;
    QLabel *Panel4;
    QLabel *Label1;
    QLabel *Label2;
    QLineEdit *edtBm;
    QLineEdit *edtName;
    QLabel *Label3;
    QLabel *LblFjqk;
    ClientDataSet *cds;
    TRopWin *RopHelp;
    QList<QIcon> ImgListTool;
    AreaTreeMenu *pmnuTree; // the tree's context menu: export, print, import

    // Fields -----------------------------------------------------------------
    std::unique_ptr<TTesselClass> Env;
    TsysmsgInfo SysInfo;
    bool EnvFailed = false;

    // The department all statements and host operations are restricted to.
    const QString &department() const { return SysInfo.dybm; }

    // Tree -------------------------------------------------------------------
    // Shows a tree it cannot read in the library's error box.
    void LoadAreaTree();
    void TNClick();
    void TNChange();
    void btnExpandClick();
    void btnCollapseClick();
    void ToolButton4Click();
    void ToolButton5Click();
    void btnLocateClick();
    void LocateArea(bool fromTop);
    void btnReflashClick();
    void ShowCodeLevels(bool show);

    // Editing ----------------------------------------------------------------
    void btnAddClick();
    void btnSaveClick();
    void btnDeleteClick();
    void Panel2Exit();

    // Form -------------------------------------------------------------------
    // True when the key is consumed.
    bool FormKeyDown(QKeyEvent *event);
    void btnHelpClick();
    void btnExitClick();

protected:
    void formShow() override;
    void formClosing() override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    // Focus moves (Tab, and Enter/Up/Down in the edits) go round this screen's
    // own controls: the tree, the code edit, the name edit.
    bool focusNextPrevChild(bool next) override;

private:
    void FormCreate();
    void buildToolBar();
    void buildTreePanel();
    void buildEditPanel();
    QToolButton *addToolButton(
        const char *name, const QString &caption, int x, int image, void (TfrmMdda_ED::*handler)());
    QFrame *addSeparator(const char *name, int x);
    void onFocusChanged(QWidget *old, QWidget *now);
    bool edtBmKeyPress(QKeyEvent *event);
    // The tree load; a refusal by the host is shown here, an unreadable tree
    // is returned.
    Status loadAreaTree();
    void installKeyPreview();
    void placeNewNode(int level, const QString &code, const QString &nodeText, const QString &parentCode);
    // Where the search by text finds no node: a text of Latin letters is tried
    // once more against the names' pinyin, over the same nodes in the same
    // order ("dcsq" finds 东城商圈).
    QTreeWidgetItem *locateByPinyin(const QString &text, bool fromTop) const;

    void removeKeyPreview();

    // The node whose row the edit panel shows. It is the selected node except
    // after a failed record load, when the panel still shows the earlier row.
    QPersistentModelIndex m_shownNode;
    QPointer<QObject> m_keyPreview; // sees the keys of the whole application while shown
};

} // namespace sqda
