// The maintenance screen's tree menu as a user meets it: opened with the right
// mouse button, the Menu key or Shift+F10, refused during a host call; export
// and import back through the in-memory host; the check dialog, cancel and host
// failures midway; the printed tree read back from its PDF.
#include "AccessibleReader.h"
#include "AreaHostFake.h"
#include "ModalAnswerer.h"
#include "TestHost.h"

#include "host/HostContext.h"
#include "reportui/ReportPreview.h"
#include "tradearea/AreaTreeMenu.h"
#include "tradearea/ImportCheckDialog.h"
#include "tradearea/MaintenanceState.h"
#include "tradearea/TAreaTree.h"
#include "tradearea/TfrmMdda_ED.h"

#include <sqda/EntryPoints.h>

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPrinter>
#include <QProcess>
#include <QProgressDialog>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <algorithm>
#include <random>

extern "C" void GetFormOne(QWidget *appWindow, QWidget *hostControl, const unsigned char *operatorCode,
    QWidget *parentControl, sqda::ICoorDisp *dataService);

using namespace sqda;
using namespace sqda::test;

namespace {

QStringList tableTexts(QTableView *view, int column)
{
    QStringList out;
    for (int r = 0; r < view->model()->rowCount(); ++r)
        out << view->model()->index(r, 0).data().toString() + QLatin1Char(' ')
                + view->model()->index(r, 1).data().toString() + QLatin1Char(' ')
                + view->model()->index(r, column).data().toString();
    return out;
}

bool isSimplifiedChinese(const QFont &font)
{
    return QFontInfo(font).family().contains(QLatin1String("CJK SC"));
}

} // namespace

class TestMaintenanceHierarchy : public QObject
{
    Q_OBJECT

    std::unique_ptr<AreaHostFake> m_fake;
    std::unique_ptr<TestHostWindow> m_host;
    QPointer<TfrmMdda_ED> m_form;
    QTemporaryDir m_dir;
    QString m_nextFile; // what the file dialog answers

    void standardRows()
    {
        m_fake->add(QStringLiteral("01"), QStringLiteral("东区"), 1, 0);
        m_fake->add(QStringLiteral("0101"), QStringLiteral("东一"), 2, 0);
        m_fake->add(QStringLiteral("010101"), QStringLiteral("甲"), 3, 0);
        m_fake->add(QStringLiteral("010101001"), QStringLiteral("甲一号, \"老店\""), 4, 1);
        m_fake->add(QStringLiteral("0102"), QStringLiteral("东二"), 2, 1);
        m_fake->add(QStringLiteral("02"), QStringLiteral("西区"), 1, 1);
    }

    bool open()
    {
        m_host = std::make_unique<TestHostWindow>();
        m_host->activateWindow();
        if (!QTest::qWaitForWindowActive(m_host.get()))
            return false;
        const QByteArray op = toShortString("0001");
        GetFormOne(m_host.get(), m_host->hostControl, reinterpret_cast<const uchar *>(op.constData()),
            m_host->parentControl, m_fake->service.get());
        const QList<QWidget *> forms = embeddedForms(m_host->parentControl);
        m_form = forms.isEmpty() ? nullptr : qobject_cast<TfrmMdda_ED *>(forms.last());
        if (!m_form)
            return false;
        // The progress window is a modal of its own; only the cancel test has it show.
        m_form->pmnuTree->setProgressDelay(600000);
        m_form->pmnuTree->setAskFileName(
            [this](QWidget *, const QString &, const QString &, const QString &, bool) { return m_nextFile; });
        return true;
    }

    bool hostActive() const
    {
        if (QApplication::activeWindow() != m_host.get())
            m_host->activateWindow();
        return QTest::qWaitFor([this] { return QApplication::activeWindow() == m_host.get(); });
    }

    QStringList stored() const
    {
        QStringList out;
        for (const AreaRow &r : m_fake->departmentRows())
            out << QStringLiteral("%1 %2 %3 %4").arg(r.code, r.name).arg(r.level).arg(r.leaf);
        return out;
    }

