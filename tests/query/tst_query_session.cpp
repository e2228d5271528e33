// One user's session on the query screen with the reference host's data service,
// on SQLite and on PostgreSQL: search, sort by clicking titles, filter, hide a
// column and widen another, preview and export the listing to PDF, close, open
// the screen again and find the columns as they were left. Everything goes
// through the screen's own buttons and real dialogs, answered as a user would.
#include "HostTestDatabase.h"
#include "ModalAnswerer.h"
#include "TestHost.h"

#include "core/SqlDataService.h"
#include "data/ClientDataSet.h"
#include "host/HostContext.h"
#include "query/QueryButton.h"
#include "query/TAdvDBGridEh.h"
#include "query/TFrmChooseDBFields.h"
#include "query/TFrmQuerySet.h"
#include "query/TfrmQuery.h"
#include "reportui/ReportPreview.h"
#include "ui/FlatComboBox.h"

#include <sqda/EntryPoints.h>

#include <QFile>
#include <QFileDialog>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QToolButton>

extern "C" void GetFormOneSearch(QWidget *appWindow, QWidget *hostControl, const unsigned char *operatorCode,
    QWidget *parentControl, sqda::ICoorDisp *dataService);

using namespace sqda;
using namespace sqda::test;
using namespace Qt::StringLiterals;

namespace {

const QString Code = u"商圈编码"_s;
const QString Name = u"商圈名称"_s;

void key(QWidget *w, Qt::Key k, Qt::KeyboardModifiers mods, QEvent::Type type, const QString &text = {})
{
    QKeyEvent e(type, k, mods, text);
    QApplication::sendEvent(w, &e);
}

// The listing as the grid shows it: code and name of each row, in view order.
QString listing(TfrmQuery *f)
{
    QStringList out;
    const DataSetModel *m = f->dgdView->dataModel();
    const int code = f->cds->fieldByName(u"f_sqbm")->index();
    const int name = f->cds->fieldByName(u"f_sqmc")->index();
    for (int r = 0; r < m->rowCount(); ++r)
        out << m->index(r, code).data().toString() + m->index(r, name).data().toString();
    return out.join(u' ');
}

// A real click on the title of grid column `gc`.
void clickTitle(TAdvDBGridEh *grid, int gc, Qt::KeyboardModifiers mods = {})
{
    QHeaderView *h = grid->horizontalHeader();
    const int s = grid->sectionOfGridColumn(gc);
    QTest::mouseClick(h->viewport(), Qt::LeftButton, mods,
        QPoint(h->sectionViewportPosition(s) + h->sectionSize(s) / 2, h->height() / 2));
}

// The condition builder answered with one condition (none: an empty list).
ModalAnswerer::Action condition(const QString &field, const QString &factor, const QString &value)
{
    return [=](QWidget *w) {
        auto *dlg = qobject_cast<TFrmQuerySet *>(w);
        QVERIFY(dlg);
        QTest::mouseClick(dlg->btnClearLogic, Qt::LeftButton);
        if (!field.isEmpty()) {
            dlg->cbxField->setCurrentIndex(dlg->cbxField->findText(field));
            dlg->cbxFactor->setCurrentIndex(dlg->cbxFactor->findText(factor));
            dlg->editValue->setText(value);
            QTest::mouseClick(dlg->btnAddLogic, Qt::LeftButton);
        }
        QTest::mouseClick(dlg->btnOK, Qt::LeftButton);
    };
}

// Each page's text as pdftotext reads it.
QStringList pdfPages(const QString &path)
{
    QProcess p;
    p.start(u"pdftotext"_s, { u"-layout"_s, path, u"-"_s });
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return {};
    QStringList pages = QString::fromUtf8(p.readAllStandardOutput()).split(u'\f');
    if (!pages.isEmpty() && pages.last().trimmed().isEmpty())
        pages.removeLast();
    return pages;
}

} // namespace

