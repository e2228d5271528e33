// Saved queries on the query screen as a user meets them: opened through
// GetFormOneSearch in a test host with a scripted host service, the listing's
// context menu opened by the right mouse button, the Menu key and Shift+F10,
// its items chosen with the keys, names typed into the themed input dialog,
// the manager driven from its keyboard.
#include "AccessibleReader.h"
#include "FakeCoorDisp.h"
#include "ModalAnswerer.h"
#include "TestHost.h"

#include "data/ClientDataSet.h"
#include "env/Utilities.h"
#include "host/HostContext.h"
#include "query/QueryButton.h"
#include "query/SavedQueryActions.h"
#include "query/SavedQueryStore.h"
#include "query/TAdvDBGridEh.h"
#include "query/TFrmQuerySet.h"
#include "query/TFrmSavedQueries.h"
#include "query/TfrmQuery.h"
#include "ui/DialogState.h"
#include "ui/FlatButton.h"
#include "ui/FlatComboBox.h"

#include <sqda/EntryPoints.h>
#include <sqda/HostMessage.h>

#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPainter>
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

QByteArray areaPacket(const QList<QStringList> &rows)
{
    FieldDefs defs { { u"f_bmbm"_s, FieldType::String, 12, {} }, { u"f_sqbm"_s, FieldType::String, 12, {} },
        { u"f_sqmc"_s, FieldType::String, 40, {} } };
    QList<QVariantList> values;
    for (const QStringList &r : rows)
        values << QVariantList { r.value(0), r.value(1), r.value(2) };
    return makePacket(defs, values);
}

const QList<QStringList> FourAreas { { u"0101"_s, u"01"_s, u"东城"_s }, { u"0101"_s, u"02"_s, u"西城"_s },
    { u"0101"_s, u"03"_s, u"河东"_s }, { u"0101"_s, u"04"_s, u"北城"_s } };

void sendKey(QWidget *w, int key, Qt::KeyboardModifiers mods = {}, const QString &text = {})
{
    const QPointer<QWidget> target(w);
    QKeyEvent press(QEvent::KeyPress, key, mods, text);
    QApplication::sendEvent(w, &press);
    QKeyEvent release(QEvent::KeyRelease, key, mods, text);
    if (target)
        QApplication::sendEvent(w, &release);
}

// Answers the condition builder: the list cleared, one expression (when
// given), then OK.
ModalAnswerer::Action builderAnswer(const QString &label = {}, const QString &condition = {}, const QString &value = {})
{
    return [=](QWidget *w) {
        auto *dlg = qobject_cast<TFrmQuerySet *>(w);
        QVERIFY(dlg);
        QTest::mouseClick(dlg->btnClearLogic, Qt::LeftButton);
        if (!label.isEmpty()) {
            dlg->cbxField->setCurrentIndex(dlg->cbxField->findText(label));
            dlg->cbxFactor->setCurrentIndex(dlg->cbxFactor->findText(condition));
            dlg->editValue->setText(value);
            QTest::mouseClick(dlg->btnAddLogic, Qt::LeftButton);
        }
        QTest::mouseClick(dlg->btnOK, Qt::LeftButton);
    };
}

// Typed as the keyboard delivers it: one key event per character, with its
// text (an input method's commit for the Chinese ones).
void typeText(QWidget *w, const QString &text)
{
    for (const QChar c : text) {
        const Qt::Key key
            = c.unicode() < 128 && c.isLetterOrNumber() ? Qt::Key(c.toUpper().unicode()) : Qt::Key_unknown;
        QTest::sendKeyEvent(QTest::Press, w, key, QString(c), Qt::NoModifier);
        QTest::sendKeyEvent(QTest::Release, w, key, QString(c), Qt::NoModifier);
    }
}

// Types a name into the themed input dialog as a user does, then OK.
ModalAnswerer::Action typeName(const QString &name, QString *caption = nullptr, QString *font = nullptr)
{
    return [=](QWidget *w) {
        auto *edit = w->findChild<QLineEdit *>();
        QVERIFY(edit);
        if (caption)
            *caption = w->windowTitle();
        if (font)
            *font = QFontInfo(edit->font()).family();
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Backspace);
        typeText(edit, name);
        QTest::keyClick(edit, Qt::Key_Return, Qt::NoModifier);
    };
}

