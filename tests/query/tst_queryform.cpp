// The query screen as a user meets it: opened by GetFormOneSearch inside a test
// host, driven by real clicks and keys (with their texts), its dialogs answered
// as a user would, its host calls answered by a scripted host that records the
// statements it is sent.
#include "AccessibleReader.h"
#include "FakeCoorDisp.h"
#include "ModalAnswerer.h"
#include "TestHost.h"

#include "data/ClientDataSet.h"
#include "env/Utilities.h"
#include "host/HostContext.h"
#include "query/QueryButton.h"
#include "query/TAdvDBGridEh.h"
#include "query/TFrmChooseDBFields.h"
#include "query/TFrmQuerySet.h"
#include "query/TfrmQuery.h"
#include "report/ReportVariables.h"
#include "reportui/ReportPreview.h"
#include "reportui/TRMFormReport.h"
#include "ui/DialogState.h"
#include "ui/FlatComboBox.h"
#include "ui/ShortcutHelp.h"
#include "ui/TRopInst.h"
#include "ui/TRopWin.h"

#include <sqda/EntryPoints.h>
#include <sqda/HostMessage.h>

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QFile>
#include <QFontInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPointer>
#include <QPrinter>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QTextLayout>
#include <QToolButton>

#include <optional>

extern "C" void GetFormOneSearch(QWidget *appWindow, QWidget *hostControl, const unsigned char *operatorCode,
    QWidget *parentControl, sqda::ICoorDisp *dataService);

using namespace sqda;
using namespace sqda::test;
using namespace Qt::StringLiterals;

namespace {

// The host's answer to a search: tbsqda rows with a column the screen does not show.
QByteArray areaPacket(const QList<QStringList> &rows)
{
    FieldDefs defs { { u"f_bmbm"_s, FieldType::String, 12, {} }, { u"f_sqbm"_s, FieldType::String, 12, {} },
        { u"f_sqmc"_s, FieldType::String, 40, {} }, { u"f_jb"_s, FieldType::Int32, 0, {} } };
    QList<QVariantList> values;
    for (const QStringList &r : rows)
        values << QVariantList { r.value(0), r.value(1), r.value(2), 1 };
    return makePacket(defs, values);
}

const QList<QStringList> ThreeAreas { { u"0101"_s, u"01"_s, u"东城"_s }, { u"0101"_s, u"02"_s, u"西城"_s },
    { u"0101"_s, u"03"_s, u"河东"_s } };

// A key as the window system delivers it, with its text (none for the function keys).
void sendKey(QWidget *w, int key, Qt::KeyboardModifiers mods = {}, const QString &text = {})
{
    const QPointer<QWidget> target(w);
    QKeyEvent press(QEvent::KeyPress, key, mods, text);
    QApplication::sendEvent(w, &press);
    QKeyEvent release(QEvent::KeyRelease, key, mods, text);
    if (target)
        QApplication::sendEvent(w, &release);
}

// Counts one kind of key reaching a widget, to tell whether the screen consumed it.
class KeyCounter : public QObject
{
public:
    explicit KeyCounter(int key)
        : m_key(key)
    {
    }
    int count = 0;

protected:
    bool eventFilter(QObject *, QEvent *e) override
    {
        if (e->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(e)->key() == m_key)
            ++count;
        return false;
    }

private:
    int m_key;
};

// Answers the condition builder: one expression (when a label is given), then OK.
ModalAnswerer::Action searchFor(
    const QString &label = {}, const QString &condition = {}, const QString &value = {}, QString *caption = nullptr)
{
    return [=](QWidget *w) {
        auto *dlg = qobject_cast<TFrmQuerySet *>(w);
        QVERIFY(dlg);
        if (caption)
            *caption = dlg->gbxGoodsInfo->title();
        if (!label.isEmpty()) {
            dlg->cbxField->setCurrentIndex(dlg->cbxField->findText(label));
            dlg->cbxFactor->setCurrentIndex(dlg->cbxFactor->findText(condition));
            dlg->editValue->setText(value);
            QTest::mouseClick(dlg->btnAddLogic, Qt::LeftButton);
        }
        QTest::mouseClick(dlg->btnOK, Qt::LeftButton);
    };
}

QString memoText(const TfrmQuery *f)
{
    return f->MemoCondition->toPlainText();
}

// The family of the face that draws `text` in `font`, after fallback.
QString drawingFamily(const QFont &font, const QString &text)
{
    QTextLayout layout(text, font);
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
    const QList<QGlyphRun> runs = layout.glyphRuns();
    return runs.isEmpty() ? QString() : runs.first().rawFont().familyName();
}

} // namespace

class TestQueryForm : public QObject
{
    Q_OBJECT

    QTemporaryDir m_home;
    FakeCoorDisp::Ref m_service;
    std::unique_ptr<TestHostWindow> m_host;
    std::unique_ptr<ModalAnswerer> m_answer;
    QPointer<TfrmQuery> m_form;

    // The host's side of a search.
    QString m_kind = u"SQLSERVER"_s;
    QList<QStringList> m_rows = ThreeAreas;
    QStringList m_statements;
    QString m_dateTime;
    std::function<void(int dispId)> m_duringCall; // a host that processes events during its calls
    std::function<void()> m_onQuery;

    void scriptHost(const QMap<QString, QString> &params = FakeCoorDisp::defaultParameters())
    {
        m_service = FakeCoorDisp::create();
        m_service->setupEnvironment(params);
        m_service->on(DispGetServerDateTime, FakeCoorDisp::succeed(0, m_dateTime));
        m_service->on(DispGetDatabaseType, [this](QVariantList &) -> QVariant {
            // A copy: the test may replace the hook from inside it.
            if (const auto during = m_duringCall)
                during(DispGetDatabaseType);
            return m_kind;
        });
        m_service->on(DispQueryData, [this](QVariantList &args) -> QVariant {
            m_statements << args.value(0).toString();
            if (m_onQuery)
                m_onQuery();
            if (const auto during = m_duringCall)
                during(DispQueryData);
            args[1] = areaPacket(m_rows);
            return true;
        });
    }

    bool open(const QMap<QString, QString> &params = FakeCoorDisp::defaultParameters())
    {
        scriptHost(params);
        m_host = std::make_unique<TestHostWindow>();
        m_host->activateWindow();
        if (!QTest::qWaitForWindowActive(m_host.get()))
            return false;
        const QByteArray op = toShortString("0001");
        GetFormOneSearch(m_host.get(), m_host->hostControl, reinterpret_cast<const uchar *>(op.constData()),
            m_host->parentControl, m_service.get());
        const QList<QWidget *> forms = embeddedForms(m_host->parentControl);
        m_form = forms.isEmpty() ? nullptr : qobject_cast<TfrmQuery *>(forms.last());
        fit();
        return m_form;
    }

    // The host gives the screen its control's size, as the reference host does.
    void fit()
    {
        if (!m_form)
            return;
        QWidget *parent = m_host->parentControl;
        m_form->setGeometry(parent->rect());
        sendHostMessage(m_form, HostResizeMessage, parent->height(), parent->width());
    }

    // After a dialog the host window takes the keys again: the offscreen
    // platform has no window manager to give the activation back.
    bool hostActive() const
    {
        if (QApplication::activeWindow() != m_host.get())
            m_host->activateWindow();
        return QTest::qWaitFor([this] { return QApplication::activeWindow() == m_host.get(); });
    }

    // A search through the button, the builder answered with one expression (or none).
    void search(const QString &label = {}, const QString &condition = {}, const QString &value = {})
    {
        m_answer->then(searchFor(label, condition, value));
        QTest::mouseClick(m_form->btnSearch, Qt::LeftButton);
        QTRY_VERIFY(m_answer->idle());
    }

    QString footer(int column = 0) const { return m_form->dgdView->footerCellText(column); }

    QString listing() const
    {
        QStringList out;
        ClientDataSet *ds = m_form->cds;
        if (!ds->isActive())
            return u"(closed)"_s;
        for (int r = 0; r < m_form->dgdView->dataModel()->rowCount(); ++r) {
            ds->setCurrentIndex(r);
            out << ds->fieldByName(u"f_sqbm")->asString() + ds->fieldByName(u"f_sqmc")->asString();
        }
        return out.join(u' ');
    }

    QString layoutFile() const { return m_home.filePath(u"Kalmorapos.ini"_s); }
    QString printedFile() const { return m_home.filePath(u"printed.pdf"_s); }

    // Printing goes to a PDF file; `titleColor` gets the grid's title colour at
    // the moment the report asks for the printer.
    void printToFile(std::optional<QColor> *titleColor)
    {
        QFile::remove(printedFile());
        m_form->PrintDG->setPrinterProvider([this, titleColor] {
            *titleColor = m_form->dgdView->titleTextColor;
            auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
            printer->setOutputFormat(QPrinter::PdfFormat);
            printer->setOutputFileName(printedFile());
            return printer;
        });
    }

