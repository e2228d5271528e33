// The column chooser: a small modal dialog in which the user ticks the columns
// of a listing grid that are to be shown. The choice takes effect on the grid
// at once when confirmed; the grid keeps it (and saves it with its layout).
#pragma once

#include <QDialog>

class QFrame;
class QListWidget;

namespace sqda {

class QueryButton;

// What the chooser needs of a grid: its columns in collection order, each with a
// Tag, a title and a visible flag that can be changed, and the number of frozen
// (non-scrolling) columns. The listing grid implements it.
class ColumnChooserGrid
{
public:
    virtual ~ColumnChooserGrid() = default;
    virtual int columnCount() const = 0;
    virtual int columnTag(int column) const = 0;
    virtual QString columnTitle(int column) const = 0;
    virtual bool columnVisible(int column) const = 0;
    // May raise an error; the chooser shows it.
    virtual void setColumnVisible(int column, bool visible) = 0;
    virtual int frozenColumnCount() const = 0;
};

class TFrmChooseDBFields : public QDialog
{
    Q_OBJECT
public:
    explicit TFrmChooseDBFields(QWidget *parent = nullptr);
    ~TFrmChooseDBFields() override;

    // The grid worked on; set before showing. Not owned.
    ColumnChooserGrid *Grid = nullptr;

    QListWidget *ltvChoose = nullptr;
    QFrame *Shape = nullptr;
    QueryButton *btnAll = nullptr;
    QueryButton *btnno = nullptr;
    QueryButton *btnok = nullptr;
    QueryButton *btncancel = nullptr;

    void btnAllClick();
    void btnNoClick();
    void btnOKClick();

protected:
    void showEvent(QShowEvent *e) override;

private:
    void FormShow();
};

} // namespace sqda
