// The trade-area query screen that GetFormOneSearch opens: a read-only listing
// of tbsqda. The user composes a search in the condition builder and runs it on
// the host, narrows the loaded rows with a filter, chooses the columns, shows
// the active conditions above the listing, and previews or prints it.
//
// The screen builds the search statement and its department restriction; the
// dialogs, the filter, sorting and the column layout belong to the listing grid
// dgdView. Handlers keep the names their components have throughout the system
// (btnSearchClick, ButFilterClick, ...). Each user action runs guarded, so an
// error raised by the host is shown instead of reaching the event loop.
#pragma once

#include "env/TTesselClass.h"
#include "env/TsysmsgInfo.h"
#include "host/ScreenInput.h"
#include "host/TFrmBase.h"
#include "ui/LazyWidget.h"

#include <QIcon>
#include <QList>
#include <QPointer>

#include <functional>
#include <memory>

class QFrame;
class QKeyEvent;
class QTextEdit;
class QToolButton;

namespace sqda::report {
class TRMFormReport;
}

namespace sqda {

class ClientDataSet;
class SavedQueryActions;
class TAdvDBGridEh;
class TRopWin;

class TfrmQuery : public TFrmBase
{
    Q_OBJECT
public:
    explicit TfrmQuery(QWidget *parentControl);
    ~TfrmQuery() override;

    // What the screen asks of its environment once, at creation.
    static SysmsgItems environmentRequest() { return { 0, 1, 2, 3, 4, 13 }; }
    // The settings file and section of the listing's column layout.
    static QString layoutFile() { return QStringLiteral("Kalmorapos.ini"); }
    static QString layoutSection() { return QStringLiteral("SqSearchGrid"); }

    // Components -------------------------------------------------------------
    QFrame *Panel1;
    QFrame *tlbInCounterSearch;
    QToolButton *btnSearch;
    QToolButton *ButFilter;
    QToolButton *btnChoose;
    QToolButton *btnShow;
    QFrame *ToolButton1; // separator
    QToolButton *btnPreview;
    QToolButton *btnPrint;
    QFrame *ToolButton2; // separator
    QToolButton *btnHand;
    QToolButton *btnExit;
    // The condition panel, made on its first use (shown, given its text, or
    // reached through here): most openings never show it.
    LazyWidget<QTextEdit> MemoCondition;
    QFrame *Panel; // the green line above the listing
    TAdvDBGridEh *dgdView;
    ClientDataSet *cds;
    TRopWin *RopHelp;
    report::TRMFormReport *PrintDG; // the listing's preview and print
    QList<QIcon> ImageList2;
    SavedQueryActions *SavedQueries; // the listing's context menu of saved queries

    // Fields -----------------------------------------------------------------
    // The environment could not be read: the message has been shown and the
    // screen closes as soon as it is shown.
    bool CloseOnShow = false;
    // The department every search is restricted to; empty for none.
    QString DepartmentFilter;
    std::unique_ptr<TTesselClass> Environment;
    TsysmsgInfo Info;

    // What a preview or print hands the report: its variables and the height
    // of the title block, from the screen as it is now.
    struct ListingSettings
    {
        QString title, condition, date, time, oper;
        int headerHeight = 40;
    };
    ListingSettings listingSettings() const;
    // The lines the condition panel holds (a line break at the very end opens
    // no further line).
    int conditionLineCount() const;
    // The condition panel shows; asking makes no panel.
    bool conditionPanelShown() const;

    // Actions ----------------------------------------------------------------
    void btnSearchClick();
    void ButFilterClick();
    void btnChooseClick();
    void btnShowClick();
    void btnPreviewClick();
    void btnPrintClick();
    void btnHandClick();
    void btnExitClick();
    // The keys table; keys are never consumed.
    void FormKeyDown(QKeyEvent *event);

protected:
    void formShow() override;
    void formClosing() override;

private:
    friend class SavedQueryActions; // runs the search path and the panel's texts

    void FormCreate();
    void buildToolBar();
    void buildListing();
    QTextEdit *makeConditionPanel();
    QToolButton *addToolButton(
        const char *name, const QString &caption, const QString &hint, int x, int image, void (TfrmQuery::*handler)());
    QFrame *addSeparator(const char *name, int x);
    void installKeyPreview();
    void removeKeyPreview();
    // The search after its dialog: statement, host calls, rows, count and
    // panel. False when the host refused or the rows could not be read (shown),
    // or the screen went.
    bool runSearch(const QString &whereText);
    void showCount();
    void showConditions();
    void startListing(bool print);

    QPointer<QObject> m_keyPreview; // sees the keys of the whole application while shown
};

} // namespace sqda