    // Answers the preview window: notes the title colour while it is up and closes it.
    void closePreview(std::optional<QColor> *titleColor)
    {
        m_answer->then([this, titleColor](QWidget *w) {
            QCOMPARE(QString::fromLatin1(w->metaObject()->className()), u"sqda::report::ReportPreview"_s);
            *titleColor = m_form->dgdView->titleTextColor;
            qobject_cast<QDialog *>(w)->reject();
        });
    }

    // What a user could still do with a preview that outlived its screen: a
    // repaint and every tool. Nothing, when it went with the screen.
    void useEveryTool(report::ReportPreview *p)
    {
        if (!p)
            return;
        const QString dir = m_home.path();
        p->setAskFileName([dir](QWidget *, const QString &, const QString &, bool open) {
            return open ? dir + u"/saved.sqdarpt"_s : dir + u"/after"_s;
        });
        p->repaint();
        p->zoomIn();
        p->fitWidth();
        p->wholePage();
        p->setZoom(1);
        p->goToPage(1);
        p->repaint();
        p->find(u"东城"_s);
        p->findNext();
        p->exportPdf();
        p->exportXlsx();
        p->save();
        p->load();
        p->print();
        p->pageSetup();
    }

    static QString pdfText(const QString &file)
    {
        QProcess p;
        p.start(u"pdftotext"_s, { u"-layout"_s, file, u"-"_s });
        p.waitForFinished(30000);
        return QString::fromUtf8(p.readAllStandardOutput());
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_home.isValid());
        qputenv("KALMORA_HOME", m_home.path().toLocal8Bit());
        ensureLibraryInitialized();
    }

    void init()
    {
        resetDialogStateForTests();
        QFile::remove(layoutFile());
        m_kind = u"SQLSERVER"_s;
        m_rows = ThreeAreas;
        m_statements.clear();
        m_dateTime = u"2026120910:11:12"_s;
        m_duringCall = nullptr;
        m_onQuery = nullptr;
        m_answer = std::make_unique<ModalAnswerer>();
    }

    void cleanup()
    {
        QVERIFY2(m_answer->unexpected.isEmpty(), qPrintable(m_answer->unexpected.value(0).text));
        m_duringCall = nullptr;
        m_host.reset();
        releaseHostContext();
        m_service.reset();
        m_answer.reset();
    }

    // The screen as drawn and set up: tool bar, hidden condition panel, green
    // line, and the listing grid with its colours, fonts, columns and options.
    void layoutFollowsTheDesign()
    {
        QVERIFY(open());
        TfrmQuery *f = m_form;
        QCOMPARE(f->windowTitle(), u"门店查询"_s);
        QCOMPARE(f->tlbInCounterSearch->height(), 36);
        const QList<std::tuple<QToolButton *, QString, QString, int>> buttons {
            { f->btnSearch, u"重  查"_s, u"F2"_s, 0 },
            { f->ButFilter, u"过  滤"_s, QString(), 37 },
            { f->btnChoose, u"选  项"_s, u"F3"_s, 74 },
            { f->btnShow, u"条  件"_s, QString(), 111 },
            { f->btnPreview, u"预  览"_s, u"Ctrl+V"_s, 156 },
            { f->btnPrint, u"打  印"_s, u"Ctrl+P"_s, 193 },
            { f->btnHand, u"助  手"_s, QString(), 238 },
            { f->btnExit, u"退  出"_s, QString(), 275 },
        };
        for (const auto &[button, caption, hint, x] : buttons) {
            QCOMPARE(button->text(), caption);
            QCOMPARE(button->toolTip(), hint);
            QCOMPARE(button->geometry(), QRect(x, 0, 37, 36));
            QCOMPARE(button->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
            QVERIFY2(!button->icon().isNull(), qPrintable(caption));
            QCOMPARE(button->focusPolicy(), Qt::NoFocus);
        }
        QCOMPARE(f->ToolButton1->geometry().left(), 148);
        QCOMPARE(f->ToolButton2->geometry().left(), 230);
        QCOMPARE(f->ToolButton1->width(), 8);

        QVERIFY(f->MemoCondition->isHidden());
        QVERIFY(f->MemoCondition->isReadOnly());
        QCOMPARE(f->MemoCondition->height(), 86);
        QCOMPARE(f->MemoCondition->frameShape(), QFrame::NoFrame);
        QCOMPARE(f->MemoCondition->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QCOMPARE(f->MemoCondition->font().family(), u"MS Sans Serif"_s);
        QCOMPARE(f->MemoCondition->font().pixelSize(), 11);
        // The panel's Chinese is drawn by the Simplified Chinese face.
        QCOMPARE(drawingFamily(f->MemoCondition->font(), u"查询条件"_s), u"Noto Sans CJK SC"_s);
        QCOMPARE(f->Panel->height(), 1);

        TAdvDBGridEh *g = f->dgdView;
        for (const QFont &font : { g->font(), g->titleFont, g->footerFont }) {
            QCOMPARE(QFontInfo(font).family(), u"Noto Serif CJK SC"_s);
            QCOMPARE(QFontInfo(font).pixelSize(), 12);
        }
        QVERIFY(!g->testAttribute(Qt::WA_InputMethodEnabled));
        QCOMPARE(g->editTriggers(), QAbstractItemView::NoEditTriggers);
        QCOMPARE(g->selectionBehavior(), QAbstractItemView::SelectRows);
        QCOMPARE(g->horizontalHeader()->sectionResizeMode(0), QHeaderView::Interactive);
        QVERIFY(g->showGrid());
        QCOMPARE(g->frameShape(), QFrame::NoFrame);
        QVERIFY(g->AutoSorted);
        QVERIFY(!g->ShowSumCount);
        QVERIFY(g->sortMarkingEnabled());
        QVERIFY(g->multiSortMarking());
        QVERIFY(g->footerShown());
        QCOMPARE(g->frozenColumnCount(), 0);
        QCOMPARE(g->gridColumnCount(), 2);
        QCOMPARE(g->gridColumn(0).fieldName, u"f_sqbm"_s);
        QCOMPARE(g->gridColumn(1).fieldName, u"f_sqmc"_s);
        QCOMPARE(g->gridColumn(1).width, 164);
        QCOMPARE(g->columnTitle(0), u"商圈编码"_s);
        QCOMPARE(g->columnTitle(1), u"商圈名称"_s);

        // The listing's three persistent fields; the department is never shown.
        const FieldDefs defs = f->cds->fieldDefs();
        QCOMPARE(defs.size(), 3);
        QCOMPARE(defs[0].name, u"f_sqbm"_s);
        QCOMPARE(defs[0].size, 12);
        QCOMPARE(defs[1].name, u"f_sqmc"_s);
        QCOMPARE(defs[1].size, 40);
        QCOMPARE(defs[2].name, u"f_bmbm"_s);
        QCOMPARE(defs[2].displayLabel, u"部门编码"_s);
        QVERIFY(!defs[2].visible);
        QVERIFY(f->cds->hasPersistentFields());
        QVERIFY(!f->cds->isActive());

        // What is drawn: the green line, the green title row with white text,
        // the yellow footer and the listing's background, after a search.
        search();
        f->MemoCondition->show();
        QCoreApplication::processEvents();
        const QImage shot = f->grab().toImage();
        const auto at = [f](QWidget *w, QPoint p) { return w->mapTo(f, p); };
        QCOMPARE(QColor(shot.pixel(at(f->MemoCondition, QPoint(5, 60)))), QColor(251, 254, 222));
        QCOMPARE(QColor(shot.pixel(at(f->Panel, QPoint(300, 0)))), QColor(0, 128, 0));
        QHeaderView *title = g->horizontalHeader();
        QCOMPARE(QColor(shot.pixel(at(title, QPoint(title->sectionSize(0) + 40, 3)))), QColor(0, 128, 0));
        bool whiteText = false;
        for (int y = 0; y < title->height() && !whiteText; ++y)
            for (int x = 0; x < title->sectionSize(0) && !whiteText; ++x)
                whiteText = QColor(shot.pixel(at(title, QPoint(x, y)))) == QColor(Qt::white);
        QVERIFY(whiteText);
        QWidget *foot = g->footerWidget();
        QVERIFY(foot && foot->isVisible());
        QCOMPARE(QColor(shot.pixel(at(foot, QPoint(foot->width() - 30, 3)))), QColor(Qt::yellow));
        QCOMPARE(
            QColor(shot.pixel(at(g->viewport(), QPoint(g->viewport()->width() - 10, g->viewport()->height() - 10)))),
            QColor(251, 254, 222));
    }

    // The statement sent for each unit type, condition and database kind.
    void searchStatement_data()
    {
        QTest::addColumn<QString>("unitType");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("value"); // 商圈名称 部分等于 value; empty: no condition
        QTest::addColumn<QString>("statement");
        const QString plain = u"select * from tbsqda sqda where 1=1  order by sqda.f_sqbm"_s;
        const QString dept = u"select * from tbsqda sqda where 1=1 and sqda.f_bmbm='0101' order by sqda.f_sqbm"_s;
        const QString example
            = u"select * from tbsqda sqda where 1=1 and sqda.f_bmbm='0101' and (( f_sqmc LIKE '%东%' )) order by sqda.f_sqbm"_s;
        QTest::newRow("the example: 0101 and 商圈名称 部分等于 东") << "01"
                                                                    << "SQLSERVER" << u"东"_s << example;
        QTest::newRow("no department, no condition: two spaces") << "00"
                                                                 << "SQLSERVER"
                                                                 << "" << plain;
        QTest::newRow("unit 03: no department") << "03"
                                                << "SQLSERVER"
                                                << "" << plain;
        QTest::newRow("unit 00 with a condition")
            << "00"
            << "SQLSERVER" << u"东"_s
            << u"select * from tbsqda sqda where 1=1  and (( f_sqmc LIKE '%东%' )) order by sqda.f_sqbm"_s;
        QTest::newRow("unit 01") << "01"
                                 << "SQLSERVER"
                                 << "" << dept;
        QTest::newRow("unit 02") << "02"
                                 << "SQLSERVER"
                                 << "" << dept;
        QTest::newRow("unit 11") << "11"
                                 << "SQLSERVER"
                                 << "" << dept;
        QTest::newRow("unit 02 with a condition") << "02"
                                                  << "SQLSERVER" << u"东"_s << example;
        // " TB" and "len(" are what the DB2 rewrite touches; a typed value is
        // data and reaches the database as typed, as it reaches the filter.
        QTest::newRow("DB2: the value as typed")
            << "00"
            << "DB2" << u"len( TBX"_s
            << u"select * from tbsqda sqda where 1=1  and (( f_sqmc LIKE '%len( TBX%' )) order by sqda.f_sqbm"_s;
        // "[" opens a character class on SQL Server: escaped there, and plain
        // where it is no syntax (DB2 and Oracle refuse an escape before it).
        QTest::newRow("SQLSERVER: bracket escaped")
            << "00"
            << "SQLSERVER" << u"[1]"_s
            << u"select * from tbsqda sqda where 1=1  and (( f_sqmc LIKE '%\\[1]%' ESCAPE '\\' )) order by sqda.f_sqbm"_s;
        QTest::newRow("DB2: bracket plain")
            << "00"
            << "DB2" << u"\\[1]"_s
            << u"select * from tbsqda sqda where 1=1  and (( f_sqmc LIKE '%\\\\[1]%' ESCAPE '\\' )) order by sqda.f_sqbm"_s;
        QTest::newRow("ORACLE: bracket plain")
            << "00"
            << "ORACLE" << u"[1]"_s
            << u"select * from tbsqda sqda where 1=1  and (( f_sqmc LIKE '%[1]%' ESCAPE '\\' )) order by sqda.f_sqbm"_s;
        QTest::newRow("SQLSERVER plain")
            << "00"
            << "SQLSERVER" << u"len( TBX"_s
            << u"select * from tbsqda sqda where 1=1  and (( f_sqmc LIKE '%len( TBX%' )) order by sqda.f_sqbm"_s;
        QTest::newRow("ORACLE plain")
            << "00"
            << "ORACLE" << u"len( TBX"_s
            << u"select * from tbsqda sqda where 1=1  and (( f_sqmc LIKE '%len( TBX%' )) order by sqda.f_sqbm"_s;
        QTest::newRow("other kind plain")
            << "00"
            << "db2" << u"len( TBX"_s
            << u"select * from tbsqda sqda where 1=1  and (( f_sqmc LIKE '%len( TBX%' )) order by sqda.f_sqbm"_s;
    }

    void searchStatement()
    {
        QFETCH(QString, unitType);
        QFETCH(QString, kind);
        QFETCH(QString, value);
        QFETCH(QString, statement);
        QMap<QString, QString> params = FakeCoorDisp::defaultParameters();
        params[u"dwlx"_s] = unitType;
        QVERIFY(open(params));
        m_kind = kind;
        if (value.isEmpty())
            search();
        else
            search(u"商圈名称"_s, u"部分等于"_s, value);
        QCOMPARE(m_statements, QStringList { statement });
    }

    // A department code with a quote in it stays one literal.
    void departmentIsALiteral()
    {
        QMap<QString, QString> params = FakeCoorDisp::defaultParameters();
        params[u"dybm"_s] = u"01'x"_s;
        QVERIFY(open(params));
        search();
        QCOMPARE(m_statements,
            QStringList { u"select * from tbsqda sqda where 1=1 and sqda.f_bmbm='01''x' order by sqda.f_sqbm"_s });
    }

    // A confirmed search loads the rows, writes the count under the first column
    // and describes the conditions; a failed or unreadable answer changes none
    // of them; a cancelled dialog asks the host nothing.
    void searchOutcomes()
    {
        QVERIFY(open());
        QVERIFY(hostActive());
        // Cancelled: nothing asked, nothing changed.
        m_answer->press(u"btnExit"_s);
        QTest::mouseClick(m_form->btnSearch, Qt::LeftButton);
        QTRY_VERIFY(m_answer->idle());
        QCOMPARE(m_service->count(DispQueryData), 0);
        QCOMPARE(m_service->count(DispGetDatabaseType), 1); // the environment's, at creation
        QVERIFY(!m_form->cds->isActive());

        search(u"商圈名称"_s, u"部分等于"_s, u"城"_s);
        QCOMPARE(listing(), u"01东城 02西城 03河东"_s);
        QCOMPARE(footer(0), u"合计:3条"_s);
        QCOMPARE(footer(1), QString());
        const QString conditions = u"查询条件:\n    商圈名称:部分等于城\n"_s;
        QCOMPARE(memoText(m_form), conditions);
        QCOMPARE(m_form->dgdView->dataModel()->columnCount(), 3);
        QVERIFY(m_form->dgdView->isColumnHidden(2)); // f_bmbm
        QVERIFY(m_form->MemoCondition->isHidden()); // filled, still hidden

        // The host refuses: its lines in the error box, everything as it was.
        m_service->once(DispQueryData, FakeCoorDisp::fail(1, QVariantList { u"表不存在"_s, u"第二行"_s }));
        m_answer->press(u"btnOK"_s).press(u"Ok"_s);
        QTest::mouseClick(m_form->btnSearch, Qt::LeftButton);
        QTRY_VERIFY(m_answer->idle());
        QCOMPARE(m_answer->seen.last().title, u"错误"_s);
        QCOMPARE(m_answer->seen.last().text, u"表不存在\r\n第二行"_s);
        QCOMPARE(m_answer->seen.last().icon, int(QMessageBox::Critical));
        QCOMPARE(listing(), u"01东城 02西城 03河东"_s);
        QCOMPARE(footer(0), u"合计:3条"_s);
        QCOMPARE(memoText(m_form), conditions);

        // An answer that is no packet: said so, the listing kept.
        m_service->once(DispQueryData, FakeCoorDisp::succeed(1, QByteArray("not a packet")));
        m_answer->press(u"btnOK"_s).press(u"Ok"_s);
        QTest::mouseClick(m_form->btnSearch, Qt::LeftButton);
        QTRY_VERIFY(m_answer->idle());
        QCOMPARE(m_answer->seen.last().title, u"错误"_s);
        QCOMPARE(listing(), u"01东城 02西城 03河东"_s);
        QCOMPARE(footer(0), u"合计:3条"_s);

        // An empty result.
        m_rows.clear();
        m_answer->press(u"btnOK"_s);
        QTest::mouseClick(m_form->btnSearch, Qt::LeftButton);
        QTRY_VERIFY(m_answer->idle());
        QCOMPARE(listing(), QString());
        QCOMPARE(footer(0), u"合计:0条"_s);
        QCOMPARE(m_service->count(DispQueryData), 4);
    }

    // A search that lists no rows (refused, or an answer that cannot be read)
    // leaves everything that describes the listing describing the rows shown:
    // the panel, the next filter's panel, the printed "Condi". The next
    // "重  查" opens with the rows just typed, so the user can try again.
    void failedSearchKeepsTheConditionsOfTheRowsShown_data()
    {
        QTest::addColumn<bool>("refused"); // else: an answer that is no packet
        QTest::newRow("host refuses") << true;
        QTest::newRow("unreadable answer") << false;
    }
    void failedSearchKeepsTheConditionsOfTheRowsShown()
    {
        QFETCH(bool, refused);
        QVERIFY(open());
        search(u"商圈名称"_s, u"部分等于"_s, u"城"_s);
        const QString shown = u"查询条件:\n    商圈名称:部分等于城\n"_s;
        QCOMPARE(memoText(m_form), shown);

        m_service->once(DispQueryData,
            refused ? FakeCoorDisp::fail(1, QVariantList { u"拒绝"_s })
                    : FakeCoorDisp::succeed(1, QByteArray("not a packet")));
        m_answer
            ->then([](QWidget *w) {
                auto *dlg = qobject_cast<TFrmQuerySet *>(w);
                QVERIFY(dlg);
                QTest::mouseClick(dlg->btnClearLogic, Qt::LeftButton);
                searchFor(u"商圈编码"_s, u"等于"_s, u"02"_s)(w);
            })
            .press(u"Ok"_s);
        QTest::mouseClick(m_form->btnSearch, Qt::LeftButton);
        QTRY_VERIFY(m_answer->idle());
        QCOMPARE(m_answer->seen.last().title, u"错误"_s);
        QCOMPARE(listing(), u"01东城 02西城 03河东"_s);
        QCOMPARE(memoText(m_form), shown);
        QCOMPARE(m_form->dgdView->QueryConditions, LogicRows({ { u"商圈名称"_s, u"部分等于"_s, u"城"_s, {} } }));

        // The panel shown, as a preview or print sees it.
        QTest::mouseClick(m_form->btnShow, Qt::LeftButton);
        QCOMPARE(m_form->listingSettings().condition, u"查询条件:\r\n    商圈名称:部分等于城\r\n"_s);

        // A filter next: its panel describes the search of the rows shown.
        m_answer->then(searchFor(u"商圈名称"_s, u"部分等于"_s, u"东"_s));
        QTest::mouseClick(m_form->ButFilter, Qt::LeftButton);
        QTRY_VERIFY(m_answer->idle());
        QCOMPARE(memoText(m_form), u"查询条件:\n    商圈名称:部分等于城\n过滤条件:\n    商圈名称:部分等于东"_s);

        // The next search opens with the rows typed for the failed one; left
        // without OK it changes nothing, and opens with them again.
        LogicRows offered;
        for (int round = 0; round < 2; ++round) {
            m_answer->then([&offered](QWidget *w) {
                auto *dlg = qobject_cast<TFrmQuerySet *>(w);
                QVERIFY(dlg);
                offered = dlg->rows();
                QTest::mouseClick(dlg->btnExit, Qt::LeftButton);
            });
            QTest::mouseClick(m_form->btnSearch, Qt::LeftButton);
            QTRY_VERIFY(m_answer->idle());
            QCOMPARE(offered, LogicRows({ { u"商圈编码"_s, u"等于"_s, u"02"_s, {} } }));
            QCOMPARE(m_form->dgdView->QueryConditions, LogicRows({ { u"商圈名称"_s, u"部分等于"_s, u"城"_s, {} } }));
        }
        // Confirmed and listed: now they describe the rows.
        m_answer->press(u"btnOK"_s);
        QTest::mouseClick(m_form->btnSearch, Qt::LeftButton);
        QTRY_VERIFY(m_answer->idle());
        QVERIFY2(m_statements.last().contains(u"and (( f_sqbm = '02' ))"_s), qPrintable(m_statements.last()));
        QCOMPARE(memoText(m_form), u"查询条件:\n    商圈编码:等于02\n过滤条件:\n    商圈名称:部分等于东"_s);
    }

    // A filter confirmed before any search: no count in the footer of the
    // closed listing; the filter is kept and narrows the first search.
    void filterBeforeAnySearch()
    {
        QVERIFY(open());
        m_answer->then(searchFor(u"商圈名称"_s, u"部分等于"_s, u"东"_s));
        QTest::mouseClick(m_form->ButFilter, Qt::LeftButton);
        QTRY_VERIFY(m_answer->idle());
        QVERIFY(!m_form->cds->isActive());
        QCOMPARE(footer(0), QString());
        QCOMPARE(memoText(m_form), u"过滤条件:\n    商圈名称:部分等于东"_s);
        search();
        QCOMPARE(listing(), u"01东城 03河东"_s);
        QCOMPARE(footer(0), u"合计:2条"_s);
    }

    // The column chooser on the screen's own grid: 商圈名称 unticked and
    // confirmed hides it; the next opening shows it unticked; the dialog is
    // centred on the screen and writes in the screens' face, in pixels.
    void columnChooserOnTheListing()
    {
        QVERIFY(open());
        search();
        QStringList offered;
        QPoint centreOff;
        m_answer->then([&](QWidget *w) {
            auto *d = qobject_cast<TFrmChooseDBFields *>(w);
            QVERIFY(d);
            centreOff = d->frameGeometry().center() - d->screen()->geometry().center();
            QCOMPARE(QFontInfo(d->btnok->font()).family(), u"Noto Serif CJK SC"_s);
            QCOMPARE(QFontInfo(d->btnok->font()).pixelSize(), 12);
            QCOMPARE(d->font().pixelSize(), 12); // in pixels, at any resolution
            for (int i = 0; i < d->ltvChoose->count(); ++i)
                offered << d->ltvChoose->item(i)->text();
            QListWidgetItem *name = d->ltvChoose->item(1);
            // Space on the current entry, as a user unticks it from the keyboard.
            d->ltvChoose->setFocus();
            d->ltvChoose->setCurrentItem(name);
            QTest::keyClick(d->ltvChoose, Qt::Key_Space);
            QCOMPARE(name->checkState(), Qt::Unchecked);
            QTest::mouseClick(d->btnok, Qt::LeftButton);
        });
        QTest::mouseClick(m_form->btnChoose, Qt::LeftButton);
        QTRY_VERIFY(m_answer->idle());
        QCOMPARE(offered, QStringList({ u"商圈编码"_s, u"商圈名称"_s }));
        QVERIFY(qAbs(centreOff.x()) <= 1 && qAbs(centreOff.y()) <= 1);
        QVERIFY(!m_form->dgdView->gridColumn(1).visible);
        QVERIFY(m_form->dgdView->gridColumn(0).visible);
        QVERIFY(m_form->dgdView->isColumnHidden(m_form->dgdView->sectionOfGridColumn(1)));

        QList<Qt::CheckState> ticks;
        m_answer->then([&ticks](QWidget *w) {
            auto *d = qobject_cast<TFrmChooseDBFields *>(w);
            QVERIFY(d);
            for (int i = 0; i < d->ltvChoose->count(); ++i)
                ticks << d->ltvChoose->item(i)->checkState();
            QTest::mouseClick(d->btncancel, Qt::LeftButton);
        });
        QTest::mouseClick(m_form->btnChoose, Qt::LeftButton);
        QTRY_VERIFY(m_answer->idle());
        QCOMPARE(ticks, QList<Qt::CheckState>({ Qt::Checked, Qt::Unchecked }));
    }

    // With the code column hidden the count sits in its footer, out of sight.
    void countInAHiddenFirstColumn()
    {
        QVERIFY(open());
        m_form->dgdView->setGridColumnVisible(0, false);
        search();
        QCOMPARE(footer(0), u"合计:3条"_s);
        QVERIFY(!m_form->dgdView->gridColumn(0).visible);
        QCOMPARE(m_form->dgdView->firstVisibleColumn(), 1);
        QCOMPARE(footer(1), QString());
    }

    // The filter narrows the loaded rows without asking the host, and keeps
    // narrowing the rows of later searches; count and panel describe both.
    void filterNarrowsTheLoadedRows()
    {
        QVERIFY(open());
        search();
        QCOMPARE(m_service->count(DispQueryData), 1);
        QString caption;
        m_answer->then([&caption](QWidget *w) {
            auto *dlg = qobject_cast<TFrmQuerySet *>(w);
            QVERIFY(dlg);
            caption = dlg->gbxGoodsInfo->title();
            QCOMPARE(dlg->FilterMode, 1);
            searchFor(u"商圈名称"_s, u"部分等于"_s, u"东"_s)(w);
        });
        QTest::mouseClick(m_form->ButFilter, Qt::LeftButton);
        QTRY_VERIFY(m_answer->idle());
        QCOMPARE(caption, u"商圈档案过滤"_s);
        QCOMPARE(listing(), u"01东城 03河东"_s);
        QCOMPARE(footer(0), u"合计:2条"_s);
        QCOMPARE(memoText(m_form), u"过滤条件:\n    商圈名称:部分等于东"_s);
        QCOMPARE(m_service->count(DispQueryData), 1);

        // Cancelled: nothing changes.
        m_answer->press(u"btnExit"_s);
        QTest::mouseClick(m_form->ButFilter, Qt::LeftButton);
        QTRY_VERIFY(m_answer->idle());
        QCOMPARE(footer(0), u"合计:2条"_s);

        m_rows << QStringList { u"0101"_s, u"04"_s, u"东湖"_s } << QStringList { u"0101"_s, u"05"_s, u"南区"_s };
        search(u"商圈编码"_s, u"不等于"_s, u"02"_s);
        QCOMPARE(listing(), u"01东城 03河东 04东湖"_s);
        QCOMPARE(footer(0), u"合计:3条"_s);
        QCOMPARE(memoText(m_form), u"查询条件:\n    商圈编码:不等于02\n过滤条件:\n    商圈名称:部分等于东"_s);
    }

    // The panel, first shown by F4 before any search, lies between the tool
    // bar and the green line and takes its turn in Tab order just before the
    // listing, between the host's controls before and after the screen.
    void conditionPanelPlaceAndTabOrder()
    {
        QVERIFY(open());
        QVERIFY(hostActive());
        QWidget *before = m_host->hostControl;
        before->setFocusPolicy(Qt::TabFocus);
        auto *after = new QLineEdit(m_host.get());
        after->setGeometry(0, 570, 100, 20);
        after->show();
        QWidget *grid = m_form->dgdView;
        QCOMPARE(QApplication::focusWidget(), grid);

        QTest::keyClick(grid, Qt::Key_F4);
        QTextEdit *memo = m_form->MemoCondition;
        QVERIFY(memo->isVisible());
        QCOMPARE(memo->geometry(),
            QRect(0, m_form->tlbInCounterSearch->geometry().bottom() + 1, m_form->Panel1->width(), 86));
        QCOMPARE(m_form->Panel->geometry().top(), memo->geometry().bottom() + 1);

        memo->setFocus();
        QTest::keyClick(memo, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), grid);
        QTest::keyClick(grid, Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(QApplication::focusWidget(), memo);
        QTest::keyClick(memo, Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(QApplication::focusWidget(), before);
        grid->setFocus();
        QTest::keyClick(grid, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), after);
    }

    // F4 and the button toggle the panel and the pressed state together;
    // Ctrl+S does nothing; no key is taken from the control that has the focus.
    void conditionPanelAndKeys()
    {
        QVERIFY(open());
        QVERIFY(hostActive());
        QWidget *grid = m_form->dgdView;
        QCOMPARE(QApplication::focusWidget(), grid);
        KeyCounter f4(Qt::Key_F4), ctrlS(Qt::Key_S);
        grid->installEventFilter(&f4);
        grid->installEventFilter(&ctrlS);

        sendKey(grid, Qt::Key_F4);
        QVERIFY(!m_form->MemoCondition->isHidden());
        QVERIFY(m_form->btnShow->isChecked());
        sendKey(grid, Qt::Key_F4, Qt::ShiftModifier); // whatever modifiers are held
        QVERIFY(m_form->MemoCondition->isHidden());
        QVERIFY(!m_form->btnShow->isChecked());
        QTest::mouseClick(m_form->btnShow, Qt::LeftButton);
        QVERIFY(!m_form->MemoCondition->isHidden());
        QVERIFY(m_form->btnShow->isChecked());
        QTest::mouseClick(m_form->btnShow, Qt::LeftButton);
        QVERIFY(m_form->MemoCondition->isHidden());
        QVERIFY(!m_form->btnShow->isChecked());
        QCOMPARE(f4.count, 2);

        sendKey(grid, Qt::Key_S, Qt::ControlModifier, u"\x13"_s);
        QVERIFY(m_form->MemoCondition->isHidden());
        QCOMPARE(ctrlS.count, 1);
        QVERIFY(m_answer->seen.isEmpty());
        grid->removeEventFilter(&f4);
        grid->removeEventFilter(&ctrlS);
    }

    // F2 opens the search, F3 the column chooser; Esc closes the screen once.
    void functionKeysAndEscape()
    {
        QVERIFY(open());
        QVERIFY(hostActive());
        QString caption;
        m_answer->then(searchFor({}, {}, {}, &caption));
        sendKey(m_form->dgdView, Qt::Key_F2);
        QTRY_VERIFY(m_answer->idle());
        QCOMPARE(caption, u"商圈档案查询"_s);
        QCOMPARE(m_statements.size(), 1);

        QVERIFY(hostActive());
        bool chooser = false;
        m_answer->then([&chooser](QWidget *w) {
            chooser = qobject_cast<TFrmChooseDBFields *>(w) != nullptr;
            qobject_cast<QDialog *>(w)->reject();
        });
        sendKey(m_form->dgdView, Qt::Key_F3, Qt::ControlModifier);
        QTRY_VERIFY(m_answer->idle());
        QVERIFY(chooser);

        QVERIFY(hostActive());
        QPointer<TfrmQuery> form = m_form;
        sendKey(m_form->dgdView, Qt::Key_Escape, {}, u"\x1b"_s);
        QCOMPARE(m_host->hostControl->closedNotifications, 1);
        QTRY_VERIFY(!form);
        QCOMPARE(m_host->hostControl->closedNotifications, 1);
    }

    // Letters typed in the listing lead to a row by its name's pinyin or its
    // code; the screen's keys keep their meaning.
    void typeAheadInTheListing()
    {
        QVERIFY(open());
        search();
        QVERIFY(hostActive());
        TAdvDBGridEh *grid = m_form->dgdView;
        grid->setFocus();
        QTest::keyClicks(grid, u"hd"_s); // 河东
        QCOMPARE(grid->currentIndex().row(), 2);
        QTest::qWait(QApplication::keyboardInputInterval() + 50);
        QTest::keyClicks(grid, u"xic"_s); // 西城, xicheng
        QCOMPARE(grid->currentIndex().row(), 1);
        QTest::qWait(QApplication::keyboardInputInterval() + 50);
        QTest::keyClicks(grid, u"01"_s);
        QCOMPARE(grid->currentIndex().row(), 0);
        sendKey(grid, Qt::Key_F4);
        QVERIFY(!m_form->MemoCondition->isHidden());
        QCOMPARE(grid->currentIndex().row(), 0);
    }

    // Before a search has succeeded there is nothing to print: no question, no run.
    void previewAndPrintBeforeAnySearch_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("preview button") << "btnPreview";
        QTest::newRow("print button") << "btnPrint";
        QTest::newRow("Ctrl+V") << "V";
        QTest::newRow("Ctrl+P") << "P";
        QTest::newRow("after a failed search, Ctrl+P") << "failed P";
    }

    void previewAndPrintBeforeAnySearch()
    {
        QFETCH(QString, how);
        QVERIFY(open());
        QVERIFY(hostActive());
        int printers = 0;
        m_form->PrintDG->setPrinterProvider([&printers] {
            ++printers;
            return std::unique_ptr<QPrinter>();
        });
        report::ReportVariables::global().set(u"Title"_s, u"unchanged"_s);
        if (how.startsWith(u"failed"_s)) {
            m_service->once(DispQueryData, FakeCoorDisp::fail(1, QVariantList { u"拒绝"_s }));
            m_answer->press(u"btnOK"_s).press(u"Ok"_s);
            QTest::mouseClick(m_form->btnSearch, Qt::LeftButton);
            QTRY_VERIFY(m_answer->idle());
            QVERIFY(hostActive());
        }
        const int boxes = int(m_answer->seen.size());
        if (how.startsWith(u"btn"_s))
            QTest::mouseClick(m_form->findChild<QToolButton *>(how), Qt::LeftButton);
        else if (how.endsWith(u'V'))
            sendKey(m_form->dgdView, Qt::Key_V, Qt::ControlModifier, u"\x16"_s);
        else
            sendKey(m_form->dgdView, Qt::Key_P, Qt::ControlModifier, u"\x10"_s);
        QCoreApplication::processEvents();
        QCOMPARE(printers, 0);
        QVERIFY(!m_form->PrintDG->prepared());
        QCOMPARE(m_answer->seen.size(), boxes);
        QCOMPARE(report::ReportVariables::global().value(u"Title"), u"unchanged"_s);
    }

    // The printer question: Cancel prints nothing and leaves the titles white;
    // OK prints the listing with black titles, white again afterwards. The
    // preview shows it the same way.
    void printAsksFirst()
    {
        QVERIFY(open());
        search();
        QVERIFY(hostActive());
        std::optional<QColor> printedWith;
        printToFile(&printedWith);

        std::optional<QColor> whileAsked;
        m_answer->then([&](QWidget *w) {
            whileAsked = m_form->dgdView->titleTextColor;
            m_answer->seen << ModalAnswerer::describe(w);
            ModalAnswerer::pressButton(w, u"Cancel"_s);
        });
        sendKey(m_form->dgdView, Qt::Key_P, Qt::ControlModifier, u"\x10"_s);
        QTRY_VERIFY(m_answer->idle());
        QCOMPARE(m_answer->seen.last().title, u"提示"_s);
        QCOMPARE(m_answer->seen.last().text, u"请准备好打印机，进行打印!"_s);
        QCOMPARE(m_answer->seen.last().icon, int(QMessageBox::Information));
        QCOMPARE(m_answer->seen.last().buttons.size(), 2);
        // A top-level window: the screens' face is given to it, not inherited.
        QCOMPARE(m_answer->seen.last().face, u"Noto Serif CJK SC"_s);
        QCOMPARE(whileAsked, std::optional(QColor(Qt::white)));
        QVERIFY(!printedWith);
        QVERIFY(!m_form->PrintDG->prepared());
        QVERIFY(!QFile::exists(printedFile()));
        QCOMPARE(m_form->dgdView->titleTextColor, QColor(Qt::white));

        // The question's own keys are its own: Esc closes the box, not the screen.
        QVERIFY(hostActive());
        m_answer->key(Qt::Key_Escape);
        QTest::mouseClick(m_form->btnPrint, Qt::LeftButton);
        QTRY_VERIFY(m_answer->idle());
        QVERIFY(m_form->isVisible());
        QCOMPARE(m_host->hostControl->closedNotifications, 0);
        QVERIFY(!printedWith);

        QVERIFY(hostActive());
        m_answer->press(u"Ok"_s);
        QTest::mouseClick(m_form->btnPrint, Qt::LeftButton);
        QTRY_VERIFY(m_answer->idle());
        QCOMPARE(printedWith, std::optional(QColor(Qt::black)));
        QCOMPARE(m_form->dgdView->titleTextColor, QColor(Qt::white));
        // The five variables, the rows, the count and the page numbers on paper,
        // as printed: the text maps of a PDF printer's file are repaired too.
        const QString printed = pdfText(printedFile());
        for (const QString &text : { u"商圈档案查询"_s, u"东城"_s, u"河东"_s, u"合计:3条"_s, u"打印日期:20261209"_s,
                 u"打印时间:10:11:12"_s, u"操 作 员:张三"_s, u"第1页/共1页"_s })
            QVERIFY2(printed.contains(text), qPrintable(text + u"\n"_s + printed));

        QVERIFY(hostActive());
        std::optional<QColor> previewedWith;
        closePreview(&previewedWith);
        sendKey(m_form->dgdView, Qt::Key_V, Qt::ControlModifier, u"\x16"_s);
        QTRY_VERIFY(m_answer->idle());
        QCOMPARE(previewedWith, std::optional(QColor(Qt::black)));
        QCOMPARE(m_form->dgdView->titleTextColor, QColor(Qt::white));
        QVERIFY(m_form->PrintDG->prepared());
        QCOMPARE(m_form->PrintDG->prepared()->pageCount(), 1);
    }

    // The five report variables and the title block's height.
    void reportVariables_data()
    {
        QTest::addColumn<bool>("panelShown");
        QTest::addColumn<QString>("dateTime");
        QTest::addColumn<QString>("time");
        QTest::addColumn<int>("height");
        QTest::addColumn<bool>("conditions");
        QTest::newRow("panel hidden: 40") << false << "2026120910:11:12"
                                          << "10:11:12" << 40 << true;
        QTest::newRow("panel shown, three lines: 82") << true << "2026120910:11:12"
                                                      << "10:11:12" << 82 << true;
        QTest::newRow("panel shown, empty: 28") << true << "2026120910:11:12"
                                                << "10:11:12" << 28 << false;
        QTest::newRow("date-time of 8 characters: no time") << false << "20261209"
                                                            << "" << 40 << false;
        QTest::newRow("date-time of 9 characters") << false << "202612091"
                                                   << "1" << 40 << false;
        QTest::newRow("date-time of 20 characters") << false << "2026120910:11:12.345"
                                                    << "10:11:12" << 40 << false;
    }

    void reportVariables()
    {
        QFETCH(bool, panelShown);
        QFETCH(QString, dateTime);
        QFETCH(QString, time);
        QFETCH(int, height);
        QFETCH(bool, conditions);
        m_dateTime = dateTime;
        QVERIFY(open());
        QVERIFY(hostActive());
        if (conditions) {
            // Three lines: the heading and two expressions, as last confirmed.
            m_form->dgdView->QueryConditions = { { u"商圈编码"_s, u"等于"_s, u"01"_s, {} }, { {}, {}, {}, u"并且"_s },
                { u"商圈名称"_s, u"部分等于"_s, u"东"_s, {} } };
        }
        search();
        if (panelShown)
            QTest::mouseClick(m_form->btnShow, Qt::LeftButton);
        const TfrmQuery::ListingSettings s = m_form->listingSettings();
        QCOMPARE(s.headerHeight, height);
        QCOMPARE(m_form->conditionLineCount(), conditions ? 3 : 0);

        std::optional<QColor> previewedWith;
        closePreview(&previewedWith);
        QVERIFY(hostActive());
        sendKey(m_form->dgdView, Qt::Key_V, Qt::ControlModifier, u"\x16"_s);
        QTRY_VERIFY(m_answer->idle());
        QVERIFY(previewedWith);
        QCOMPARE(m_form->PrintDG->pageHeaderHeight(), height);
        const report::ReportVariables &v = report::ReportVariables::global();
        QCOMPARE(v.value(u"Title"), u"商圈档案查询"_s);
        QCOMPARE(v.value(u"Oper"), u"张三"_s);
        QCOMPARE(v.value(u"Date"), u"20261209"_s);
        QCOMPARE(v.value(u"Time"), time);
        QCOMPARE(v.value(u"Condi"), panelShown ? m_form->dgdView->ConditionText({}) : QString());
        if (panelShown && conditions)
            QCOMPARE(v.value(u"Condi"), u"查询条件:\r\n    商圈编码:等于01并且\r\n    商圈名称:部分等于东\r\n"_s);
    }

    // The column layout: read at creation, written at closing — but not after a
    // failed environment load, when the user's layout was never read.
    void columnLayoutKeptInTheSettingsFile()
    {
        WriteIniValue(u"Kalmorapos.ini"_s, u"SqSearchGrid"_s, u"f_sqmc"_s, u"0,80"_s, QString());
        QVERIFY(open());
        QVERIFY(!m_form->dgdView->gridColumn(1).visible);
        QCOMPARE(m_form->dgdView->gridColumn(1).width, 80);
        m_form->dgdView->setGridColumnVisible(1, true);
        m_form->dgdView->setGridColumnWidth(0, 99);
        m_form->close();
        QCOMPARE(ReadIniValue(u"Kalmorapos.ini"_s, u"SqSearchGrid"_s, u"f_sqbm"_s, QString(), QString()), u"1,99"_s);
        QCOMPARE(ReadIniValue(u"Kalmorapos.ini"_s, u"SqSearchGrid"_s, u"f_sqmc"_s, QString(), QString()), u"1,80"_s);

        // The environment fails: the box, a close on show, and the file untouched.
        WriteIniValue(u"Kalmorapos.ini"_s, u"SqSearchGrid"_s, u"f_sqmc"_s, u"0,70"_s, QString());
        QFile file(layoutFile());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray before = file.readAll();
        file.close();
        QMap<QString, QString> params = FakeCoorDisp::defaultParameters();
        params.remove(u"dybm"_s);
        m_answer->press(u"Ok"_s);
        m_host.reset();
        releaseHostContext();
        open(params); // closes itself when shown
        QTRY_VERIFY(m_answer->idle());
        QCOMPARE(m_answer->seen.last().title, u"错误"_s);
        QTRY_VERIFY(embeddedForms(m_host->parentControl).isEmpty());
        QCOMPARE(m_host->hostControl->closedNotifications, 1);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), before);
    }

    void helpShowsTheShortcutList()
    {
        QVERIFY(open());
        QStringList shown;
        m_answer->then([&](QWidget *w) {
            auto *popup = qobject_cast<TRopInst *>(w);
            QVERIFY(popup);
            shown = popup->Lines;
            QTest::keyClick(popup, Qt::Key_Shift);
        });
        QTest::mouseClick(m_form->btnHand, Qt::LeftButton);
        QTRY_VERIFY(m_answer->idle());
        QCOMPARE(shown,
            QStringList(
                { u"快捷键："_s, u"    重  查: F2"_s, u"    选  项: F3"_s, u"    条  件: Ctrl+S(显示查询条件)"_s,
                    u"    预  览: Ctrl+V"_s, u"    打  印: Ctrl+P"_s, u"    退  出: ESC"_s }));
    }

    // The hourglass is up and the dialog's place drawn over when the host is asked.
    void hourglassAndRepaintBeforeTheCall()
    {
        QVERIFY(open());
        QVERIFY(hostActive());
        int paints = -1;
        std::optional<Qt::CursorShape> during;
        struct PaintCounter : QObject
        {
            int *n;
            explicit PaintCounter(int *count)
                : n(count)
            {
            }
            bool eventFilter(QObject *, QEvent *e) override
            {
                if (e->type() == QEvent::Paint && *n >= 0)
                    ++*n;
                return false;
            }
        } counter(&paints);
        qApp->installEventFilter(&counter);
        m_onQuery = [&] {
            const QCursor *c = QApplication::overrideCursor();
            during = c ? c->shape() : Qt::ArrowCursor;
            paints = -paints - 1; // stop counting; remember
        };
        m_answer->then([&](QWidget *w) {
            paints = 0; // from the confirmation on, with no return to the event loop
            searchFor()(w);
        });
        QTest::mouseClick(m_form->btnSearch, Qt::LeftButton);
        QTRY_VERIFY(m_answer->idle());
        qApp->removeEventFilter(&counter);
        QCOMPARE(during, std::optional(Qt::WaitCursor));
        QVERIFY2(-paints - 1 > 0, "no paint between the confirmation and the call");
        QCOMPARE(QApplication::overrideCursor(), nullptr);
    }

    // A host that processes events during its calls lets the user (and the host)
    // act on the screen meanwhile. The screen takes no new action until the call
    // has returned; a close waits for it and then happens once.
    void userActionsWaitForTheHost_data()
    {
        QTest::addColumn<int>("during");
        QTest::addColumn<QString>("move");
        for (int id : { int(DispGetDatabaseType), int(DispQueryData) }) {
            const char *call = id == DispQueryData ? "query" : "database kind";
            for (const char *move : { "search click", "F2", "filter click", "panel F4", "preview Ctrl+V", "exit click",
                     "Esc", "host close" })
                QTest::addRow("%s, %s", call, move) << id << QString::fromLatin1(move);
        }
    }

    void userActionsWaitForTheHost()
    {
        QFETCH(int, during);
        QFETCH(QString, move);
        QVERIFY(open());
        search(); // the listing is open: preview would run
        QVERIFY(hostActive());
        m_rows << QStringList { u"0101"_s, u"04"_s, u"东湖"_s };
        int moves = 0;
        bool closedAtOnce = false;
        m_duringCall = [&, during](int id) {
            if (id != during || moves > 0)
                return;
            ++moves;
            QWidget *grid = m_form->dgdView;
            if (move == u"search click"_s)
                QTest::mouseClick(m_form->btnSearch, Qt::LeftButton);
            else if (move == u"F2"_s)
                sendKey(grid, Qt::Key_F2);
            else if (move == u"filter click"_s)
                QTest::mouseClick(m_form->ButFilter, Qt::LeftButton);
            else if (move == u"panel F4"_s)
                sendKey(grid, Qt::Key_F4);
            else if (move == u"preview Ctrl+V"_s)
                sendKey(grid, Qt::Key_V, Qt::ControlModifier, u"\x16"_s);
            else if (move == u"exit click"_s)
                QTest::mouseClick(m_form->btnExit, Qt::LeftButton);
            else if (move == u"Esc"_s)
                sendKey(grid, Qt::Key_Escape, {}, u"\x1b"_s);
            else
                closedAtOnce = m_form->close();
            QCoreApplication::processEvents();
            QVERIFY(m_form && m_form->isVisible());
            QVERIFY(m_form->hostCallInFlight());
        };
        m_answer->press(u"btnOK"_s);
        QTest::mouseClick(m_form->btnSearch, Qt::LeftButton);
        QTRY_VERIFY(m_answer->idle());
        QCOMPARE(moves, 1);
        m_duringCall = nullptr;
        QVERIFY(!closedAtOnce);
        QCOMPARE(m_statements.size(), 2);
        QVERIFY(!m_form->PrintDG->prepared()); // no preview
        QCOMPARE(m_answer->seen.size(), 1); // the one search dialog

        if (move == u"host close"_s) {
            QVERIFY(m_form); // the search finished first
            QCOMPARE(footer(0), u"合计:4条"_s);
            QTRY_VERIFY(!m_form);
            QCOMPARE(m_host->hostControl->closedNotifications, 1);
            return;
        }
        QCoreApplication::processEvents();
        QVERIFY(m_form);
        QVERIFY(!m_form->hostCallInFlight());
        QCOMPARE(m_host->hostControl->closedNotifications, 0);
        QCOMPARE(footer(0), u"合计:4条"_s);
        QVERIFY(m_form->MemoCondition->isHidden());
        // Once the host has answered, the screen takes actions again.
        QVERIFY(hostActive());
        sendKey(m_form->dgdView, Qt::Key_F4);
        QVERIFY(!m_form->MemoCondition->isHidden());
    }

    // The host destroys the screen's parent control inside a call: nothing of the
    // screen is touched afterwards (the sanitizer build checks it).
    void destroyedDuringACall_data()
    {
        QTest::addColumn<int>("during");
        QTest::addColumn<bool>("byKey");
        QTest::newRow("database kind, button") << int(DispGetDatabaseType) << false;
        QTest::newRow("query, button") << int(DispQueryData) << false;
        QTest::newRow("query, F2") << int(DispQueryData) << true;
    }

    void destroyedDuringACall()
    {
        QFETCH(int, during);
        QFETCH(bool, byKey);
        QVERIFY(open());
        QVERIFY(hostActive());
        QPointer<QWidget> parent = m_host->parentControl;
        m_duringCall = [&, during](int id) {
            if (id != during)
                return;
            m_duringCall = nullptr;
            delete parent.data();
        };
        m_answer->press(u"btnOK"_s);
        if (byKey)
            sendKey(m_form->dgdView, Qt::Key_F2);
        else
            QTest::mouseClick(m_form->btnSearch, Qt::LeftButton);
        QTRY_VERIFY(m_answer->idle());
        QVERIFY(!parent);
        QVERIFY(!m_form);
        QCoreApplication::processEvents();
        m_host->parentControl = nullptr;
    }

    // The host destroys the screen while one of its dialogs or message boxes is
    // up: the action ends without touching the screen or its grid.
    void destroyedWhileADialogIsUp_data()
    {
        QTest::addColumn<QString>("what");
        QTest::addColumn<QString>("answer"); // pressed after the parent control went, if still there
        QTest::newRow("search dialog") << "search"
                                       << "btnOK";
        QTest::newRow("filter dialog") << "filter"
                                       << "btnOK";
        QTest::newRow("column chooser") << "columns"
                                        << "";
        QTest::newRow("host error box") << "error"
                                        << "";
        QTest::newRow("printer question") << "print"
                                          << "";
    }

    void destroyedWhileADialogIsUp()
    {
        QFETCH(QString, what);
        QFETCH(QString, answer);
        QVERIFY(open());
        search();
        QVERIFY(hostActive());
        QPointer<QWidget> parent = m_host->parentControl;
        if (what == u"error"_s) {
            m_service->once(DispQueryData, FakeCoorDisp::fail(1, QVariantList { u"拒绝"_s }));
            m_answer->press(u"btnOK"_s);
        }
        m_answer->then([&parent, answer](QWidget *w) {
            QPointer<QWidget> modal = w;
            delete parent.data();
            if (modal && !answer.isEmpty())
                ModalAnswerer::pressButton(modal, answer);
            else if (auto *dialog = qobject_cast<QDialog *>(modal.data()))
                dialog->reject(); // a chooser still up with its grid
        });
        if (what == u"search"_s || what == u"error"_s)
            QTest::mouseClick(m_form->btnSearch, Qt::LeftButton);
        else if (what == u"filter"_s)
            QTest::mouseClick(m_form->ButFilter, Qt::LeftButton);
        else if (what == u"columns"_s)
            sendKey(m_form->dgdView, Qt::Key_F3);
        else
            sendKey(m_form->dgdView, Qt::Key_P, Qt::ControlModifier, u"\x10"_s);
        QTRY_VERIFY(m_answer->idle());
        QVERIFY(!parent);
        QVERIFY(!m_form);
        QCoreApplication::processEvents();
        m_host->parentControl = nullptr;
    }

    // The host destroys the screen while its preview is up, while one of the
    // preview's tools has a window up (a progress window runs the event loop
    // between pages), or during a print run: the preview and the run end with
    // the screen, and nothing reads the rows or the report component that went
    // with it (the sanitizer build checks). A preview still there afterwards
    // would be repainted and every tool used.
    void destroyedWhileThePreviewOrAPrintRuns_data()
    {
        QTest::addColumn<QString>("tool"); // the preview's tool button, or "" for the preview itself
        QTest::addColumn<QString>("window"); // the window up when the host destroys the screen
        QTest::newRow("preview") << ""
                                 << "ReportPreview";
        QTest::newRow("page setup") << "pageSetup"
                                    << "PageSetupDialog";
        QTest::newRow("find") << "find"
                              << "QProgressDialog";
        QTest::newRow("export PDF") << "exportPdf"
                                    << "QProgressDialog";
        QTest::newRow("export Excel") << "exportXlsx"
                                      << "QProgressDialog";
        QTest::newRow("save") << "save"
                              << "QFileDialog";
        QTest::newRow("load") << "load"
                              << "QFileDialog";
        QTest::newRow("print") << "print"
                               << "QProgressDialog";
        QTest::newRow("print, no printer") << "print"
                                           << "QMessageBox";
        QTest::newRow("print run") << "btnPrint"
                                   << "QProgressDialog";
    }

    void destroyedWhileThePreviewOrAPrintRuns()
    {
        QFETCH(QString, tool);
        QFETCH(QString, window);
        m_rows.clear();
        for (int i = 0; i < 20000; ++i)
            m_rows << QStringList { u"0101"_s, u"%1"_s.arg(i, 5, 10, QChar(u'0')), u"东城%1"_s.arg(i) };
        QVERIFY(open());
        search();
        QVERIFY(hostActive());
        std::optional<QColor> printedWith;
        if (window == u"QMessageBox"_s)
            m_form->PrintDG->setPrinterProvider([] { return std::unique_ptr<QPrinter>(); });
        else
            printToFile(&printedWith);
        m_form->PrintDG->ProgressDelay = 0;
        QPointer<report::ReportPreview> shown;
        connect(m_form->PrintDG, &report::TRMFormReport::previewShown, this, [&shown](report::ReportPreview *p) {
            shown = p;
            p->setProgressDelay(0);
        });
        const QString exported = m_home.filePath(tool == u"exportPdf"_s ? u"listing.pdf"_s : u"listing.xlsx"_s);
        QPointer<QWidget> parent = m_host->parentControl;
        QString destroyedUnder;
        const auto destroyScreen = [&](QWidget *w) {
            destroyedUnder = QString::fromLatin1(w->metaObject()->className()).split(u"::"_s).last();
            delete parent.data();
            useEveryTool(shown);
        };
        if (tool == u"btnPrint"_s) {
            m_answer->press(u"Ok"_s); // the printer question
            m_answer->then(destroyScreen);
            QTest::mouseClick(m_form->btnPrint, Qt::LeftButton);
        } else if (tool.isEmpty()) {
            m_answer->drive(destroyScreen);
            sendKey(m_form->dgdView, Qt::Key_V, Qt::ControlModifier, u"\x16"_s);
        } else {
            m_answer->drive([tool](QWidget *w) {
                if (tool == u"find"_s)
                    w->findChild<QLineEdit *>(u"findBox"_s)->setText(u"不在其中"_s);
                // A click that stays safe when the button goes with the window.
                w->findChild<QAbstractButton *>(tool)->click();
            });
            if (tool.startsWith(u"export"_s)) {
                m_answer->then([exported](QWidget *w) {
                    auto *name = w->findChild<QLineEdit *>(u"fileNameEdit"_s);
                    QVERIFY(name);
                    name->setText(exported);
                    QTest::keyClick(name, Qt::Key_Return);
                });
            }
            m_answer->then(destroyScreen);
            sendKey(m_form->dgdView, Qt::Key_V, Qt::ControlModifier, u"\x16"_s);
        }
        QTRY_VERIFY(m_answer->idle());
        QCOMPARE(destroyedUnder, window);
        QVERIFY(!parent);
        QVERIFY(!m_form);
        QVERIFY(!shown); // it went with the screen
        m_host->parentControl = nullptr;
        m_host->repaint();
        QCoreApplication::processEvents();
        QCOMPARE(m_host->hostControl->closedNotifications, 0);
        if (tool.startsWith(u"export"_s))
            QVERIFY(!QFile::exists(exported)); // an export the screen did not see through leaves no file
    }

    // Destroying the owner control is no close: the screen neither writes its
    // column layout nor tells the host control, as closing it does.
    void destroyedByTheHostSavesAndSendsNothing()
    {
        QVERIFY(open());
        m_form->dgdView->setGridColumnWidth(0, 99);
        m_form->close();
        QCOMPARE(ReadIniValue(u"Kalmorapos.ini"_s, u"SqSearchGrid"_s, u"f_sqbm"_s, QString(), QString()), u"1,99"_s);
        QCOMPARE(m_host->hostControl->closedNotifications, 1);

        QFile::remove(layoutFile());
        m_host.reset();
        releaseHostContext();
        QVERIFY(open());
        search();
        m_form->dgdView->setGridColumnWidth(0, 77);
        m_form->dgdView->setGridColumnVisible(1, false);
        delete m_host->parentControl;
        m_host->parentControl = nullptr;
        QVERIFY(!m_form);
        QCoreApplication::processEvents();
        QCOMPARE(m_host->hostControl->closedNotifications, 0);
        QVERIFY(!QFile::exists(layoutFile()));
    }

    // docs/query-screen.png: the screen after a search with a filter, the
    // condition panel shown. Run with SQDA_SCREENSHOT_DIR set to write it.
    void screenshot()
    {
        m_rows = { { u"0101"_s, u"01"_s, u"东城商圈"_s }, { u"0101"_s, u"0101"_s, u"东城一区"_s },
            { u"0101"_s, u"0102"_s, u"东城二区"_s }, { u"0101"_s, u"02"_s, u"西城商圈"_s },
            { u"0101"_s, u"0201"_s, u"西城北"_s }, { u"0101"_s, u"03"_s, u"河东新区"_s },
            { u"0101"_s, u"0301"_s, u"河东广场"_s }, { u"0101"_s, u"04"_s, u"北区"_s } };
        QVERIFY(open());
        m_host->resize(700, 420);
        m_host->parentControl->setGeometry(0, 0, 640, 400);
        fit();
        m_form->dgdView->QueryConditions = { { u"商圈编码"_s, u"部分等于"_s, u"0"_s, {} }, { {}, {}, {}, u"并且"_s },
            { u"商圈名称"_s, u"部分不等于"_s, u"北"_s, {} } };
        search();
        QVERIFY(hostActive());
        m_answer->then(searchFor(u"商圈名称"_s, u"部分等于"_s, u"城"_s));
        QTest::mouseClick(m_form->ButFilter, Qt::LeftButton);
        QTRY_VERIFY(m_answer->idle());
        QTest::mouseClick(m_form->btnShow, Qt::LeftButton);
        QCOMPARE(footer(0), u"合计:5条"_s);
        QCOMPARE(m_form->conditionLineCount(), 5);
        QCoreApplication::processEvents();
        const QString dir = qEnvironmentVariable("SQDA_SCREENSHOT_DIR");
        if (!dir.isEmpty())
            QVERIFY(m_form->grab().save(dir + u"/query-screen.png"_s));

        // docs/query-preview.png: its preview, the conditions in the title block.
        QVERIFY(hostActive());
        m_answer->then([&dir](QWidget *w) {
            w->resize(760, 620);
            QTest::qWait(300); // the page is formatted and painted
            if (!dir.isEmpty())
                QVERIFY(w->grab().save(dir + u"/query-preview.png"_s));
            qobject_cast<QDialog *>(w)->reject();
        });
        sendKey(m_form->dgdView, Qt::Key_V, Qt::ControlModifier, u"\x16"_s);
        QTRY_VERIFY(m_answer->idle());
        QCOMPARE(m_form->PrintDG->pageHeaderHeight(), 18 * 5 + 28);
    }
    // A screen reader, walking the accessible tree, finds every control by its
    // caption, the listing's count and the conditions after a search, and the
    // named controls of the builder, the column chooser and the preview, whose
    // page box says which page of how many is shown.
    void assistiveTechnologyReadsTheScreen()
    {
        QVERIFY(open());
        QCOMPARE(unnamedControls(m_form).join(u','), QString());
        const auto nameOf
            = [](QWidget *w) { return QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name); };
        QCOMPARE(nameOf(m_form->btnSearch), u"重查"_s);
        QVERIFY(findAccessibleText(m_form, u"合计:0条"_s) == nullptr);

        QStringList unnamedInBuilder;
        m_answer->then([&](QWidget *w) { unnamedInBuilder = unnamedControls(w); });
        search(u"商圈名称"_s, u"部分等于"_s, u"城"_s);
        QCOMPARE(unnamedInBuilder.join(u','), QString());
        QTRY_VERIFY(findAccessibleText(m_form, u"合计:3条"_s));
        QAccessibleInterface *count = findAccessibleText(m_form, u"合计:3条"_s);
        QCOMPARE(count->object(), m_form->dgdView);
        QCOMPARE(QAccessible::queryAccessibleInterface(m_form->dgdView->footerWidget())->text(QAccessible::Description),
            u"合计:3条"_s);
        QCOMPARE(nameOf(m_form->MemoCondition), u"查询条件"_s);
        QCOMPARE(nameOf(m_form->dgdView), u"查询结果"_s);
        QAccessibleTextInterface *memo = QAccessible::queryAccessibleInterface(m_form->MemoCondition)->textInterface();
        QVERIFY(memo);
        QVERIFY(memo->text(0, memo->characterCount()).contains(u"城"_s));
        QVERIFY(findAccessibleText(m_form, u"东城"_s)); // a row's cell

        QStringList unnamedInChooser;
        m_answer->then([&](QWidget *w) {
            unnamedInChooser = unnamedControls(w);
            qobject_cast<QDialog *>(w)->reject();
        });
        QTest::mouseClick(m_form->btnChoose, Qt::LeftButton);
        QTRY_VERIFY(m_answer->idle());
        QCOMPARE(unnamedInChooser.join(u','), QString());

        QStringList unnamedInPreview;
        QString page;
        m_answer->then([&](QWidget *w) {
            unnamedInPreview = unnamedControls(w);
            auto *box = w->findChild<QWidget *>(u"pageBox"_s);
            QAccessibleInterface *iface = box ? QAccessible::queryAccessibleInterface(box) : nullptr;
            if (iface)
                page = iface->text(QAccessible::Name) + u'|' + iface->text(QAccessible::Description);
            qobject_cast<QDialog *>(w)->reject();
        });
        QTest::mouseClick(m_form->btnPreview, Qt::LeftButton);
        QTRY_VERIFY(m_answer->idle());
        QCOMPARE(unnamedInPreview.join(u','), QString());
        QCOMPARE(page, u"页码|第1页/共1页"_s);
        QVERIFY(m_answer->unexpected.isEmpty());
    }
};

QTEST_MAIN(TestQueryForm)
#include "tst_queryform.moc"
