// The condition builder: a modal dialog in which the user lists simple
// expressions (field, condition, value) joined by "并且" / "或者", and which turns
// them into a where text on confirmation. The listing grid opens it for a search
// (CreateForQuery: SQL text for the host) or for a filter of the loaded rows
// (CreateForFilter: a dataset filter expression). It keeps no state between
// uses: the caller hands in a copy of its rows and takes a copy back on OK.
#pragma once

#include "WhereTextBuilder.h"

#include <QDialog>
#include <QPointer>

#include <memory>

class QAction;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QTreeWidget;
class QTreeWidgetItem;

namespace sqda {

class ClientDataSet;
class FlatComboBox;
class QueryButton;

class TFrmQuerySet : public QDialog
{
    Q_OBJECT
public:
    // `rows` may be null (an empty list). `fieldMap` holds "field=expression"
    // entries separated by ";".
    static std::unique_ptr<TFrmQuerySet> CreateForQuery(const QString &caption, const QString &aliasList,
        const QString &helpText, const LogicRows *rows, const QString &fieldMap);
    static std::unique_ptr<TFrmQuerySet> CreateForFilter(
        const QString &caption, const LogicRows *rows, bool visibleOnly);
    ~TFrmQuerySet() override;

    // Shows the dialog modally and returns its result. The library's owner
    // window is the dialog's parent; if it goes away meanwhile, taking the
    // dialog with it, the answer is Cancel and `form` lets go of it.
    static int execOwned(std::unique_ptr<TFrmQuerySet> &form);

    // The dataset whose fields are offered; set before showing. Not owned.
    void setDataSet(ClientDataSet *dataSet) { m_dataSet = dataSet; }
    LogicRows rows() const;

    QString AliasList;
    QStringList FieldMap;
    QString HelpText;
    bool VisibleOnly = true;
    int FilterMode = 0; // 0 query, 1 filter
    int LastRelation = 0; // 1 when the relation last chosen here was "或者"
    // Results of the last build (see WhereTexts).
    QString WhereText;
    QString ExcludeLike;
    QString ExcludeField;
    QString FilterText;

    // Components, named as the screen's parts.
    QGroupBox *gbxGoodsInfo = nullptr;
    QLabel *lblTemp = nullptr;
    QLabel *lblFactor = nullptr;
    QLabel *lblValue = nullptr;
    FlatComboBox *cbxField = nullptr;
    FlatComboBox *cbxFactor = nullptr;
    QLineEdit *editValue = nullptr;
    QFrame *shpValue = nullptr; // the green rectangle round editValue
    QFrame *ShapeLine = nullptr;
    QFrame *speTemp = nullptr;
    QTreeWidget *lvwLogic = nullptr;
    QueryButton *btnAddLogic = nullptr;
    QueryButton *btnModifyOK = nullptr;
    QueryButton *btnModifyCancel = nullptr;
    QueryButton *btnClearLogic = nullptr;
    QueryButton *btnOK = nullptr;
    QueryButton *btnHelp = nullptr;
    QueryButton *btnExit = nullptr;
    QPlainTextEdit *memSQL = nullptr; // the last where text built; made by the first build
    QMenu *pmnuSetField = nullptr;
    QAction *mnuAddField = nullptr;
    QAction *mnuModifyField = nullptr;
    QMenu *mnuModifyLogicMenu = nullptr;
    QAction *mnuModifyLogic = nullptr; // the sub-menu's item
    QAction *mnuLogicOR = nullptr;
    QAction *mnuLogicAND = nullptr;
    QAction *mnuDelField = nullptr;

    // Builds WhereText, ExcludeLike, ExcludeField and FilterText from the rows.
    // A row the builder cannot turn into text is shown in a warning and the
    // texts stay as they were; the answer is then false.
    bool BuildWhereText();
    int FieldIndexOfLabel(const QString &label) const;

    void btnAddLogicClick();
    void btnClearLogicClick();
    void btnOKClick();
    void btnExitClick();
    void btnHelpClick();
    void btnModifyOKClick(QueryButton *sender);
    void mnuDelFieldClick(QAction *sender);
    void mnuLogicANDClick(QAction *sender);
    void pmnuSetFieldPopup();
    void BeginModify();
    void DeleteSelected();

public Q_SLOTS:
    void reject() override; // Esc and closing give Cancel

protected:
    explicit TFrmQuerySet(QWidget *owner);
    bool eventFilter(QObject *watched, QEvent *e) override;
    void showEvent(QShowEvent *e) override;
    void paintEvent(QPaintEvent *e) override;

private:
    void FormShow();
    bool FormKeyDown(QKeyEvent *e);
    bool CheckDuplicate();
    void setRows(const LogicRows *rows);
    void appendRow(const LogicRow &row);
    LogicRow rowOf(const QTreeWidgetItem *item) const;
    void writeRow(QTreeWidgetItem *item, const LogicRow &row);
    QTreeWidgetItem *selectedRow() const;
    void setChanging(bool on);
    WhereTextBuilder builder() const;
    // The mended checks where a value is entered: a field and a condition
    // chosen, and a value the field can take. Shows the problem and answers false.
    bool checkEntry(bool allowEmptyValue);
    void warn(const QString &text, QWidget *focus);

    QPointer<ClientDataSet> m_dataSet;
    int m_nextRowId = 1;
    int m_changingRowId = 0; // the row a pending change writes into; 0: none
};

} // namespace sqda
