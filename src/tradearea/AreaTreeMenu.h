// The maintenance screen's tree menu: the department's hierarchy out to a
// spreadsheet or CSV file and onto paper, and in from a file. Reached by the
// right mouse button, the Menu key and Shift+F10 on the tree, so nothing of
// the screen's own layout, tool bar or keys changes:
//
//   导出到 Excel…  导出到文本文件(CSV)…  打印预览…  打印…  |  从文件导入…
//
// Every host call goes through the screen's host-call gate, and the menu is
// refused while one is in flight. The work itself lives below, without
// widgets: AreaExport, AreaFileReader, AreaImportPlan, AreaImportRun,
// AreaTreeReport. Windows opened here (preview, progress, summary) hold no
// reference into the screen, which the host may destroy at any moment.
#pragma once

#include "AreaExport.h"

#include "reportui/ReportPrinting.h"

#include <QHash>
#include <QObject>
#include <QPointer>

#include <functional>
#include <optional>

class QMenu;

namespace sqda {

class HostCallGate;
class TAreaTree;

namespace report {
class ReportPreview;
}

class AreaTreeMenu : public QObject
{
    Q_OBJECT
public:
    struct Hooks
    {
        std::function<QString()> department;
        std::function<QString()> operatorName;
        std::function<void()> reload; // the tree loaded again, keeping the selection where it can
    };
    // A child of `screen`; `tree` and `gate` are the screen's.
    AreaTreeMenu(QWidget *screen, TAreaTree *tree, HostCallGate *gate, Hooks hooks);
    ~AreaTreeMenu() override;

    QMenu *menu() const { return m_menu; }
    // Shows the menu at `globalPos` unless a host call is in flight.
    void popup(const QPoint &globalPos);

    void exportXlsx();
    void exportCsv();
    void previewTree();
    void printTree();
    void importFile();

    // Replaceable for tests and hosts: the file name asked for (empty: cancelled).
    using AskFileName = std::function<QString(
        QWidget *parent, const QString &caption, const QString &filter, const QString &suggested, bool open)>;
    void setAskFileName(AskFileName ask) { m_askFileName = std::move(ask); }
    void setPrinterProvider(report::PrinterProvider provider) { m_printer = std::move(provider); }
    // How long work runs before its progress window shows.
    void setProgressDelay(int ms) { m_progressDelay = ms; }

    // The standard way to ask: Qt's own file dialog in the screens' face.
    static QString askFileName(
        QWidget *parent, const QString &caption, const QString &filter, const QString &suggested, bool open);

Q_SIGNALS:
    void previewShown(report::ReportPreview *preview);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Department
    {
        AreaSheet sheet;
        QString levelText; // as the host answered it
        QHash<QString, QString> names; // code -> name
    };
    // The department's areas and level structure from the host; a failure is
    // shown, and none is returned also when the screen went meanwhile.
    std::optional<Department> loadDepartment();
    void exportTo(bool xlsx);
    void printOrPreview(bool preview);
    void warn(const QString &text) const;
    bool busy() const;
    QWidget *owner() const;

    QWidget *m_screen;
    TAreaTree *m_tree;
    HostCallGate *m_gate;
    Hooks m_hooks;
    QMenu *m_menu;
    AskFileName m_askFileName = &AreaTreeMenu::askFileName;
    report::PrinterProvider m_printer = report::defaultPrinterProvider();
    int m_progressDelay = 500;
};

} // namespace sqda