    QString treeText() const
    {
        QStringList lines;
        for (QTreeWidgetItem *i : m_form->TN->nodesInOrder()) {
            int depth = 0;
            for (QTreeWidgetItem *p = i->parent(); p; p = p->parent())
                ++depth;
            lines << QString(depth * 2, QLatin1Char(' ')) + i->text(0);
        }
        return lines.join(QLatin1Char('\n'));
    }

    // Opens the menu with a right click on the root and picks the item `name`.
    void choose(const char *name)
    {
        QVERIFY(hostActive());
        TAreaTree *tn = m_form->TN;
        const QPoint at = tn->visualItemRect(tn->selectedNode() ? tn->selectedNode() : tn->rootNode()).center();
        QTest::mouseClick(tn->viewport(), Qt::RightButton, {}, at);
        QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, at, tn->viewport()->mapToGlobal(at));
        QApplication::sendEvent(tn->viewport(), &menuEvent);
        QMenu *menu = m_form->pmnuTree->menu();
        QVERIFY(QTest::qWaitFor([menu] { return menu->isVisible(); }));
        QAction *action = menu->findChild<QAction *>(QLatin1String(name));
        QVERIFY(action);
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
    }

    // Answers the check dialog: ticks the rename box when asked, notes the
    // verdicts, and presses "开始导入" (or "取消").
    void answerCheck(ModalAnswerer &a, QStringList *verdicts, bool rename = false, bool start = true)
    {
        a.then([=](QWidget *w) {
            auto *dialog = qobject_cast<ImportCheckDialog *>(w);
            QVERIFY(dialog);
            QVERIFY(isSimplifiedChinese(dialog->font()));
            QCOMPARE(unnamedControls(dialog).join(QLatin1Char(',')), QString()); // a screen reader names each
            QAbstractItemModelTester tester(
                dialog->view()->model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
            if (rename)
                dialog->findChild<QCheckBox *>(QStringLiteral("updateNames"))->setChecked(true);
            if (verdicts)
                *verdicts = tableTexts(dialog->view(), 3);
            ModalAnswerer::pressButton(w, start ? QStringLiteral("start") : QStringLiteral("cancel"));
        });
    }

    void answerSummary(ModalAnswerer &a, QStringList *rows, QString *heading = nullptr)
    {
        a.then([=](QWidget *w) {
            auto *dialog = qobject_cast<ImportSummaryDialog *>(w);
            QVERIFY(dialog);
            QCOMPARE(unnamedControls(dialog).join(QLatin1Char(',')), QString());
            if (rows)
                *rows = tableTexts(dialog->view(), 3);
            if (heading)
                *heading = dialog->findChild<QLabel *>(QStringLiteral("heading"))->text();
            ModalAnswerer::pressButton(w, QStringLiteral("close"));
        });
    }

    void writeCsv(const QString &path, const QString &body)
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QStringLiteral("商圈编码,商圈名称\n").toUtf8() + body.toUtf8());
    }