class TestQuerySession : public QObject
{
    Q_OBJECT

    // The screen opened by the host's call; null when it did not open.
    static TfrmQuery *open(TestHostWindow *host, kalmora::SqlDataService *service)
    {
        const QByteArray op = toShortString("0001");
        GetFormOneSearch(
            host, host->hostControl, reinterpret_cast<const uchar *>(op.constData()), host->parentControl, service);
        return qobject_cast<TfrmQuery *>(embeddedForms(host->parentControl).value(0));
    }

private Q_SLOTS:
    void aSessionOnTheScreen_data() { kalmora::test::addBackendColumn(); }

    void aSessionOnTheScreen()
    {
        QFETCH(QString, backend);
        QTemporaryDir home; // the settings file of this session alone
        QVERIFY(home.isValid());
        qputenv("KALMORA_HOME", home.path().toLocal8Bit());
        kalmora::test::HostTestDatabase db(backend, &kalmora::test::HostTestDatabase::smallChain);
        QVERIFY2(db.isValid(), qPrintable(db.error()));
        QString error;
        kalmora::SqlDataService::Ptr service = kalmora::SqlDataService::open(db.url(), u"0101"_s, &error);
        QVERIFY2(service, qPrintable(error));

        ModalAnswerer answerer;
        auto host = std::make_unique<TestHostWindow>();
        QPointer<TfrmQuery> form = open(host.get(), service.get());
        QVERIFY(form);
        TAdvDBGridEh *grid = form->dgdView;

        // Search: every area of the department, in code order, counted.
        answerer.then(condition({}, {}, {}));
        QTest::mouseClick(form->btnSearch, Qt::LeftButton);
        QTRY_VERIFY(answerer.idle());
        QCOMPARE(listing(form), u"01华东区 0101上海 010101黄浦 02华北区"_s);
        QCOMPARE(grid->footerCellText(0), u"合计:4条"_s);

        // Sort by titles: the name descending, then ascending (pinyin order:
        // hua bei < hua dong < huang < shang); a Ctrl+click adds the code as
        // the second key, sorted when Ctrl goes up.
        clickTitle(grid, 1);
        QCOMPARE(listing(form), u"0101上海 010101黄浦 01华东区 02华北区"_s);
        clickTitle(grid, 1);
        QCOMPARE(listing(form), u"02华北区 01华东区 010101黄浦 0101上海"_s);
        clickTitle(grid, 0, Qt::ControlModifier);
        QCOMPARE(grid->sortMarkedColumns(), std::vector<int>({ 1, 0 }));
        key(grid, Qt::Key_Control, Qt::NoModifier, QEvent::KeyRelease);
        QCOMPARE(form->cds->indexName(), u"customindex"_s);
        QCOMPARE(form->cds->indexDefs().find(u"customindex"_s)->fields, u"f_sqmc;f_sqbm"_s);

        // Filter: names without 华; the count and the condition panel follow.
        answerer.then(condition(Name, u"部分不等于"_s, u"华"_s));
        QTest::mouseClick(form->ButFilter, Qt::LeftButton);
        QTRY_VERIFY(answerer.idle());
        QCOMPARE(listing(form), u"010101黄浦 0101上海"_s);
        QCOMPARE(grid->footerCellText(0), u"合计:2条"_s);
        QVERIFY2(form->MemoCondition->toPlainText().contains(u"过滤条件:\n    商圈名称:部分不等于华"_s),
            qPrintable(form->MemoCondition->toPlainText()));

        // Columns: the code hidden in the chooser, the name widened by its title.
        answerer.then([](QWidget *w) {
            auto *d = qobject_cast<TFrmChooseDBFields *>(w);
            QVERIFY(d);
            const QList<QListWidgetItem *> items = d->ltvChoose->findItems(Code, Qt::MatchExactly);
            QCOMPARE(items.size(), 1);
            items[0]->setCheckState(Qt::Unchecked);
            QTest::mouseClick(d->btnok, Qt::LeftButton);
        });
        QTest::mouseClick(form->btnChoose, Qt::LeftButton);
        QTRY_VERIFY(answerer.idle());
        QVERIFY(!grid->gridColumn(0).visible);
        QVERIFY(grid->isColumnHidden(grid->sectionOfGridColumn(0)));
        grid->horizontalHeader()->resizeSection(grid->sectionOfGridColumn(1), 230); // as a drag ends
        QCOMPARE(grid->gridColumn(1).width, 230);

        // Preview, and from it the listing to PDF: the shown column and the
        // filtered rows, not the hidden code.
        const QString pdf = home.filePath(u"listing.pdf"_s);
        answerer.drive([](QWidget *w) {
            auto *p = qobject_cast<report::ReportPreview *>(w);
            QVERIFY(p);
            QTest::mouseClick(p->findChild<QWidget *>(u"exportPdf"_s), Qt::LeftButton);
            key(p, Qt::Key_Escape, Qt::NoModifier, QEvent::KeyPress, u"\x1b"_s);
        });
        answerer.then([pdf](QWidget *w) {
            auto *dialog = qobject_cast<QFileDialog *>(w);
            QVERIFY(dialog);
            auto *name = dialog->findChild<QLineEdit *>(u"fileNameEdit"_s);
            QVERIFY(name);
            name->setText(pdf);
            key(name, Qt::Key_Return, Qt::NoModifier, QEvent::KeyPress, u"\r"_s);
        });
        QTest::mouseClick(form->btnPreview, Qt::LeftButton);
        QTRY_VERIFY(answerer.idle());
        const QString text = pdfPages(pdf).join(u'\n');
        QVERIFY2(text.contains(Name) && text.contains(u"黄浦"_s) && text.contains(u"上海"_s), qPrintable(text));
        QVERIFY2(!text.contains(Code) && !text.contains(u"华东区"_s) && !text.contains(u"0101 "_s), qPrintable(text));

        // Close: the host hears of it once; the layout is in the settings file.
        QTest::mouseClick(form->btnExit, Qt::LeftButton);
        QTRY_VERIFY(!form);
        QCOMPARE(host->hostControl->closedNotifications, 1);
        QFile ini(home.filePath(u"Kalmorapos.ini"_s));
        QVERIFY(ini.open(QIODevice::ReadOnly));
        const QString settings = QString::fromUtf8(ini.readAll());
        QVERIFY2(settings.contains(u"[SqSearchGrid]"_s) && settings.contains(u"f_sqmc=1,230"_s)
                && settings.contains(u"f_sqbm=0,"_s),
            qPrintable(settings));

        // Open again: the columns as they were left; a search fills the listing
        // afresh, unsorted and unfiltered, with the count in the hidden column.
        form = open(host.get(), service.get());
        QVERIFY(form);
        grid = form->dgdView;
        QVERIFY(!grid->gridColumn(0).visible);
        QVERIFY(grid->isColumnHidden(grid->sectionOfGridColumn(0)));
        QCOMPARE(grid->gridColumn(1).width, 230);
        QCOMPARE(grid->horizontalHeader()->sectionSize(grid->sectionOfGridColumn(1)), 230);
        answerer.then(condition(Name, u"部分等于"_s, u"华"_s));
        QTest::mouseClick(form->btnSearch, Qt::LeftButton);
        QTRY_VERIFY(answerer.idle());
        QCOMPARE(listing(form), u"01华东区 02华北区"_s);
        QVERIFY(grid->sortMarkedColumns().empty());
        QCOMPARE(grid->footerCellText(0), u"合计:2条"_s);
        QVERIFY2(answerer.unexpected.isEmpty(), qPrintable(answerer.unexpected.value(0).text));

        host.reset();
        releaseHostContext();
    }
};

QTEST_MAIN(TestQuerySession)
#include "tst_query_session.moc"
