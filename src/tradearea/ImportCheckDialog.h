// The import's check, shown before anything is stored: every row of the file
// with its verdict, how many are new, unchanged, renamed and refused, the tick
// "更新已有商圈的名称" and the buttons "开始导入" and "取消". Refused rows are
// shown, never stored; with nothing to store, "开始导入" is off.
#pragma once

#include "AreaImportPlan.h"

#include <QDialog>

class QCheckBox;
class QLabel;
class QAbstractButton;
class QTableView;

namespace sqda {

class ImportRowsModel;

class ImportCheckDialog : public QDialog
{
    Q_OBJECT
public:
    // `plan` must outlive the dialog (it is shown modally by its owner).
    ImportCheckDialog(const AreaImportPlan &plan, const QString &fileName, QWidget *parent = nullptr);

    bool updateNames() const;
    QTableView *view() const { return m_view; }

private:
    void updateCounts();

    const AreaImportPlan &m_plan;
    ImportRowsModel *m_model;
    QTableView *m_view;
    QLabel *m_counts;
    QCheckBox *m_rename;
    QAbstractButton *m_start;
};

// The summary of a run: every row with what came of it, savable as CSV.
class ImportSummaryDialog : public QDialog
{
    Q_OBJECT
public:
    using SaveCsv = std::function<void(QWidget *owner)>;
    ImportSummaryDialog(std::vector<QStringList> rows, const QString &heading, SaveCsv save, QWidget *parent = nullptr);
    QTableView *view() const { return m_view; }

private:
    std::vector<QStringList> m_rows;
    QTableView *m_view;
};

} // namespace sqda
