// A saved query's stored line and the store of them in the settings file, on
// Qt Core alone: the line read back as written, every kind of damage named and
// kept to its own entry, the name rules, and the store's changes keeping the
// rest of the file and the other queries, also between two screens at once.
#include "query/SavedQuery.h"
#include "query/SavedQueryStore.h"

#include "env/Utilities.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace sqda;
using namespace Qt::StringLiterals;

namespace {

SavedQuery sample(const QString &name = u"城区 01/03"_s)
{
    SavedQuery q;
    q.name = name;
    q.search = { { u"部门编码"_s, u"等于"_s, u"01;03"_s, {} }, { {}, {}, {}, u"并且"_s },
        { u"商圈名称"_s, u"部分等于"_s, u"城\"'\\ =;[x]\t"_s, {} } };
    q.filter = { { u"商圈编码"_s, u"大于"_s, u"01"_s, {} } };
    q.sortMarks = { { u"f_sqmc"_s, false }, { u"f_sqbm"_s, true } };
    q.columns = { { u"f_sqbm"_s, false, 97 }, { u"f_sqmc"_s, true, 164 } };
    q.panelShown = true;
    q.autoRun = false;
    q.lastUsed = 12;
    return q;
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeAll(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

QStringList names(const QList<SavedQueryStore::Entry> &entries)
{
    QStringList out;
    for (const auto &e : entries)
        out << (e.query ? e.query->name : u"!"_s + e.key);
    return out;
}

} // namespace

class TestSavedQuery : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString file() const { return m_dir.filePath(u"Kalmorapos.ini"_s); }
    QString dir() const { return m_dir.path() + u'/'; }
    SavedQueryStore store() const { return SavedQueryStore(u"Kalmorapos.ini"_s, u"SqSavedQueries"_s, dir()); }

private Q_SLOTS:
    void init() { QFile::remove(file()); }

    // The line is one line, starts with its version, and reads back whole —
    // quotes, backslashes, "=", ";", brackets and a tab in a value included.
    void lineReadsBackAsWritten()
    {
        const SavedQuery q = sample();
        const QString line = q.toLine();
        QVERIFY(line.startsWith(u"SQ1 {"_s));
        QVERIFY(!line.contains(u'\n') && !line.contains(u'\r') && !line.contains(u'\t'));
        const Result<SavedQuery> back = SavedQuery::fromLine(line);
        QVERIFY2(back, qPrintable(back.error()));
        QCOMPARE(*back, q);

        SavedQuery empty;
        empty.name = u"全部"_s;
        const Result<SavedQuery> emptyBack = SavedQuery::fromLine(empty.toLine());
        QVERIFY2(emptyBack, qPrintable(emptyBack.error()));
        QCOMPARE(*emptyBack, empty);
    }

    void damagedLines_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("reason");
        const QString good = sample().toLine();
        QTest::newRow("cut off") << good.left(good.size() / 2) << u"不完整"_s;
        QTest::newRow("cut after the version") << u"SQ1 "_s << u"不完整"_s;
        QTest::newRow("newer version") << u"SQ2"_s + good.mid(3) << u"版本 2"_s;
        QTest::newRow("version zero") << u"SQ0"_s + good.mid(3) << u"版本 0"_s;
        QTest::newRow("no version") << u"SQ {}"_s << u"不是查询方案"_s;
        QTest::newRow("garbage") << u"\u00e4\u00f6\u00fc###"_s << u"不是查询方案"_s;
        QTest::newRow("empty") << QString() << u"不是查询方案"_s;
        QTest::newRow("an array") << u"SQ1 [1,2]"_s << u"不完整"_s;
        QTest::newRow("10 MB") << u"SQ1 "_s + QString(10 * 1024 * 1024, u'x') << u"过长"_s;
        QTest::newRow("no name") << QString(good).replace(u"\"name\""_s, u"\"nom\""_s) << u"没有名称"_s;
        QTest::newRow("name too long") << QString(good).replace(u"城区 01/03"_s, QString(41, u'名')) << u"名称"_s;
        QTest::newRow("rows out of order")
            << QString(good).replace(u"[\"并且\"]"_s, u"[\"商圈编码\",\"等于\",\"1\"]"_s) << u"查询条件第 2 行"_s;
        QTest::newRow("unknown condition") << QString(good).replace(u"部分等于"_s, u"相似"_s) << u"第 3 行"_s;
        QTest::newRow("ends with a relation") << QString(good).replace(u"\"filter\":[[\"商圈编码\",\"大于\",\"01\"]]"_s,
            u"\"filter\":[[\"商圈编码\",\"大于\",\"01\"],[\"或者\"]]"_s)
                                              << u"以关系结束"_s;
        QTest::newRow("width zero") << QString(good).replace(u",97]"_s, u",0]"_s) << u"列布局"_s;
        QTest::newRow("width huge") << QString(good).replace(u",97]"_s, u",1e9]"_s) << u"列布局"_s;
        QTest::newRow("bad direction") << QString(good).replace(u"\"asc\""_s, u"\"up\""_s) << u"排序"_s;
        QTest::newRow("panel not a flag")
            << QString(good).replace(u"\"panel\":true"_s, u"\"panel\":1"_s) << u"设置项"_s;
    }
    void damagedLines()
    {
        QFETCH(QString, line);
        QFETCH(QString, reason);
        const Result<SavedQuery> q = SavedQuery::fromLine(line);
        QVERIFY(!q);
        QVERIFY2(q.error().contains(reason), qPrintable(q.error()));
    }

