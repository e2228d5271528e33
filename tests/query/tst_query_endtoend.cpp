// The query screen against the reference host's data service, on SQLite and on
// PostgreSQL when a server is available: the statement the screen builds runs
// on the real database and the listing shows what tbsqda holds.
#include "HostTestDatabase.h"
#include "ModalAnswerer.h"
#include "TestHost.h"

#include "core/SqlDataService.h"
#include "data/ClientDataSet.h"
#include "host/HostContext.h"
#include "query/QueryButton.h"
#include "query/TAdvDBGridEh.h"
#include "query/TFrmQuerySet.h"
#include "query/TfrmQuery.h"
#include "ui/FlatComboBox.h"

#include <sqda/EntryPoints.h>

#include <QApplication>
#include <QLineEdit>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

extern "C" void GetFormOneSearch(QWidget *appWindow, QWidget *hostControl, const unsigned char *operatorCode,
    QWidget *parentControl, sqda::ICoorDisp *dataService);

using namespace sqda;
using namespace sqda::test;
using namespace Qt::StringLiterals;

class TestQueryEndToEnd : public QObject
{
    Q_OBJECT

    QTemporaryDir m_home;

    static QString listing(TfrmQuery *f)
    {
        QStringList out;
        ClientDataSet *ds = f->cds;
        for (int r = 0; r < ds->recordCount(); ++r) {
            ds->setCurrentIndex(r);
            out << ds->fieldByName(u"f_sqbm")->asString() + ds->fieldByName(u"f_sqmc")->asString();
        }
        return out.join(u' ');
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_home.isValid());
        qputenv("KALMORA_HOME", m_home.path().toLocal8Bit());
    }

    void searchRunsOnTheDatabase_data() { kalmora::test::addBackendColumn(); }

    void searchRunsOnTheDatabase()
    {
        QFETCH(QString, backend);
        kalmora::test::HostTestDatabase db(backend, &kalmora::test::HostTestDatabase::smallChain);
        QVERIFY2(db.isValid(), qPrintable(db.error()));
        QString error;
        kalmora::SqlDataService::Ptr service = kalmora::SqlDataService::open(db.url(), u"0101"_s, &error);
        QVERIFY2(service, qPrintable(error));

        ModalAnswerer answerer;
        auto host = std::make_unique<TestHostWindow>();
        const QByteArray op = toShortString("0001");
        GetFormOneSearch(host.get(), host->hostControl, reinterpret_cast<const uchar *>(op.constData()),
            host->parentControl, service.get());
        auto *form = qobject_cast<TfrmQuery *>(embeddedForms(host->parentControl).value(0));
        QVERIFY(form);
        QCOMPARE(form->DepartmentFilter, u"0101"_s); // a chain head office ("01")

        // Every area of the department, in code order.
        answerer.press(u"btnOK"_s);
        QTest::mouseClick(form->btnSearch, Qt::LeftButton);
        QTRY_VERIFY(answerer.idle());
        QCOMPARE(listing(form), u"01华东区 0101上海 010101黄浦 02华北区"_s);
        QCOMPARE(form->dgdView->footerCellText(0), u"合计:4条"_s);

        // A condition with a quote in its value is data, not SQL.
        const QList<std::pair<QString, QString>> searches { { u"华"_s, u"01华东区 02华北区"_s },
            { u"华'北"_s, QString() } };
        for (const auto &[value, rows] : searches) {
            answerer.then([value](QWidget *w) {
                auto *dlg = qobject_cast<TFrmQuerySet *>(w);
                QVERIFY(dlg);
                dlg->btnClearLogic->click();
                dlg->cbxField->setCurrentIndex(dlg->cbxField->findText(u"商圈名称"_s));
                dlg->cbxFactor->setCurrentIndex(dlg->cbxFactor->findText(u"部分等于"_s));
                dlg->editValue->setText(value);
                dlg->btnAddLogic->click();
                dlg->btnOK->click();
            });
            QTest::mouseClick(form->btnSearch, Qt::LeftButton);
            QTRY_VERIFY(answerer.idle());
            QCOMPARE(listing(form), rows);
        }
        QVERIFY2(answerer.unexpected.isEmpty(), qPrintable(answerer.unexpected.value(0).text));
        QCOMPARE(form->dgdView->footerCellText(0), u"合计:0条"_s);

        host.reset();
        releaseHostContext();
    }

    // A value holding what some database's LIKE reads as syntax ("[" on SQL
    // Server, a backslash on PostgreSQL) selects on the database the rows the
    // same condition keeps as a filter over every row.
    void likeValuesSelectTheSameRowsAsTheFilter_data() { kalmora::test::addBackendColumn(); }

    void likeValuesSelectTheSameRowsAsTheFilter()
    {
        QFETCH(QString, backend);
        kalmora::test::HostTestDatabase db(backend, [](const QSqlDatabase &d) {
            kalmora::test::HostTestDatabase::smallChain(d);
            QSqlQuery q(d);
            QVERIFY2(q.exec(uR"(insert into tbsqda (f_bmbm, f_sqbm, f_sqmc, f_jb, f_mj) values
                ('0101', '03', '[1]区', 1, 1), ('0101', '04', '1区', 1, 1), ('0101', '05', 'a\b', 1, 1),
                ('0101', '06', 'ab', 1, 1), ('0101', '07', 'a%b', 1, 1), ('0101', '08', 'a\', 1, 1))"_s),
                qPrintable(q.lastError().text()));
        });
        QVERIFY2(db.isValid(), qPrintable(db.error()));
        QString error;
        kalmora::SqlDataService::Ptr service = kalmora::SqlDataService::open(db.url(), u"0101"_s, &error);
        QVERIFY2(service, qPrintable(error));

        ModalAnswerer answerer;
        auto host = std::make_unique<TestHostWindow>();
        const QByteArray op = toShortString("0001");
        GetFormOneSearch(host.get(), host->hostControl, reinterpret_cast<const uchar *>(op.constData()),
            host->parentControl, service.get());
        auto *form = qobject_cast<TfrmQuery *>(embeddedForms(host->parentControl).value(0));
        QVERIFY(form);
        const auto oneCondition = [&answerer](const QString &condition, const QString &value) {
            answerer.then([condition, value](QWidget *w) {
                auto *dlg = qobject_cast<TFrmQuerySet *>(w);
                QVERIFY(dlg);
                dlg->btnClearLogic->click();
                dlg->cbxField->setCurrentIndex(dlg->cbxField->findText(u"商圈名称"_s));
                dlg->cbxFactor->setCurrentIndex(dlg->cbxFactor->findText(condition));
                dlg->editValue->setText(value);
                dlg->btnAddLogic->click();
                dlg->btnOK->click();
            });
        };
        const QList<std::tuple<QString, QString, QString>> cases {
            { u"部分等于"_s, u"[1]"_s, u"03[1]区"_s },
            { u"部分不等于"_s, u"[1]"_s, u"01华东区 0101上海 010101黄浦 02华北区 041区 05a\\b 06ab 07a%b 08a\\"_s },
            { u"左等于"_s, u"a\\"_s, u"05a\\b 08a\\"_s }, { u"部分等于"_s, u"\\b"_s, u"05a\\b"_s },
            { u"左等于"_s, u"a%b"_s, u"05a\\b 06ab 07a%b"_s }, // "%" typed is a wildcard
        };
        for (const auto &[condition, value, rows] : cases) {
            // The search on the database.
            oneCondition(condition, value);
            QTest::mouseClick(form->btnSearch, Qt::LeftButton);
            QTRY_VERIFY(answerer.idle());
            QCOMPARE(listing(form), rows);
            // Every row, then the same condition as a filter.
            answerer.then([](QWidget *w) {
                auto *dlg = qobject_cast<TFrmQuerySet *>(w);
                QVERIFY(dlg);
                dlg->btnClearLogic->click();
                dlg->btnOK->click();
            });
            QTest::mouseClick(form->btnSearch, Qt::LeftButton);
            QTRY_VERIFY(answerer.idle());
            QCOMPARE(form->cds->recordCount(), 10);
            oneCondition(condition, value);
            QTest::mouseClick(form->ButFilter, Qt::LeftButton);
            QTRY_VERIFY(answerer.idle());
            QCOMPARE(listing(form), rows);
            // The filter off again for the next search.
            answerer.then([](QWidget *w) {
                auto *dlg = qobject_cast<TFrmQuerySet *>(w);
                QVERIFY(dlg);
                dlg->btnClearLogic->click();
                dlg->btnOK->click();
            });
            QTest::mouseClick(form->ButFilter, Qt::LeftButton);
            QTRY_VERIFY(answerer.idle());
        }
        QVERIFY2(answerer.unexpected.isEmpty(), qPrintable(answerer.unexpected.value(0).text));
        host.reset();
        releaseHostContext();
    }
};

QTEST_MAIN(TestQueryEndToEnd)
#include "tst_query_endtoend.moc"
