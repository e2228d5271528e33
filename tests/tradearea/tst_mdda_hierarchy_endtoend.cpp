// The tree menu against the reference host's data service, on SQLite and on
// PostgreSQL: a department exported and imported back into its emptied self
// gives the same table, in either file kind; a code another workstation adds
// after the check is reported and the import carries on.
#include "HostTestDatabase.h"
#include "ModalAnswerer.h"
#include "TestHost.h"

#include "core/SqlDataService.h"
#include "host/HostContext.h"
#include "tradearea/AreaTreeMenu.h"
#include "tradearea/ImportCheckDialog.h"
#include "tradearea/MaintenanceState.h"
#include "tradearea/TAreaTree.h"
#include "tradearea/TfrmMdda_ED.h"

#include <sqda/EntryPoints.h>

#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QSqlError>
#include <QSqlQuery>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

extern "C" void GetFormOne(QWidget *appWindow, QWidget *hostControl, const unsigned char *operatorCode,
    QWidget *parentControl, sqda::ICoorDisp *dataService);

using namespace sqda;
using namespace sqda::test;
using kalmora::test::HostTestDatabase;

class TestHierarchyEndToEnd : public QObject
{
    Q_OBJECT

    std::unique_ptr<HostTestDatabase> m_db;
    kalmora::SqlDataService::Ptr m_service;
    std::unique_ptr<TestHostWindow> m_host;
    QPointer<TfrmMdda_ED> m_form;
    QTemporaryDir m_dir;
    QString m_nextFile;

    bool hostActive() const
    {
        if (QApplication::activeWindow() != m_host.get())
            m_host->activateWindow();
        return QTest::qWaitFor([this] { return QApplication::activeWindow() == m_host.get(); });
    }

    bool open()
    {
        QFETCH(QString, backend);
        m_db = std::make_unique<HostTestDatabase>(backend, &HostTestDatabase::smallChain);
        if (!m_db->isValid()) {
            qWarning("%s", qPrintable(m_db->error()));
            return false;
        }
        QString error;
        m_service = kalmora::SqlDataService::open(m_db->url(), QStringLiteral("0101"), &error);
        if (!m_service) {
            qWarning("%s", qPrintable(error));
            return false;
        }
        m_host = std::make_unique<TestHostWindow>();
        if (!hostActive())
            return false;
        const QByteArray op = toShortString("0001");
        GetFormOne(m_host.get(), m_host->hostControl, reinterpret_cast<const uchar *>(op.constData()),
            m_host->parentControl, m_service.get());
        const QList<QWidget *> forms = embeddedForms(m_host->parentControl);
        m_form = forms.isEmpty() ? nullptr : qobject_cast<TfrmMdda_ED *>(forms.last());
        if (!m_form)
            return false;
        m_form->pmnuTree->setProgressDelay(600000);
        m_form->pmnuTree->setAskFileName(
            [this](QWidget *, const QString &, const QString &, const QString &, bool) { return m_nextFile; });
        return true;
    }

    void exec(const QString &sql)
    {
        QSqlDatabase db = m_db->inspect();
        QSqlQuery q(db);
        QVERIFY2(q.exec(sql), qPrintable(q.lastError().text()));
    }

    QStringList table()
    {
        QSqlDatabase db = m_db->inspect();
        QSqlQuery q(db);
        q.exec(QStringLiteral("select f_sqbm, f_sqmc, f_jb, f_mj from tbsqda where f_bmbm = '0101' order by f_sqbm"));
        QStringList out;
        while (q.next())
            out << QStringLiteral("%1 %2 %3 %4")
                       .arg(q.value(0).toString(), q.value(1).toString(), q.value(2).toString(), q.value(3).toString());
        return out;
    }

    void choose(const char *name)
    {
        QVERIFY(hostActive());
        TAreaTree *tn = m_form->TN;
        tn->setFocus();
        QTest::keyClick(tn, Qt::Key_F10, Qt::ShiftModifier);
        QMenu *menu = m_form->pmnuTree->menu();
        QVERIFY(QTest::qWaitFor([menu] { return menu->isVisible(); }));
        QAction *action = menu->findChild<QAction *>(QLatin1String(name));
        QVERIFY(action);
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
    }

    void cleanupScreen()
    {
        m_host.reset();
        releaseHostContext();
        m_service.reset();
        m_db.reset();
    }

private Q_SLOTS:
    void init() { maintenanceState().reset(); }
    void cleanup() { cleanupScreen(); }

    void exportImportGivesTheSameTable_data()
    {
        QTest::addColumn<QString>("backend");
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("file");
        for (const QString &backend : kalmora::test::backends()) {
            QTest::addRow("%s: spreadsheet", qPrintable(backend)) << backend << "mnuExportXlsx"
                                                                  << "t.xlsx";
            QTest::addRow("%s: csv", qPrintable(backend)) << backend << "mnuExportCsv"
                                                          << "t.csv";
        }
    }