    void nameRules_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("problem"); // empty: accepted
        QTest::newRow("Chinese") << u"东城区周报"_s << QString();
        QTest::newRow("40 characters") << QString(40, u'城') << QString();
        QTest::newRow("40 beyond the BMP")
            << QString::fromUcs4(std::u32string(40, U'\U00020000').c_str(), 40) << QString();
        QTest::newRow("41 characters") << QString(41, u'城') << u"最多 40 个字符"_s;
        QTest::newRow("empty") << QString() << u"不能为空"_s;
        QTest::newRow("blanks") << u"   "_s << u"不能为空"_s;
        QTest::newRow("a tab") << u"a\tb"_s << u"控制字符"_s;
        QTest::newRow("lone surrogate") << QString(QChar(0xD800)) << u"无效"_s;
        QTest::newRow("symbols") << u"a=b;[c] & d"_s << QString();
    }
    void nameRules()
    {
        QFETCH(QString, name);
        QFETCH(QString, problem);
        const Status s = SavedQuery::checkName(name);
        if (problem.isEmpty()) {
            QVERIFY2(s, qPrintable(s.error()));
        } else {
            QVERIFY(!s);
            QVERIFY2(s.error().contains(problem), qPrintable(s.error()));
        }
    }

    // Adding, replacing, renaming, moving, deleting: one key per query in the
    // section, the rest of the file byte for byte.
    void storeKeepsTheRestOfTheFile()
    {
        const QByteArray before = "; 手写的注释\r\n[SqSearchGrid]\r\nf_sqbm=1,100\r\n\r\n[Other]\r\nk = v \r\n";
        writeAll(file(), before);
        SavedQueryStore s = store();
        QVERIFY(s.save(sample(u"甲"_s)));
        QVERIFY(s.save(sample(u"乙"_s)));
        QVERIFY(s.save(sample(u"丙"_s)));
        QCOMPARE(names(s.entries()), (QStringList { u"甲"_s, u"乙"_s, u"丙"_s }));
        QCOMPARE(names(SavedQueryStore::menuOrder(s.entries())), (QStringList { u"丙"_s, u"乙"_s, u"甲"_s }));

        // Replacing keeps the key and its place, and makes it the most recent.
        SavedQuery changed = sample(u"甲"_s);
        changed.panelShown = false;
        const Result<QString> key = s.save(changed);
        QCOMPARE(*key, u"Q1"_s);
        QCOMPARE(s.entries().first().query->panelShown, false);
        QCOMPARE(names(SavedQueryStore::menuOrder(s.entries())).first(), u"甲"_s);

        QVERIFY(s.rename(s.entries().at(1), u"乙二"_s));
        QCOMPARE(names(s.entries()), (QStringList { u"甲"_s, u"乙二"_s, u"丙"_s }));
        const Status taken = s.rename(s.entries().at(1), u"丙"_s);
        QVERIFY(!taken);
        QVERIFY(taken.error().contains(u"已有名为“丙”"_s));
        QVERIFY(!s.rename(s.entries().at(1), QString(41, u'名')));

        const Result<QString> moved = s.move(s.entries().at(2), -1);
        QCOMPARE(*moved, u"Q2"_s);
        QCOMPARE(names(s.entries()), (QStringList { u"甲"_s, u"丙"_s, u"乙二"_s }));
        QCOMPARE(*s.move(s.entries().at(0), -1), u"Q1"_s); // the top stays the top
        QCOMPARE(names(s.entries()), (QStringList { u"甲"_s, u"丙"_s, u"乙二"_s }));

        QVERIFY(s.remove(s.entries().at(1)));
        QVERIFY(s.remove(s.entries().at(1)));
        QVERIFY(s.remove(s.entries().at(0)));
        QVERIFY(s.entries().isEmpty());
        // All gone again: only the section's heading was added.
        QCOMPARE(readAll(file()), before + "\r\n[SqSavedQueries]\r\n");
    }

    // One auto-run query at most, however the ticks are set.
    void autoRunStaysUnique()
    {
        SavedQueryStore s = store();
        QVERIFY(s.save(sample(u"甲"_s)));
        QVERIFY(s.save(sample(u"乙"_s)));
        QVERIFY(s.setAutoRun(s.entries().at(0), true));
        QVERIFY(s.setAutoRun(s.entries().at(1), true));
        QList<SavedQueryStore::Entry> e = s.entries();
        QCOMPARE(e.at(0).query->autoRun, false);
        QCOMPARE(e.at(1).query->autoRun, true);
        QCOMPARE(SavedQueryStore::autoRunQuery(e)->name, u"乙"_s);
        // Saved again under its name, it keeps the flag.
        QVERIFY(s.save(sample(u"乙"_s)));
        QCOMPARE(SavedQueryStore::autoRunQuery(s.entries())->name, u"乙"_s);
        QVERIFY(s.setAutoRun(s.entries().at(1), false));
        QVERIFY(!SavedQueryStore::autoRunQuery(s.entries()));
    }

    // Damaged lines stand as entries of their own between the good ones; they
    // can be deleted, and nothing else is lost.
    void damagedLinesStayTheirOwn()
    {
        const QString good1 = sample(u"甲"_s).toLine();
        const QString good2 = sample(u"乙"_s).toLine();
        QByteArray bytes = "[SqSavedQueries]\nQ1=" + good1.toUtf8() + "\nQ2=" + good1.left(40).toUtf8()
            + "\nQ3=SQ9 {}\nQ4=%%% 乱码 {\"name\"\nQ5=SQ1 " + QByteArray(10 * 1024 * 1024, 'x')
            + "\nQ6=" + good2.toUtf8() + "\n";
        writeAll(file(), bytes);
        SavedQueryStore s = store();
        QList<SavedQueryStore::Entry> e = s.entries();
        QCOMPARE(names(e), (QStringList { u"甲"_s, u"!Q2"_s, u"!Q3"_s, u"!Q4"_s, u"!Q5"_s, u"乙"_s }));
        QVERIFY(e.at(1).damage.contains(u"不完整"_s));
        QVERIFY(e.at(2).damage.contains(u"版本 9"_s));
        QVERIFY(e.at(4).damage.contains(u"过长"_s));
        QCOMPARE(names(SavedQueryStore::menuOrder(e)), (QStringList { u"甲"_s, u"乙"_s }));

        QVERIFY(!s.rename(e.at(2), u"新"_s));
        QVERIFY(!s.setAutoRun(e.at(2), true));
        QVERIFY(s.remove(e.at(4)));
        QVERIFY(s.remove(s.entries().at(2)));
        QCOMPARE(names(s.entries()), (QStringList { u"甲"_s, u"!Q2"_s, u"!Q4"_s, u"乙"_s }));
        // A new one gets a key of its own, past the highest.
        QCOMPARE(*s.save(sample(u"丙"_s)), u"Q7"_s);
        QCOMPARE(names(s.entries()).last(), u"丙"_s);
        QCOMPARE(s.entries().first().line, good1);
    }

    // Ten thousand queries: read in one pass, the newest one found and changed.
    void tenThousandQueries()
    {
        QByteArray bytes = "[SqSavedQueries]\n";
        for (int i = 1; i <= 10000; ++i) {
            SavedQuery q = sample(u"方案"_s + QString::number(i));
            q.lastUsed = i;
            bytes += "Q" + QByteArray::number(i) + "=" + q.toLine().toUtf8() + "\n";
        }
        writeAll(file(), bytes);
        SavedQueryStore s = store();
        const QList<SavedQueryStore::Entry> e = s.entries();
        QCOMPARE(e.size(), 10000);
        const QList<SavedQueryStore::Entry> menu = SavedQueryStore::menuOrder(e);
        QCOMPARE(menu.first().query->name, u"方案10000"_s);
        QVERIFY(s.markUsed(e.first()));
        QCOMPARE(SavedQueryStore::menuOrder(s.entries()).first().query->name, u"方案1"_s);
        QCOMPARE(s.entries().size(), 10000);
    }

    // Two screens on one file: neither drops the other's change, and one that
    // works on what it read before the other changed it is told, not misled.
    void twoScreensShareTheFile()
    {
        SavedQueryStore a = store();
        SavedQueryStore b = store();
        QVERIFY(a.save(sample(u"甲"_s)));
        const QList<SavedQueryStore::Entry> seenByB = b.entries();
        QVERIFY(b.save(sample(u"乙"_s)));
        QVERIFY(a.save(sample(u"丙"_s)));
        QCOMPARE(names(a.entries()), (QStringList { u"甲"_s, u"乙"_s, u"丙"_s }));

        // A moves 乙 above 甲; B still holds 甲 as it read it under key Q1.
        QVERIFY(a.move(a.entries().at(1), -1));
        QVERIFY(b.rename(seenByB.at(0), u"甲二"_s));
        QCOMPARE(names(a.entries()), (QStringList { u"乙"_s, u"甲二"_s, u"丙"_s }));
        // A deletes what B is about to rename.
        const QList<SavedQueryStore::Entry> late = b.entries();
        QVERIFY(a.remove(a.entries().at(2)));
        const Status renamed = b.rename(late.at(2), u"丁"_s);
        QVERIFY(!renamed);
        QVERIFY(renamed.error().contains(u"另一个查询画面"_s));
        QCOMPARE(names(b.entries()), (QStringList { u"乙"_s, u"甲二"_s }));
    }

    // Several changes as one write: an edit that fails after changing lines
    // leaves the file as it was and answers its own error.
    void updateIsAllOrNothing()
    {
        writeAll(file(), "[SqSavedQueries]\r\nQ1=a\r\n");
        const QByteArray before = readAll(file());
        const Status failed = UpdateIniFile(u"Kalmorapos.ini"_s, dir(), [](IniFile &ini) -> Status {
            if (!ini.setValue(u"SqSavedQueries"_s, u"Q2"_s, u"b"_s) || !ini.removeKey(u"SqSavedQueries"_s, u"Q1"_s))
                return Error { u"setup"_s };
            return Error { u"第二步失败"_s };
        });
        QCOMPARE(failed.error(), u"第二步失败"_s);
        QCOMPARE(readAll(file()), before);

        const Status done = UpdateIniFile(u"Kalmorapos.ini"_s, dir(), [](IniFile &ini) -> Status {
            if (!ini.setValue(u"SqSavedQueries"_s, u"Q2"_s, u"b"_s) || !ini.removeKey(u"SqSavedQueries"_s, u"Q1"_s))
                return Error { u"setup"_s };
            return Status();
        });
        QVERIFY(done);
        QCOMPARE(readAll(file()), QByteArray("[SqSavedQueries]\r\nQ2=b\r\n"));
    }

    // A settings file that cannot be read is never replaced: the answer says
    // so in Chinese and the store reads as empty rather than failing.
    void unreadableFile()
    {
        QVERIFY(QDir(m_dir.path()).mkdir(u"Kalmorapos.ini"_s));
        SavedQueryStore s = store();
        QVERIFY(s.entries().isEmpty());
        const Result<QString> saved = s.save(sample(u"甲"_s));
        QVERIFY(QDir(m_dir.path()).rmdir(u"Kalmorapos.ini"_s));
        QVERIFY(!saved);
        QVERIFY2(saved.error().startsWith(u"查询方案不能写入设置文件。"_s), qPrintable(saved.error()));
    }
};

QTEST_GUILESS_MAIN(TestSavedQuery)
#include "tst_savedquery.moc"
