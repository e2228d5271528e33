// The maintenance screen against the reference host's data service on SQLite:
// what the screen shows after adding, renaming, deleting and refreshing is what
// tbsqda holds, leaf flags included.
#include "HostTestDatabase.h"
#include "ModalAnswerer.h"
#include "TestHost.h"

#include "core/SqlDataService.h"
#include "host/HostContext.h"
#include "tradearea/MaintenanceState.h"
#include "tradearea/TAreaTree.h"
#include "tradearea/TfrmMdda_ED.h"

#include <sqda/EntryPoints.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QSqlQuery>
#include <QTest>
#include <QToolButton>

extern "C" void GetFormOne(QWidget *appWindow, QWidget *hostControl, const unsigned char *operatorCode,
    QWidget *parentControl, sqda::ICoorDisp *dataService);

using namespace sqda;
using namespace sqda::test;

class TestMaintenanceEndToEnd : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestHostWindow> m_host;
    TfrmMdda_ED *m_form = nullptr;

    bool hostActive() const
    {
        if (QApplication::activeWindow() != m_host.get())
            m_host->activateWindow();
        return QTest::qWaitFor([this] { return QApplication::activeWindow() == m_host.get(); });
    }

    // Typing as a user does; characters beyond ASCII arrive as text.
    static void type(QLineEdit *edit, const QString &text)
    {
        edit->setFocus();
        edit->selectAll();
        for (QChar c : text) {
            if (c.unicode() < 0x80) {
                QTest::keyClick(edit, c.toLatin1());
            } else {
                QTest::sendKeyEvent(QTest::Press, edit, Qt::Key_unknown, QString(c), Qt::NoModifier);
                QTest::sendKeyEvent(QTest::Release, edit, Qt::Key_unknown, QString(c), Qt::NoModifier);
            }
        }
    }

    void click(QTreeWidgetItem *item)
    {
        m_form->TN->scrollToItem(item);
        QTest::mouseClick(m_form->TN->viewport(), Qt::LeftButton, {}, m_form->TN->visualItemRect(item).center());
    }

    void add(ModalAnswerer &answerer, const QString &code, const QString &name)
    {
        answerer.press(QStringLiteral("Yes"));
        QTest::mouseClick(m_form->btnAdd, Qt::LeftButton);
        type(m_form->edtBm, code);
        type(m_form->edtName, name);
        QTest::mouseClick(m_form->btnSave, Qt::LeftButton);
        QTRY_VERIFY(answerer.idle());
        QVERIFY(hostActive());
    }

    // "code name level leaf" per row of the department, in code order.
    static QStringList tableRows(QSqlDatabase db)
    {
        QSqlQuery q(db);
        q.exec(QStringLiteral("select f_sqbm, f_sqmc, f_jb, f_mj from tbsqda where f_bmbm = '0101' order by f_sqbm"));
        QStringList out;
        while (q.next())
            out << QStringLiteral("%1 %2 %3 %4")
                       .arg(q.value(0).toString(), q.value(1).toString(), q.value(2).toString(), q.value(3).toString());
        return out;
    }

    // The same, read off the screen: node text, depth below the root as level,
    // and a leaf flag from whether the node has children.
    QStringList screenRows() const
    {
        QStringList out;
        for (QTreeWidgetItem *i : m_form->TN->nodesInOrder()) {
            if (!i->parent())
                continue; // the root
            int level = 0;
            for (QTreeWidgetItem *p = i->parent(); p; p = p->parent())
                ++level;
            out << QStringLiteral("%1 %2 %3").arg(i->text(0)).arg(level).arg(i->childCount() == 0 ? 1 : 0);
        }
        return out;
    }