    void exportImportGivesTheSameTable()
    {
        QFETCH(QString, item);
        QFETCH(QString, file);
        QVERIFY(open());
        // Every level, a quote and a comma in a name.
        exec(QStringLiteral("insert into tbsqda (f_bmbm, f_sqbm, f_sqmc, f_jb, f_mj) values "
                            "('0101', '010101001', '黄浦''一号, 店', 4, 1)"));
        exec(QStringLiteral("update tbsqda set f_mj = 0 where f_bmbm = '0101' and f_sqbm = '010101'"));
        const QStringList before = table();
        QCOMPARE(before.size(), 5);
        m_nextFile = m_dir.filePath(file);
        QFile::remove(m_nextFile);
        ModalAnswerer a;
        choose(item.toLatin1().constData());
        QVERIFY(QTest::qWaitFor([this] { return QFile::exists(m_nextFile); }));

        exec(QStringLiteral("delete from tbsqda where f_bmbm = '0101'"));
        QTest::keyClick(m_form->TN, Qt::Key_R, Qt::ControlModifier);
        QCOMPARE(m_form->TN->nodesInOrder().size(), 1);

        QString heading;
        a.then([](QWidget *w) { ModalAnswerer::pressButton(w, QStringLiteral("start")); });
        a.then([&](QWidget *w) {
            heading = w->findChild<QLabel *>(QStringLiteral("heading"))->text();
            ModalAnswerer::pressButton(w, QStringLiteral("close"));
        });
        choose("mnuImport");
        QTRY_VERIFY(a.idle());
        QVERIFY2(a.unexpected.isEmpty(), qPrintable(a.unexpected.value(0).text));
        QCOMPARE(heading, QStringLiteral("导入5，改名0，跳过0，拒绝0，未执行0。"));
        QCOMPARE(table(), before);
        QCOMPARE(m_form->TN->nodesInOrder().size(), 6);
    }

    void codeTakenMeanwhileIsReported_data()
    {
        QTest::addColumn<QString>("backend");
        for (const QString &backend : kalmora::test::backends())
            QTest::newRow(qPrintable(backend)) << backend;
    }

    void codeTakenMeanwhileIsReported()
    {
        QVERIFY(open());
        m_nextFile = m_dir.filePath(QStringLiteral("new.csv"));
        {
            QFile f(m_nextFile);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QStringLiteral("商圈编码,商圈名称\n03,华南区\n0301,广州\n04,西南区\n").toUtf8());
        }
        ModalAnswerer a;
        QStringList outcomes;
        QString heading;
        a.then([&](QWidget *w) {
            // Another workstation adds 03 while this one looks at the check.
            QString error;
            kalmora::SqlDataService::Ptr other
                = kalmora::SqlDataService::open(m_db->url(), QStringLiteral("0101"), &error);
            QVERIFY2(other, qPrintable(error));
            QVariantList args { QVariant(QVariantList { QStringLiteral("0101"), QStringLiteral("03") }) };
            QVERIFY(other->Invoke(DispCheckAreaCode, args).toBool());
            exec(QStringLiteral("insert into tbsqda (f_bmbm, f_sqbm, f_sqmc, f_jb, f_mj) values "
                                "('0101', '03', '别处加的', 1, 1)"));
            ModalAnswerer::pressButton(w, QStringLiteral("start"));
        });
        a.then([&](QWidget *w) {
            auto *summary = qobject_cast<ImportSummaryDialog *>(w);
            QVERIFY(summary);
            heading = w->findChild<QLabel *>(QStringLiteral("heading"))->text();
            QAbstractItemModel *m = summary->view()->model();
            for (int r = 0; r < m->rowCount(); ++r)
                outcomes << m->index(r, 1).data().toString() + QLatin1Char(' ') + m->index(r, 3).data().toString();
            ModalAnswerer::pressButton(w, QStringLiteral("close"));
        });
        choose("mnuImport");
        QTRY_VERIFY(a.idle());
        QCOMPARE(outcomes, (QStringList { "03 拒绝", "0301 拒绝", "04 已导入" }));
        QVERIFY2(!heading.contains(QStringLiteral("中止")), qPrintable(heading));
        QVERIFY(table().contains(QStringLiteral("03 别处加的 1 1")));
        QVERIFY(table().contains(QStringLiteral("04 西南区 1 1")));
        QVERIFY(!table().join(QLatin1Char(',')).contains(QStringLiteral("0301")));
    }
};

QTEST_MAIN(TestHierarchyEndToEnd)
#include "tst_mdda_hierarchy_endtoend.moc"