// What a test compares of the listing: rows in order, statement, columns, marks, panel.
struct ListingState
{
    QString statement, rows, footer, panelText, columns, marks;
    bool panelShown = false;
    LogicRows search, filter;
    bool operator==(const ListingState &) const = default;
};

char *toString(const ListingState &s)
{
    return QTest::toString(QStringList { s.statement, s.rows, s.footer, s.panelText, s.columns, s.marks,
        s.panelShown ? u"panel"_s : u"no panel"_s, QString::number(s.search.size()), QString::number(s.filter.size()) }
                               .join(u" | "_s));
}

} // namespace

class TestSavedQueries : public QObject
{
    Q_OBJECT

    QTemporaryDir m_home;
    FakeCoorDisp::Ref m_service;
    std::unique_ptr<TestHostWindow> m_host;
    std::unique_ptr<ModalAnswerer> m_answer;
    QPointer<TfrmQuery> m_form;
    QList<QStringList> m_rows = FourAreas;
    QStringList m_statements;
    std::function<void()> m_duringQuery; // a host that processes events during its call

    void scriptHost(const QMap<QString, QString> &params)
    {
        m_service = FakeCoorDisp::create();
        m_service->setupEnvironment(params);
        m_service->on(DispGetDatabaseType, [](QVariantList &) -> QVariant { return u"SQLSERVER"_s; });
        m_service->on(DispQueryData, [this](QVariantList &args) -> QVariant {
            m_statements << args.value(0).toString();
            if (const auto during = m_duringQuery)
                during();
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
        m_form = openScreen();
        return m_form;
    }

    TfrmQuery *openScreen()
    {
        const QByteArray op = toShortString("0001");
        GetFormOneSearch(m_host.get(), m_host->hostControl, reinterpret_cast<const uchar *>(op.constData()),
            m_host->parentControl, m_service.get());
        const QList<QWidget *> forms = embeddedForms(m_host->parentControl);
        auto *form = forms.isEmpty() ? nullptr : qobject_cast<TfrmQuery *>(forms.last());
        if (form) {
            form->setGeometry(m_host->parentControl->rect());
            sendHostMessage(form, HostResizeMessage, m_host->parentControl->height(), m_host->parentControl->width());
        }
        return form;
    }

    void closeScreen()
    {
        m_host.reset();
        releaseHostContext();
        m_service.reset();
    }

    void search(const QString &label = {}, const QString &condition = {}, const QString &value = {})
    {
        m_answer->then(builderAnswer(label, condition, value));
        QTest::mouseClick(m_form->btnSearch, Qt::LeftButton);
        QTRY_VERIFY(m_answer->idle());
    }

    void filter(const QString &label, const QString &condition, const QString &value)
    {
        m_answer->then(builderAnswer(label, condition, value));
        QTest::mouseClick(m_form->ButFilter, Qt::LeftButton);
        QTRY_VERIFY(m_answer->idle());
    }

    void clickTitle(int gc, Qt::KeyboardModifiers mods = {})
    {
        QHeaderView *h = m_form->dgdView->horizontalHeader();
        const int s = m_form->dgdView->sectionOfGridColumn(gc);
        const QPoint at(h->sectionViewportPosition(s) + h->sectionSize(s) / 2, h->height() / 2);
        QTest::mouseClick(h->viewport(), Qt::LeftButton, mods, at);
    }

    enum class Opening { RowsMouse, TitlesMouse, MenuKey, ShiftF10 };

    // The context menu, opened as the user would; null when it did not open.
    QMenu *openMenu(TfrmQuery *form, Opening how = Opening::RowsMouse)
    {
        TAdvDBGridEh *grid = form->dgdView;
        switch (how) {
        case Opening::RowsMouse:
        case Opening::TitlesMouse: {
            QWidget *target = how == Opening::RowsMouse ? grid->viewport() : grid->horizontalHeader()->viewport();
            const QPoint at(20, how == Opening::RowsMouse ? 10 : target->height() / 2);
            QTest::mousePress(target, Qt::RightButton, {}, at);
            QContextMenuEvent e(QContextMenuEvent::Mouse, at, target->mapToGlobal(at));
            QApplication::sendEvent(target, &e);
            QTest::mouseRelease(target, Qt::RightButton, {}, at);
            break;
        }
        case Opening::MenuKey:
            sendKey(grid, Qt::Key_Menu);
            break;
        case Opening::ShiftF10:
            sendKey(grid, Qt::Key_F10, Qt::ShiftModifier);
            break;
        }
        QMenu *menu = form->SavedQueries->menu();
        if (menu && !QTest::qWaitForWindowExposed(menu))
            return nullptr;
        return menu;
    }

    static QStringList menuTexts(QMenu *menu)
    {
        QStringList out;
        for (QAction *a : menu->actions())
            out << (a->isSeparator() ? u"-"_s : a->text());
        return out;
    }

    // Moves down to the item with the keys and presses Enter.
    static bool choose(QMenu *menu, const QString &text)
    {
        for (int i = 0; i < menu->actions().size() + 1; ++i) {
            QTest::keyClick(menu, Qt::Key_Down);
            if (menu->activeAction() && menu->activeAction()->text() == text) {
                QTest::keyClick(menu, Qt::Key_Return);
                // The item runs once the menu's key is over.
                QCoreApplication::processEvents();
                return true;
            }
        }
        return false;
    }

    void saveAs(const QString &name)
    {
        m_answer->then(typeName(name));
        QMenu *menu = openMenu(m_form);
        QVERIFY(menu);
        QVERIFY(choose(menu, u"保存为查询方案…"_s));
        QTRY_VERIFY(m_answer->idle());
    }

    void runFromMenu(TfrmQuery *form, const QString &name, Opening how = Opening::MenuKey)
    {
        QMenu *menu = openMenu(form, how);
        QVERIFY(menu);
        QVERIFY(choose(menu, name));
    }

    ListingState state(TfrmQuery *form) const
    {
        ListingState s;
        TAdvDBGridEh *grid = form->dgdView;
        s.statement = m_statements.value(m_statements.size() - 1);
        QStringList rows;
        for (int r = 0; r < grid->dataModel()->rowCount(); ++r) {
            form->cds->setCurrentIndex(r);
            rows << form->cds->fieldByName(u"f_sqbm")->asString() + form->cds->fieldByName(u"f_sqmc")->asString();
        }
        s.rows = rows.join(u' ');
        s.footer = grid->footerCellText(0);
        s.panelText = form->MemoCondition->toPlainText();
        s.panelShown = !form->MemoCondition->isHidden();
        QStringList cols, marks;
        for (int i = 0; i < grid->gridColumnCount(); ++i) {
            const GridColumn &c = grid->gridColumn(i);
            cols << u"%1:%2:%3"_s.arg(c.fieldName).arg(c.visible).arg(c.width);
        }
        for (int gc : grid->sortMarkedColumns())
            marks << grid->gridColumn(gc).fieldName + (grid->gridColumn(gc).sortMark == SortMark::Up ? u"↑"_s : u"↓"_s);
        s.columns = cols.join(u' ');
        s.marks = marks.join(u' ');
        s.search = grid->QueryConditions;
        s.filter = grid->FilterConditions;
        return s;
    }

    SavedQueryStore store() const
    {
        return SavedQueryStore(u"Kalmorapos.ini"_s, SavedQueryActions::section(), QString());
    }
    QString settingsFile() const { return m_home.filePath(u"Kalmorapos.ini"_s); }

    QStringList storedNames() const
    {
        QStringList out;
        for (const auto &e : store().entries())
            out << (e.query ? e.query->name : u"!"_s + e.key);
        return out;
    }

    // A listing with every part of the state set away from its defaults.
    void buildListing()
    {
        search(u"商圈名称"_s, u"部分等于"_s, u"城"_s);
        filter(u"商圈编码"_s, u"大于"_s, u"01"_s);
        clickTitle(1); // name, descending
        clickTitle(1); // ascending
        clickTitle(0, Qt::ControlModifier); // then code
        clickTitle(0, Qt::ControlModifier); // ascending
        sendKey(m_form->dgdView, Qt::Key_Control, {}, {});
        m_form->dgdView->setGridColumnWidth(1, 201);
        m_form->dgdView->setGridColumnVisible(0, false);
        QTest::mouseClick(m_form->btnShow, Qt::LeftButton); // the condition panel
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
        QFile::remove(settingsFile());
        m_rows = FourAreas;
        m_statements.clear();
        m_duringQuery = nullptr;
        m_answer = std::make_unique<ModalAnswerer>();
    }

    void cleanup()
    {
        QVERIFY2(m_answer->unexpected.isEmpty(), qPrintable(m_answer->unexpected.value(0).text));
        m_duringQuery = nullptr;
        closeScreen();
        m_answer.reset();
    }

    // Save, close the screen, open it again, change everything, run the saved
    // query: the same statement, rows in the same order, columns, marks and
    // panel; its lists are the grid's, so "重  查" opens with them.
    void saveCloseReopenRun()
    {
        QVERIFY(open());
        buildListing();
        const ListingState saved = state(m_form);
        QCOMPARE(saved.rows, u"04北城 03河东 02西城"_s); // by name; 01 filtered out
        QCOMPARE(saved.marks, u"f_sqmc↑ f_sqbm↑"_s);
        QVERIFY(saved.panelShown);
        QVERIFY(saved.panelText.contains(u"过滤条件:"_s));

        QString caption, font;
        m_answer->then(typeName(u"城区 & 北"_s, &caption, &font));
        QMenu *menu = openMenu(m_form, Opening::RowsMouse);
        QVERIFY(menu);
        QCOMPARE(menuTexts(menu), (QStringList { u"保存为查询方案…"_s, u"-"_s, u"管理查询方案…"_s }));
        QVERIFY(choose(menu, u"保存为查询方案…"_s));
        QTRY_VERIFY(m_answer->idle());
        QCOMPARE(caption, u"保存为查询方案"_s);
        QVERIFY2(font.contains(u"CJK SC"_s), qPrintable(font));
        QCOMPARE(storedNames(), QStringList { u"城区 & 北"_s });

        QTest::mouseClick(m_form->btnExit, Qt::LeftButton);
        QTRY_VERIFY(!m_form);
        closeScreen();
        m_statements.clear();

        QVERIFY(open());
        search(u"商圈编码"_s, u"等于"_s, u"03"_s);
        m_form->dgdView->setGridColumnVisible(0, true);
        m_form->dgdView->setGridColumnWidth(1, 90);
        QVERIFY(state(m_form) != saved);

        menu = openMenu(m_form, Opening::MenuKey);
        QVERIFY(menu);
        QCOMPARE(menuTexts(menu),
            (QStringList { u"保存为查询方案…"_s, u"-"_s, u"城区 && 北"_s, u"-"_s, u"管理查询方案…"_s }));
        QVERIFY(choose(menu, u"城区 && 北"_s));
        QCOMPARE(state(m_form), saved);
        QCOMPARE(m_statements.size(), 2);

        // "重  查" and "过  滤" open with the saved lists.
        int searchRows = -1, filterRows = -1;
        m_answer->then([&](QWidget *w) {
            searchRows = qobject_cast<TFrmQuerySet *>(w)->rows().size();
            qobject_cast<QDialog *>(w)->reject();
        });
        QTest::mouseClick(m_form->btnSearch, Qt::LeftButton);
        QTRY_VERIFY(m_answer->idle());
        m_answer->then([&](QWidget *w) {
            filterRows = qobject_cast<TFrmQuerySet *>(w)->rows().size();
            qobject_cast<QDialog *>(w)->reject();
        });
        QTest::mouseClick(m_form->ButFilter, Qt::LeftButton);
        QTRY_VERIFY(m_answer->idle());
        QCOMPARE(searchRows, 1);
        QCOMPARE(filterRows, 1);
    }

    // Every way of opening the menu opens it; the menu and the manager are in
    // the screen's Simplified Chinese face.
    void menuOpensEveryWay_data()
    {
        QTest::addColumn<int>("how");
        QTest::newRow("right click on rows") << int(Opening::RowsMouse);
        QTest::newRow("right click on titles") << int(Opening::TitlesMouse);
        QTest::newRow("Menu key") << int(Opening::MenuKey);
        QTest::newRow("Shift+F10") << int(Opening::ShiftF10);
    }
    void menuOpensEveryWay()
    {
        QFETCH(int, how);
        QVERIFY(open());
        QMenu *menu = openMenu(m_form, Opening(how));
        QVERIFY(menu);
        QVERIFY2(QFontInfo(menu->font()).family().contains(u"CJK SC"_s), qPrintable(QFontInfo(menu->font()).family()));
        QTest::keyClick(menu, Qt::Key_Escape);
        QTRY_VERIFY(!m_form->SavedQueries->menu());
        // F10 alone is no menu key.
        sendKey(m_form->dgdView, Qt::Key_F10);
        QVERIFY(!m_form->SavedQueries->menu());
    }

    // The name rules in the dialog: empty, too long, then a name taken, kept
    // on No (the name is asked again), replaced on Yes.
    void nameRulesAndReplacing()
    {
        QVERIFY(open());
        search();
        saveAs(u"全部"_s);
        clickTitle(1);
        m_answer->then(typeName(QString()))
            .press(u"OK"_s)
            .then(typeName(QString(41, u'城')))
            .press(u"OK"_s)
            .then(typeName(u"  全部 "_s))
            .press(u"No"_s)
            .then(typeName(u"全部"_s))
            .press(u"Yes"_s);
        QMenu *menu = openMenu(m_form);
        QVERIFY(choose(menu, u"保存为查询方案…"_s));
        QTRY_VERIFY(m_answer->idle());
        const QList<SeenDialog> &seen = m_answer->seen;
        QCOMPARE(seen.size(), 4);
        QVERIFY2(seen.at(0).text.contains(u"不能为空"_s), qPrintable(seen.at(0).text));
        QVERIFY2(seen.at(1).text.contains(u"最多 40 个字符"_s), qPrintable(seen.at(1).text));
        QCOMPARE(seen.at(2).text, u"已有名为“全部”的查询方案，要替换它吗？"_s);
        QCOMPARE(storedNames(), QStringList { u"全部"_s });
        QCOMPARE(store().entries().first().query->sortMarks.size(), 1); // the replacement

        // Cancelled: nothing saved.
        m_answer->then([](QWidget *w) { qobject_cast<QDialog *>(w)->reject(); });
        menu = openMenu(m_form);
        QVERIFY(choose(menu, u"保存为查询方案…"_s));
        QTRY_VERIFY(m_answer->idle());
        QCOMPARE(storedNames(), QStringList { u"全部"_s });
    }

    // The auto-run query runs when the screen opens, and only when the
    // environment loaded.
    void autoRunOnOpen()
    {
        SavedQuery q;
        q.name = u"北"_s;
        q.search = { { u"商圈名称"_s, u"部分等于"_s, u"北"_s, {} } };
        q.panelShown = true;
        SavedQueryStore s = store();
        QVERIFY(s.save(q));
        QVERIFY(s.setAutoRun(s.entries().first(), true));

        QVERIFY(open());
        QTRY_COMPARE(m_statements.size(), 1);
        QVERIFY(m_statements.first().contains(u"LIKE '%北%'"_s));
        QTRY_VERIFY(!m_form->MemoCondition->isHidden());
        QCOMPARE(m_form->dgdView->QueryConditions, q.search);
        closeScreen();

        m_statements.clear();
        QMap<QString, QString> params = FakeCoorDisp::defaultParameters();
        params.remove(u"dybm"_s);
        m_answer->press(u"Ok"_s);
        open(params);
        QTRY_VERIFY(m_answer->idle());
        QTRY_VERIFY(embeddedForms(m_host->parentControl).isEmpty());
        QTest::qWait(50);
        QCOMPARE(m_statements.size(), 0);
    }

    // The manager from its keyboard: move, auto-run tick, rename, delete
    // (asked first), damaged lines shown as such and deletable; Enter runs.
    void managerFromTheKeyboard()
    {
        QVERIFY(open());
        search();
        saveAs(u"甲"_s);
        saveAs(u"乙"_s);
        saveAs(u"丙"_s);
        WriteIniValue(u"Kalmorapos.ini"_s, SavedQueryActions::section(), u"Q9"_s, u"SQ1 {\"name\":"_s);

        QStringList listed;
        QString damage, font;
        m_answer
            ->drive([&](QWidget *w) {
                auto *dlg = qobject_cast<TFrmSavedQueries *>(w);
                QVERIFY(dlg);
                QCOMPARE(unnamedControls(dlg).join(u','), QString()); // a screen reader names each
                QListWidget *list = dlg->lstQueries;
                font = QFontInfo(list->font()).family();
                for (int i = 0; i < list->count(); ++i)
                    listed << list->item(i)->text();
                QTest::keyClick(list, Qt::Key_End);
                damage = dlg->lblDamage->text();
                QVERIFY(!dlg->btnRename->isEnabled());
                QTest::keyClick(list, Qt::Key_Delete); // asks; Yes
                QTRY_COMPARE(list->count(), 3);
                list->setCurrentRow(2);
                QTest::keyClick(list, Qt::Key_Up, Qt::ControlModifier); // 丙 above 乙
                QTest::keyClick(list, Qt::Key_Space); // auto-run on 丙
                QVERIFY(dlg->chkAutoRun->isChecked());
                QTest::keyClick(list, Qt::Key_F2); // rename 丙
                QTest::keyClick(list, Qt::Key_Home);
                QTest::keyClick(list, Qt::Key_Delete); // asks; No
                QTest::keyClick(list, Qt::Key_Down);
                QTest::keyClick(list, Qt::Key_Return); // runs 丙二
            })
            .press(u"Yes"_s)
            .then(typeName(u"丙二"_s))
            .press(u"No"_s);
        QMenu *menu = openMenu(m_form, Opening::ShiftF10);
        QVERIFY(menu);
        QVERIFY(choose(menu, u"管理查询方案…"_s));
        QTRY_VERIFY(m_answer->idle());
        QTRY_COMPARE(m_statements.size(), 2);

        QCOMPARE(listed, (QStringList { u"甲"_s, u"乙"_s, u"丙"_s, u"（已损坏）Q9"_s }));
        QVERIFY2(damage.contains(u"不完整"_s), qPrintable(damage));
        QVERIFY2(font.contains(u"CJK SC"_s), qPrintable(font));
        QCOMPARE(storedNames(), (QStringList { u"甲"_s, u"丙二"_s, u"乙"_s }));
        QCOMPARE(SavedQueryStore::autoRunQuery(store().entries())->name, u"丙二"_s);
        // The menu lists the most recent first: 丙二 just ran.
        menu = openMenu(m_form);
        QCOMPARE(menuTexts(menu).mid(2, 3), (QStringList { u"丙二"_s, u"乙"_s, u"甲"_s }));
        QTest::keyClick(menu, Qt::Key_Escape);
    }

    // A search the host refuses: its error, and the listing, lists, marks,
    // columns and panel as they were.
    void failedSearchChangesNothing()
    {
        QVERIFY(open());
        buildListing();
        saveAs(u"城"_s);
        search(u"商圈编码"_s, u"等于"_s, u"02"_s);
        clickTitle(0);
        m_form->dgdView->setGridColumnVisible(0, true);
        QTest::mouseClick(m_form->btnShow, Qt::LeftButton);
        const ListingState before = state(m_form);

        m_service->once(DispQueryData, FakeCoorDisp::fail(1, QVariantList { u"连接已断开"_s }));
        m_answer->press(u"Ok"_s);
        runFromMenu(m_form, u"城"_s);
        QTRY_VERIFY(m_answer->idle());
        QCOMPARE(m_answer->seen.last().title, u"错误"_s);
        QCOMPARE(m_answer->seen.last().text, u"连接已断开"_s);
        ListingState after = state(m_form);
        after.statement = before.statement; // the refused one was sent
        QCOMPARE(after, before);
    }

    // A host that processes events during the search: the menu does not open
    // and nothing else starts; a screen destroyed meanwhile is left alone.
    void hostPumpsEventsDuringTheSearch()
    {
        QVERIFY(open());
        search();
        saveAs(u"全部"_s);
        bool menuOpened = true;
        m_duringQuery = [&] {
            m_duringQuery = nullptr;
            menuOpened = openMenu(m_form, Opening::MenuKey) != nullptr;
            QTest::mouseClick(m_form->btnSearch, Qt::LeftButton); // swallowed
            QCoreApplication::processEvents();
        };
        runFromMenu(m_form, u"全部"_s);
        QVERIFY(!menuOpened);
        QCOMPARE(m_statements.size(), 2);
        QTRY_VERIFY(m_answer->idle());

        // Destroyed by the host inside the call.
        m_duringQuery = [&] {
            m_duringQuery = nullptr;
            delete m_form.data();
        };
        runFromMenu(m_form, u"全部"_s);
        QTRY_VERIFY(!m_form);
        QCOMPARE(m_statements.size(), 3);
        QCOMPARE(storedNames(), QStringList { u"全部"_s });
    }

    // Two query screens on one settings file: each sees the other's queries,
    // and neither loses the other's change.
    void twoScreensShareTheFile()
    {
        QVERIFY(open());
        QPointer<TfrmQuery> first = m_form;
        search();
        saveAs(u"甲"_s);
        QPointer<TfrmQuery> second = openScreen();
        QVERIFY(second && second != first);
        m_form = second;
        search(u"商圈名称"_s, u"部分等于"_s, u"东"_s);
        saveAs(u"乙"_s);
        QCOMPARE(storedNames(), (QStringList { u"甲"_s, u"乙"_s }));
        m_form = first;
        QMenu *menu = openMenu(first);
        QCOMPARE(menuTexts(menu).mid(2, 2), (QStringList { u"乙"_s, u"甲"_s }));
        QVERIFY(choose(menu, u"乙"_s));
        QVERIFY(m_statements.last().contains(u"LIKE '%东%'"_s));
        QCOMPARE(first->dgdView->QueryConditions.size(), 1);
    }

    // A saved query naming a column the listing no longer has applies the
    // rest; one whose condition names an unknown field is refused, said so.
    void unknownColumnsAndFields()
    {
        SavedQuery q;
        q.name = u"旧"_s;
        q.sortMarks = { { u"f_gone"_s, true }, { u"f_sqmc"_s, true } };
        q.columns = { { u"f_gone"_s, true, 50 }, { u"f_sqmc"_s, true, 150 }, { u"f_sqbm"_s, false, 70 } };
        SavedQuery bad = q;
        bad.name = u"坏"_s;
        bad.search = { { u"旧字段"_s, u"等于"_s, u"1"_s, {} } };
        SavedQueryStore s = store();
        QVERIFY(s.save(q));
        QVERIFY(s.save(bad));

        QVERIFY(open());
        runFromMenu(m_form, u"旧"_s);
        const ListingState st = state(m_form);
        QCOMPARE(st.columns, u"f_sqmc:1:150 f_sqbm:0:70"_s);
        QCOMPARE(st.marks, u"f_sqmc↑"_s);
        QCOMPARE(st.footer, u"合计:4条"_s); // in the first column, as ever

        m_answer->press(u"Ok"_s);
        runFromMenu(m_form, u"坏"_s);
        QTRY_VERIFY(m_answer->idle());
        QVERIFY2(m_answer->seen.last().text.contains(u"旧字段"_s), qPrintable(m_answer->seen.last().text));
        QCOMPARE(m_statements.size(), 1);
    }

    // Damaged lines beside a good query: the screen opens, the menu lists the
    // good one and runs it, the manager shows the others as damaged.
    void damagedLinesOnTheScreen_data()
    {
        QTest::addColumn<QByteArray>("lines");
        QTest::addColumn<int>("damaged");
        QTest::addColumn<int>("menuQueries");
        SavedQuery q;
        q.name = u"北"_s;
        const QByteArray good = q.toLine().toUtf8();
        QTest::newRow("cut off") << QByteArray("Q2=" + good.left(good.size() - 5)) << 1 << 1;
        QTest::newRow("wrong version") << QByteArray("Q2=SQ7" + good.mid(3)) << 1 << 1;
        QTest::newRow("garbage") << QByteArray("Q2=@@@ 乱码 ###\nQ3\nQ4=") << 2 << 1;
        QTest::newRow("10 MB") << QByteArray("Q2=SQ1 {\"name\":\"" + QByteArray(10 << 20, 'a') + "\"}") << 1 << 1;
        QByteArray many;
        for (int i = 0; i < 10000; ++i) {
            SavedQuery m;
            m.name = u"方案"_s + QString::number(i);
            m.lastUsed = i + 1;
            many += "Q" + QByteArray::number(i + 10) + "=" + m.toLine().toUtf8() + "\n";
        }
        QTest::newRow("10,000 queries") << many << 0 << SavedQueryActions::MenuLimit;
    }
    void damagedLinesOnTheScreen()
    {
        QFETCH(QByteArray, lines);
        QFETCH(int, damaged);
        QFETCH(int, menuQueries);
        SavedQuery q;
        q.name = u"北"_s;
        q.search = { { u"商圈名称"_s, u"部分等于"_s, u"北"_s, {} } };
        QFile f(settingsFile());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("[SqSavedQueries]\nQ1=" + q.toLine().toUtf8() + "\n" + lines + "\n");
        f.close();

        QVERIFY(open());
        QMenu *menu = openMenu(m_form);
        QVERIFY(menu);
        const QStringList texts = menuTexts(menu);
        QCOMPARE(texts.size(), menuQueries + 4);
        if (menuQueries == 1) {
            QVERIFY(choose(menu, u"北"_s));
            QCOMPARE(m_statements.size(), 1);
            QVERIFY(m_statements.first().contains(u"LIKE '%北%'"_s));
        } else {
            QCOMPARE(texts.at(2), u"方案9999"_s);
            QTest::keyClick(menu, Qt::Key_Escape);
        }

        int listed = -1, shownDamaged = -1;
        m_answer->drive([&](QWidget *w) {
            auto *dlg = qobject_cast<TFrmSavedQueries *>(w);
            QVERIFY(dlg);
            listed = dlg->lstQueries->count();
            shownDamaged = 0;
            for (int i = 0; i < listed; ++i)
                shownDamaged += dlg->lstQueries->item(i)->text().startsWith(u"（已损坏）"_s);
            QTest::keyClick(dlg->lstQueries, Qt::Key_Escape);
        });
        menu = openMenu(m_form);
        QVERIFY(choose(menu, u"管理查询方案…"_s));
        QTRY_VERIFY(m_answer->idle());
        QCOMPARE(shownDamaged, damaged);
        QCOMPARE(listed, 1 + damaged + (menuQueries > 1 ? 10000 : 0));
    }

    // docs/saved-query-menu.png and docs/saved-query-manager.png, written when
    // SQDA_SCREENSHOT_DIR is set: the menu over the listing, and the manager
    // with an auto-run query and a damaged one.
    void screenshot()
    {
        QVERIFY(open());
        m_host->resize(700, 420);
        m_host->parentControl->setGeometry(0, 0, 640, 400);
        m_form->setGeometry(m_host->parentControl->rect());
        sendHostMessage(m_form, HostResizeMessage, 400, 640);
        search(u"商圈名称"_s, u"部分等于"_s, u"城"_s);
        saveAs(u"东西城区（按名称）"_s);
        saveAs(u"01、03 部门的城区"_s);
        saveAs(u"本周新建商圈"_s);
        SavedQueryStore s = store();
        QVERIFY(s.setAutoRun(s.entries().at(1), true));
        WriteIniValue(u"Kalmorapos.ini"_s, SavedQueryActions::section(), u"Q4"_s, u"SQ2 {}"_s);

        const QString dir = qEnvironmentVariable("SQDA_SCREENSHOT_DIR");
        QWidget *rows = m_form->dgdView->viewport();
        const QPoint at(120, 30);
        QContextMenuEvent e(QContextMenuEvent::Mouse, at, rows->mapToGlobal(at));
        QApplication::sendEvent(rows, &e);
        QMenu *menu = m_form->SavedQueries->menu();
        QVERIFY(menu && QTest::qWaitForWindowExposed(menu));
        QTest::keyClick(menu, Qt::Key_Down);
        QTest::keyClick(menu, Qt::Key_Down);
        QCoreApplication::processEvents();
        if (!dir.isEmpty()) {
            QPixmap shot = m_form->grab();
            QPainter p(&shot);
            p.drawPixmap(m_form->mapFromGlobal(menu->mapToGlobal(QPoint(0, 0))), menu->grab());
            p.end();
            QVERIFY(shot.save(dir + u"/saved-query-menu.png"_s));
        }
        QTest::keyClick(menu, Qt::Key_Escape);
        QTRY_VERIFY(!m_form->SavedQueries->menu());

        m_answer->drive([&dir](QWidget *w) {
            auto *dlg = qobject_cast<TFrmSavedQueries *>(w);
            QVERIFY(dlg);
            dlg->lstQueries->setCurrentRow(1);
            QTest::qWait(50);
            if (!dir.isEmpty())
                QVERIFY(dlg->grab().save(dir + u"/saved-query-manager.png"_s));
            QTest::keyClick(dlg->lstQueries, Qt::Key_Escape);
        });
        menu = openMenu(m_form);
        QVERIFY(choose(menu, u"管理查询方案…"_s));
        QTRY_VERIFY(m_answer->idle());
    }
};

QTEST_MAIN(TestSavedQueries)
#include "tst_savedqueries.moc"
