// Saved queries end to end, with the reference host's data service on SQLite
// and on PostgreSQL: a listing built through the screen's own buttons, saved
// from the listing's context menu, the screen closed and opened again, another
// search run, then the saved query run from the menu by the Menu key — the
// same rows in the same order, columns, sort marks and condition panel.
#include "HostTestDatabase.h"
#include "ModalAnswerer.h"
#include "TestHost.h"

#include "core/SqlDataService.h"
#include "data/ClientDataSet.h"
#include "host/HostContext.h"
#include "query/QueryButton.h"
#include "query/SavedQueryActions.h"
#include "query/TAdvDBGridEh.h"
#include "query/TFrmQuerySet.h"
#include "query/TfrmQuery.h"
#include "ui/FlatComboBox.h"

#include <sqda/EntryPoints.h>

#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
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

// Everything a saved query brings back, as one text.
QString shown(TfrmQuery *f)
{
    TAdvDBGridEh *grid = f->dgdView;
    QStringList parts { listing(f), grid->footerCellText(0), f->MemoCondition->toPlainText(),
        f->MemoCondition->isHidden() ? u"panel hidden"_s : u"panel shown"_s };
    for (int i = 0; i < grid->gridColumnCount(); ++i) {
        const GridColumn &c = grid->gridColumn(i);
        parts << u"%1:%2:%3:%4"_s.arg(c.fieldName).arg(c.visible).arg(c.width).arg(grid->sortMarkOrder(i));
    }
    return parts.join(u" | "_s);
}

void clickTitle(TAdvDBGridEh *grid, int gc)
{
    QHeaderView *h = grid->horizontalHeader();
    const int s = grid->sectionOfGridColumn(gc);
    QTest::mouseClick(h->viewport(), Qt::LeftButton, {},
        QPoint(h->sectionViewportPosition(s) + h->sectionSize(s) / 2, h->height() / 2));
}

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

void pressKey(QWidget *w, Qt::Key k, const QString &text = {})
{
    QKeyEvent press(QEvent::KeyPress, k, Qt::NoModifier, text);
    QApplication::sendEvent(w, &press);
    QKeyEvent release(QEvent::KeyRelease, k, Qt::NoModifier, text);
    QApplication::sendEvent(w, &release);
}

// Opens the listing's menu with the Menu key and chooses `item` with the arrows.
bool chooseFromMenu(TfrmQuery *f, const QString &item)
{
    pressKey(f->dgdView, Qt::Key_Menu);
    QMenu *menu = f->SavedQueries->menu();
    if (!menu || !QTest::qWaitForWindowExposed(menu))
        return false;
    for (int i = 0; i <= menu->actions().size(); ++i) {
        QTest::keyClick(menu, Qt::Key_Down);
        if (menu->activeAction() && menu->activeAction()->text() == item) {
            QTest::keyClick(menu, Qt::Key_Return);
            QCoreApplication::processEvents(); // the item runs once the menu's key is over
            return true;
        }
    }
    return false;
}

} // namespace

class TestSavedQuerySession : public QObject
{
    Q_OBJECT

    static TfrmQuery *open(TestHostWindow *host, kalmora::SqlDataService *service)
    {
        const QByteArray op = toShortString("0001");
        GetFormOneSearch(
            host, host->hostControl, reinterpret_cast<const uchar *>(op.constData()), host->parentControl, service);
        return qobject_cast<TfrmQuery *>(embeddedForms(host->parentControl).value(0));
    }

private Q_SLOTS:
    void saveReopenRun_data() { kalmora::test::addBackendColumn(); }

    void saveReopenRun()
    {
        QFETCH(QString, backend);
        QTemporaryDir home;
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

        // Areas whose code starts with 01, without 华 in the name, by name
        // descending, the code column hidden, the panel shown.
        answerer.then(condition(u"商圈编码"_s, u"左等于"_s, u"01"_s));
        QTest::mouseClick(form->btnSearch, Qt::LeftButton);
        QTRY_VERIFY(answerer.idle());
        QCOMPARE(listing(form), u"01华东区 0101上海 010101黄浦"_s);
        answerer.then(condition(u"商圈名称"_s, u"部分不等于"_s, u"华"_s));
        QTest::mouseClick(form->ButFilter, Qt::LeftButton);
        QTRY_VERIFY(answerer.idle());
        clickTitle(form->dgdView, 1);
        QCOMPARE(listing(form), u"0101上海 010101黄浦"_s);
        form->dgdView->setGridColumnVisible(0, false);
        QTest::mouseClick(form->btnShow, Qt::LeftButton);
        const QString saved = shown(form);

        answerer.then([](QWidget *w) {
            auto *edit = w->findChild<QLineEdit *>();
            QVERIFY(edit);
            for (const QChar c : u"上海黄浦"_s) {
                QTest::sendKeyEvent(QTest::Press, edit, Qt::Key_unknown, QString(c), Qt::NoModifier);
                QTest::sendKeyEvent(QTest::Release, edit, Qt::Key_unknown, QString(c), Qt::NoModifier);
            }
            QTest::keyClick(edit, Qt::Key_Return);
        });
        QVERIFY(chooseFromMenu(form, u"保存为查询方案…"_s));
        QTRY_VERIFY(answerer.idle());

        QTest::mouseClick(form->btnExit, Qt::LeftButton);
        QTRY_VERIFY(!form);
        host.reset();
        releaseHostContext();

        host = std::make_unique<TestHostWindow>();
        form = open(host.get(), service.get());
        QVERIFY(form);
        answerer.then(condition(u"商圈编码"_s, u"等于"_s, u"02"_s));
        QTest::mouseClick(form->btnSearch, Qt::LeftButton);
        QTRY_VERIFY(answerer.idle());
        QCOMPARE(listing(form), u"02华北区"_s);
        form->dgdView->setGridColumnVisible(0, true);
        QVERIFY(shown(form) != saved);

        QVERIFY(chooseFromMenu(form, u"上海黄浦"_s));
        QCOMPARE(shown(form), saved);
        QVERIFY(answerer.unexpected.isEmpty());
        host.reset();
        releaseHostContext();
    }
};

QTEST_MAIN(TestSavedQuerySession)
#include "tst_savedquery_session.moc"