private Q_SLOTS:
    void init() { maintenanceState().reset(); }

    void screenAndTableAgree()
    {
        kalmora::test::HostTestDatabase db(QStringLiteral("sqlite"), &kalmora::test::HostTestDatabase::smallChain);
        QVERIFY2(db.isValid(), qPrintable(db.error()));
        QString error;
        kalmora::SqlDataService::Ptr service = kalmora::SqlDataService::open(db.url(), QStringLiteral("0101"), &error);
        QVERIFY2(service, qPrintable(error));

        ModalAnswerer answerer;
        m_host = std::make_unique<TestHostWindow>();
        QVERIFY(hostActive());
        const QByteArray op = toShortString("0001");
        GetFormOne(m_host.get(), m_host->hostControl, reinterpret_cast<const uchar *>(op.constData()),
            m_host->parentControl, service.get());
        const QList<QWidget *> forms = embeddedForms(m_host->parentControl);
        QVERIFY(!forms.isEmpty());
        m_form = qobject_cast<TfrmMdda_ED *>(forms.last());
        QVERIFY(m_form);
        QCOMPARE(m_form->LblFjqk->text(), QStringLiteral("[2]-[2]-[2]-[3]"));
        QCOMPARE(screenRows(),
            (QStringList { QStringLiteral("01 华东区 1 0"), QStringLiteral("0101 上海 2 0"),
                QStringLiteral("010101 黄浦 3 1"), QStringLiteral("02 华北区 1 1") }));

        // Areas on every level, each under the one before.
        add(answerer, QStringLiteral("03"), QStringLiteral("华南区"));
        add(answerer, QStringLiteral("0301"), QStringLiteral("广州"));
        add(answerer, QStringLiteral("030101"), QStringLiteral("天河"));
        add(answerer, QStringLiteral("030101001"), QStringLiteral("体育西"));
        add(answerer, QStringLiteral("030101002"), QStringLiteral("珠江新城"));
        QCOMPARE(answerer.seen.size(), 5);
        QVERIFY(answerer.seen[3].text.startsWith(QStringLiteral("你想建立")));

        // Rename 02 by leaving the edit panel.
        click(m_form->TN->findNodeText(QStringLiteral("02 华北区")));
        type(m_form->edtName, QStringLiteral("华北大区"));
        answerer.press(QStringLiteral("Yes"));
        m_form->TN->setFocus();
        QTRY_VERIFY(answerer.idle());
        QVERIFY(hostActive());
        QVERIFY(m_form->TN->findNodeText(QStringLiteral("02 华北大区")));

        // Delete a leaf, then the other one, which makes its parent a leaf again.
        for (const QString &leaf : { QStringLiteral("030101001 体育西"), QStringLiteral("030101002 珠江新城") }) {
            click(m_form->TN->findNodeText(leaf));
            QVERIFY(m_form->btnDelete->isEnabled());
            answerer.press(QStringLiteral("Yes"));
            QTest::mouseClick(m_form->btnDelete, Qt::LeftButton);
            QTRY_VERIFY(answerer.idle());
            QVERIFY(hostActive());
            QVERIFY(!m_form->TN->findNodeText(leaf));
        }
        // Before a refresh the tree already matches the table, except that a
        // parent's leaf flag is the host's to change: 030101 shows as a leaf node
        // and the table agrees.
        const QStringList expected { QStringLiteral("01 华东区 1 0"), QStringLiteral("0101 上海 2 0"),
            QStringLiteral("010101 黄浦 3 1"), QStringLiteral("02 华北大区 1 1"), QStringLiteral("03 华南区 1 0"),
            QStringLiteral("0301 广州 2 0"), QStringLiteral("030101 天河 3 1") };
        QSqlDatabase inspect = db.inspect();
        QCOMPARE(tableRows(inspect), expected);
        m_form->TN->expandAll();
        QCOMPARE(screenRows(), expected);

        // Refresh: the same again, read back from the host.
        m_form->TN->setFocus();
        QTest::keyClick(m_form->TN, Qt::Key_R, Qt::ControlModifier);
        m_form->TN->expandAll();
        QCOMPARE(screenRows(), expected);
        // The screen offers deletion exactly where the table has a leaf.
        for (const QString &row : expected) {
            const QStringList parts = row.split(QLatin1Char(' '));
            click(m_form->TN->findNodeText(parts[0] + QLatin1Char(' ') + parts[1]));
            QCOMPARE(m_form->btnDelete->isEnabled(), parts[3] == QLatin1String("1"));
        }
        QVERIFY(answerer.unexpected.isEmpty());

        m_host.reset();
        releaseHostContext();
    }
};

QTEST_MAIN(TestMaintenanceEndToEnd)
#include "tst_mdda_endtoend.moc"