private Q_SLOTS:
    void init()
    {
        maintenanceState().reset();
        m_fake = std::make_unique<AreaHostFake>();
    }

    void cleanup()
    {
        m_host.reset();
        releaseHostContext();
        m_fake.reset();
    }

    void menuOpens_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("right button") << "mouse";
        QTest::newRow("Menu key") << "menu";
        QTest::newRow("Shift+F10") << "shiftf10";
    }

    void menuOpens()
    {
        QFETCH(QString, how);
        standardRows();
        QVERIFY(open());
        QVERIFY(hostActive());
        TAreaTree *tn = m_form->TN;
        tn->setFocus();
        QMenu *menu = m_form->pmnuTree->menu();
        if (how == QLatin1String("mouse")) {
            const QPoint at = tn->visualItemRect(tn->rootNode()).center();
            QContextMenuEvent e(QContextMenuEvent::Mouse, at, tn->viewport()->mapToGlobal(at));
            QApplication::sendEvent(tn->viewport(), &e);
        } else if (how == QLatin1String("menu")) {
            QTest::keyClick(tn, Qt::Key_Menu);
        } else {
            QTest::keyClick(tn, Qt::Key_F10, Qt::ShiftModifier);
        }
        QVERIFY(QTest::qWaitFor([menu] { return menu->isVisible(); }));
        QStringList texts;
        for (QAction *a : menu->actions())
            texts << (a->isSeparator() ? QStringLiteral("-") : a->text());
        QCOMPARE(texts,
            (QStringList { QStringLiteral("导出到 Excel…"), QStringLiteral("导出到文本文件(CSV)…"),
                QStringLiteral("打印预览…"), QStringLiteral("打印…"), QStringLiteral("-"),
                QStringLiteral("从文件导入…") }));
        QVERIFY2(isSimplifiedChinese(menu->font()), qPrintable(QFontInfo(menu->font()).family()));
        if (const QString shots = qEnvironmentVariable("SQDA_SHOTS"); !shots.isEmpty() && how == QLatin1String("mouse"))
            menu->grab().save(shots + QStringLiteral("/tree-menu.png"));
        menu->close();
    }

    void menuRefusedDuringHostCall()
    {
        standardRows();
        QVERIFY(open());
        QMenu *menu = m_form->pmnuTree->menu();
        bool shownDuringCall = true;
        m_fake->duringCall = [&](int id) {
            if (id != DispQueryData)
                return;
            m_fake->duringCall = nullptr;
            m_form->pmnuTree->popup(QPoint(10, 10));
            shownDuringCall = menu->isVisible();
        };
        // A click on an area loads its row: a host call.
        QTreeWidgetItem *east = m_form->TN->findNodeCode(QStringLiteral("01"));
        QTest::mouseClick(m_form->TN->viewport(), Qt::LeftButton, {}, m_form->TN->visualItemRect(east).center());
        QVERIFY(!m_fake->duringCall);
        QVERIFY(!shownDuringCall);
    }

    void exportThenImportGivesTheSameTree_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("file");
        QTest::newRow("spreadsheet") << "mnuExportXlsx"
                                     << "tree.xlsx";
        QTest::newRow("csv") << "mnuExportCsv"
                             << "tree.csv";
    }

    void exportThenImportGivesTheSameTree()
    {
        QFETCH(QString, item);
        QFETCH(QString, file);
        standardRows();
        QVERIFY(open());
        const QStringList before = stored();
        const QString treeBefore = treeText();
        m_nextFile = m_dir.filePath(file);
        QFile::remove(m_nextFile);
        ModalAnswerer a;
        choose(item.toLatin1().constData());
        QVERIFY(QTest::qWaitFor([this] { return QFile::exists(m_nextFile); }));
        QVERIFY(a.unexpected.isEmpty());

        // Into an empty department: the rows go away, the tree is loaded again.
        m_fake->rows.clear();
        QTest::mouseClick(m_form->btnReflash, Qt::LeftButton);
        QCOMPARE(treeText(), QStringLiteral("商圈档案"));
        QStringList verdicts, outcomes;
        answerCheck(a, &verdicts);
        answerSummary(a, &outcomes);
        choose("mnuImport");
        QTRY_VERIFY(a.idle());
        QVERIFY2(a.unexpected.isEmpty(), qPrintable(a.unexpected.value(0).text));
        QCOMPARE(stored(), before);
        QCOMPARE(treeText(), treeBefore);
        QCOMPARE(verdicts.size(), 6);
        for (const QString &v : verdicts)
            QVERIFY2(v.endsWith(QStringLiteral("新增")), qPrintable(v));
        QCOMPARE(outcomes.filter(QStringLiteral("已导入")).size(), 6);
    }

    void shuffledFileImportsParentsFirstAndKeepsTheSelection()
    {
        m_fake->add(QStringLiteral("01"), QStringLiteral("东区"), 1, 1);
        m_fake->add(QStringLiteral("02"), QStringLiteral("西区"), 1, 1);
        QVERIFY(open());
        QTreeWidgetItem *west = m_form->TN->findNodeCode(QStringLiteral("02"));
        QTest::mouseClick(m_form->TN->viewport(), Qt::LeftButton, {}, m_form->TN->visualItemRect(west).center());
        QStringList lines { "010101,甲", "0101,东一", "0201,西一", "01010101,坏长度", "010101001,甲一", "0102,东二",
            "03,南区", "0301,南一" };
        std::mt19937 random(22);
        std::shuffle(lines.begin(), lines.end(), random);
        m_nextFile = m_dir.filePath(QStringLiteral("shuffled.csv"));
        writeCsv(m_nextFile, lines.join(QLatin1Char('\n')));
        m_fake->service->clearCalls();
        ModalAnswerer a;
        QStringList verdicts, outcomes;
        answerCheck(a, &verdicts);
        answerSummary(a, &outcomes);
        choose("mnuImport");
        QTRY_VERIFY(a.idle());
        QStringList inserted;
        for (const FakeCoorDisp::Call &c : m_fake->service->callsOf(DispCheckAreaCode))
            inserted << c.args.at(0).toList().value(1).toString();
        QCOMPARE(inserted, (QStringList { "0101", "010101", "010101001", "0102", "0201", "03", "0301" }));
        QVERIFY(verdicts.last().contains(QStringLiteral("不符合商圈分级")));
        // One tree load at the end, and the area selected before is selected again.
        const QList<FakeCoorDisp::Call> queries = m_fake->service->callsOf(DispQueryData);
        QCOMPARE(std::count_if(queries.begin(), queries.end(),
                     [](const FakeCoorDisp::Call &c) {
                         return c.args.value(0).toString().contains(QLatin1String("order by"), Qt::CaseInsensitive);
                     }),
            2); // the check's own read of the department and the one reload
        QCOMPARE(TAreaTree::codeOf(m_form->TN->selectedNode()), QStringLiteral("02"));
        QCOMPARE(m_form->edtName->text(), QStringLiteral("西区"));
    }

    void refusalsAndRenames()
    {
        m_fake->add(QStringLiteral("01"), QStringLiteral("东区"), 1, 1);
        QVERIFY(open());
        m_nextFile = m_dir.filePath(QStringLiteral("refusals.csv"));
        writeCsv(m_nextFile, QStringLiteral("01,东区新名\n0x,字母\n0901,无上级\n"));
        ModalAnswerer a;
        QStringList verdicts, outcomes;
        answerCheck(a, &verdicts, true);
        answerSummary(a, &outcomes);
        choose("mnuImport");
        QTRY_VERIFY(a.idle());
        QCOMPARE(verdicts,
            (QStringList { QStringLiteral("2 01 已存在，改名（原名“东区”）"),
                QStringLiteral("3 0x 拒绝：商圈编码只能是数字"),
                QStringLiteral("4 0901 拒绝：上级商圈09既不在本部门，也不在文件里（或未通过检查）") }));
        QCOMPARE(stored(), (QStringList { "01 东区新名 1 1" }));
        QCOMPARE(m_form->TN->findNodeCode(QStringLiteral("01"))->text(0), QStringLiteral("01 东区新名"));
    }

    void badFileChangesNothing()
    {
        standardRows();
        QVERIFY(open());
        m_nextFile = m_dir.filePath(QStringLiteral("bad.xlsx"));
        QFile f(m_nextFile);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("PK\x03\x04 not really a zip");
        f.close();
        m_fake->service->clearCalls();
        ModalAnswerer a;
        bool chineseFace = false;
        a.then([&](QWidget *w) {
            chineseFace = isSimplifiedChinese(w->font());
            a.seen << ModalAnswerer::describe(w);
            ModalAnswerer::pressButton(w, QStringLiteral("Ok"));
        });
        choose("mnuImport");
        QTRY_VERIFY(a.idle());
        QVERIFY(chineseFace);
        QCOMPARE(a.seen.size(), 1);
        QVERIFY2(a.seen[0].text.contains(QStringLiteral("bad.xlsx")), qPrintable(a.seen[0].text));
        QCOMPARE(m_fake->service->count(DispCheckAreaCode) + m_fake->service->count(DispInsertArea), 0);
    }

    void fileDialogInTheScreensFace()
    {
        QVERIFY(open());
        ModalAnswerer a;
        QString caption;
        bool chineseFace = false;
        a.then([&](QWidget *w) {
            caption = w->windowTitle();
            chineseFace = isSimplifiedChinese(w->font());
            QVERIFY(qobject_cast<QDialog *>(w));
            static_cast<QDialog *>(w)->reject();
        });
        const QString chosen = AreaTreeMenu::askFileName(
            m_form, QStringLiteral("从文件导入商圈"), QStringLiteral("文本文件 (*.csv)"), QString(), true);
        QTRY_VERIFY(a.idle());
        QVERIFY(chosen.isEmpty());
        QCOMPARE(caption, QStringLiteral("从文件导入商圈"));
        QVERIFY(chineseFace);
    }

    void stopsAfterTheRowInHand_data()
    {
        QTest::addColumn<bool>("cancel");
        QTest::newRow("cancel on the progress window") << true;
        QTest::newRow("host refuses a row") << false;
    }

    void stopsAfterTheRowInHand()
    {
        QFETCH(bool, cancel);
        QVERIFY(open());
        m_nextFile = m_dir.filePath(QStringLiteral("five.csv"));
        writeCsv(m_nextFile, QStringLiteral("01,一\n02,二\n03,三\n04,四\n05,五\n"));
        int inserts = 0;
        QPointer<QProgressDialog> progress;
        m_fake->duringCall = [&](int id) {
            if (id != DispInsertArea || ++inserts != 2)
                return;
            if (cancel) {
                // The host pumps events while the second row is with it: the
                // user presses "取消" on the progress window meanwhile.
                QVERIFY(QTest::qWaitFor([&] { return !progress.isNull(); }));
                ModalAnswerer::pressButton(progress, QStringLiteral("取消"));
                QVERIFY(progress && progress->wasCanceled());
            } else {
                m_fake->service->once(
                    DispInsertArea, FakeCoorDisp::fail(0, QVariantList { QStringLiteral("数据库连接中断") }));
            }
        };
        ModalAnswerer a;
        QStringList outcomes;
        QString heading;
        answerCheck(a, nullptr);
        if (cancel) {
            m_form->pmnuTree->setProgressDelay(0);
            a.then([&](QWidget *w) {
                progress = qobject_cast<QProgressDialog *>(w);
                QVERIFY(progress);
                // Between rows too the screen takes no action of its own.
                QVERIFY(m_form->hostCallInFlight());
                QVERIFY(isSimplifiedChinese(progress->font()));
                // "取消" is pressed while the second row is with the host
                // (above): waiting for that row here, inside the window's own
                // event pump between rows, would hold the import up.
            });
        }
        answerSummary(a, &outcomes, &heading);
        choose("mnuImport");
        QTRY_VERIFY(a.idle());
        if (cancel) {
            QCOMPARE(stored(), (QStringList { "01 一 1 1", "02 二 1 1" }));
            QVERIFY2(heading.contains(QStringLiteral("用户取消了导入")), qPrintable(heading));
        } else {
            QCOMPARE(stored(), (QStringList { "01 一 1 1", "02 二 1 1" }));
            QVERIFY2(heading.contains(QStringLiteral("数据库连接中断")), qPrintable(heading));
            QVERIFY2(heading.contains(QStringLiteral("第4行")), qPrintable(heading));
            QVERIFY(outcomes[2].endsWith(QStringLiteral("拒绝")));
        }
        QVERIFY(outcomes.last().endsWith(QStringLiteral("未执行")));
        QCOMPARE(treeText().count(QLatin1Char('\n')), stored().size()); // the tree shows what was stored
    }

    void printedTree()
    {
        standardRows();
        m_fake->add(QStringLiteral("03"),
            QStringLiteral(
                "一个名字很长很长的商圈，长得超过了打印列的宽度还在继续写下去，一直写到第二行也写不完的名字"),
            1, 1);
        QVERIFY(open());
        const QString pdf = m_dir.filePath(QStringLiteral("tree.pdf"));
        m_form->pmnuTree->setPrinterProvider([pdf](const report::PageSetup &) -> Result<std::unique_ptr<QPrinter>> {
            auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
            printer->setOutputFormat(QPrinter::PdfFormat);
            printer->setOutputFileName(pdf);
            return printer;
        });
        ModalAnswerer a;
        choose("mnuPrint");
        QVERIFY(QTest::qWaitFor([&] { return QFileInfo(pdf).size() > 0; }));
        QProcess text;
        text.start(QStringLiteral("pdftotext"), { QStringLiteral("-layout"), pdf, QStringLiteral("-") });
        QVERIFY(text.waitForFinished());
        const QString out = QString::fromUtf8(text.readAllStandardOutput());
        for (const QString &expected : { QStringLiteral("商圈档案"), QStringLiteral("部门：0101"),
                 QStringLiteral("[2]-[2]-[2]-[3]"), QStringLiteral("商圈编码"), QStringLiteral("010101001"),
                 QStringLiteral("甲一号, \"老店\""), QStringLiteral("操 作 员:张三"), QStringLiteral("第1页/共1页") })
            QVERIFY2(out.contains(expected), qPrintable(expected + QStringLiteral(" in\n") + out));
        // Tree order: 0102 after the whole subtree of 0101.
        QVERIFY(out.indexOf(QStringLiteral("010101001")) < out.indexOf(QStringLiteral("0102 ")));
        if (const QString shots = qEnvironmentVariable("SQDA_SHOTS"); !shots.isEmpty())
            QFile::copy(pdf, shots + QStringLiteral("/area-tree.pdf"));
    }

    void checkDialogPicture()
    {
        m_fake->add(QStringLiteral("01"), QStringLiteral("东区"), 1, 1);
        m_fake->add(QStringLiteral("02"), QStringLiteral("西区"), 1, 1);
        QVERIFY(open());
        m_nextFile = m_dir.filePath(QStringLiteral("shot.csv"));
        writeCsv(m_nextFile,
            QStringLiteral(
                "0101,东一\n010101,东一甲\n02,西区新名\n01,东区\n0x01,错码\n0901,无上级\n0102,\n0103,东三\n"));
        ModalAnswerer a;
        QImage picture;
        a.then([&](QWidget *w) {
            auto *dialog = qobject_cast<ImportCheckDialog *>(w);
            QVERIFY(dialog);
            // Every text line of the table clears the next: rows as high as the face needs.
            const int rowHeight = dialog->view()->rowHeight(0);
            QVERIFY(rowHeight >= QFontMetrics(dialog->view()->font()).height());
            picture = dialog->grab().toImage();
            ModalAnswerer::pressButton(w, QStringLiteral("cancel"));
        });
        choose("mnuImport");
        QTRY_VERIFY(a.idle());
        QVERIFY(!picture.isNull());
        QCOMPARE(m_fake->service->count(DispInsertArea), 0);
        if (const QString shots = qEnvironmentVariable("SQDA_SHOTS"); !shots.isEmpty())
            picture.save(shots + QStringLiteral("/import-check-dialog.png"));
    }
};

QTEST_MAIN(TestMaintenanceHierarchy)
#include "tst_mdda_hierarchy.moc"
