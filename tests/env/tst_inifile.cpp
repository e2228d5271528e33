// Settings files: one value read or written, every other byte of the file kept,
// and a refused write that leaves the old file whole.
#include "EnvTests.h"
#include "RunAsUser.h"

#include "env/IniFile.h"
#include "env/Utilities.h"

#include <QDir>
#include <QFile>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

#include <QRandomGenerator>

#include <csignal>
#include <grp.h>
#include <pwd.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace sqda;

using sqda::test::reachableAs;
using sqda::test::runAsUser;

namespace {

QByteArray readBytes(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return "<unreadable>";
    return f.readAll();
}

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

QByteArray utf16(const QString &text, QStringConverter::Encoding order)
{
    auto enc = QStringEncoder(order);
    return (order == QStringConverter::Utf16LE ? QByteArray("\xFF\xFE") : QByteArray("\xFE\xFF"))
        + QByteArray(enc(text));
}

QByteArray gb18030(const QString &text)
{
    auto enc = QStringEncoder("GB18030");
    return enc(text);
}

QByteArray utf16Units(const QString &text, QStringConverter::Encoding order)
{
    auto enc = QStringEncoder(order);
    return enc(text);
}

// A Chinese character whose two GB18030 bytes also form one valid UTF-8
// sequence: a file holding only such bytes passes for UTF-8.
QString gbCharThatLooksLikeUtf8()
{
    for (char16_t u = 0x4E00; u < 0x9FA5; ++u) {
        const QByteArray b = gb18030(QString(QChar(u)));
        if (b.size() == 2 && uchar(b[0]) >= 0xC2 && uchar(b[0]) <= 0xDF && uchar(b[1]) >= 0x80 && uchar(b[1]) <= 0xBF)
            return QString(QChar(u));
    }
    return {};
}

// Lowers the largest file this process may write, as a full disk would.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_saved);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit lower = m_saved;
        lower.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &lower);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_oldHandler);
    }

private:
    rlimit m_saved {};
    void (*m_oldHandler)(int) = nullptr;
};

// Runs one settings write in a child process as `user` ("" for this process's
// own user) and answers the refusal's message, or empty when it was written.
QString writeAs(const QString &user, const QString &directory, const QString &value)
{
    return QString::fromUtf8(runAsUser(user, [&]() -> QByteArray {
        try {
            WriteIniValue(QStringLiteral("Kalmorapos.ini"), QStringLiteral("S"), QStringLiteral("k"), value, directory);
        } catch (const IniWriteError &e) {
            return e.what();
        }
        return {};
    }));
}

// A folder anyone may create files in (no sticky bit), as a shop's shared
// program folder often is, so that another user's write is judged by the
// file's own permissions alone.
bool openToEveryone(const QString &folder)
{
    return ::chmod(QFile::encodeName(folder).constData(), 0777) == 0;
}

} // namespace

class TestIniFile : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString dir() const { return m_dir.path() + u'/'; }
    QString file() const { return dir() + QStringLiteral("Kalmorapos.ini"); }

    void expectRefused(const QString &path, const std::function<void()> &write, const QString &message)
    {
        try {
            write();
            QFAIL("the write was not refused");
        } catch (const IniWriteError &e) {
            QCOMPARE(QString::fromUtf8(e.what()),
                message.isEmpty() ? QStringLiteral("Unable to write to ") + path : message);
        }
    }

private Q_SLOTS:
    void init() { QFile::remove(file()); }

    void read_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected");

        const QByteArray grid = "; layout of the listing\r\n[SqSearchGrid]\r\nf_sqbm=80\r\n  F_SqMc  =  商圈 名称  \r\n"
                                "f_jb=\r\n;f_mj=9\r\nexpr=a=b\r\n\r\n[ColorOption]\r\nBack=255\r\n";
        QTest::newRow("exact") << grid << "SqSearchGrid"
                               << "f_sqbm"
                               << "80";
        QTest::newRow("section any case") << grid << "SQSEARCHGRID"
                                          << "f_sqbm"
                                          << "80";
        QTest::newRow("key any case, value trimmed") << grid << "sqsearchgrid"
                                                     << "f_sqmc"
                                                     << "商圈 名称";
        QTest::newRow("empty value is a value") << grid << "SqSearchGrid"
                                                << "f_jb"
                                                << "";
        QTest::newRow("comment is no key") << grid << "SqSearchGrid"
                                           << "f_mj"
                                           << "默认";
        QTest::newRow("value holding =") << grid << "SqSearchGrid"
                                         << "expr"
                                         << "a=b";
        QTest::newRow("key of another section") << grid << "SqSearchGrid"
                                                << "Back"
                                                << "默认";
        QTest::newRow("missing section") << grid << "Other"
                                         << "f_sqbm"
                                         << "默认";
        QTest::newRow("first of two keys") << QByteArray("[S]\nk=1\nK=2\n") << "s"
                                           << "k"
                                           << "1";
        QTest::newRow("chinese names") << QByteArray("[颜色]\n背景=1\n") << "颜色"
                                       << "背景"
                                       << "1";
        QTest::newRow("utf-8 byte order mark") << QByteArray("\xEF\xBB\xBF[S]\nk=v\n") << "S"
                                               << "k"
                                               << "v";
        QTest::newRow("cut to 2047") << "[S]\nk=" + QByteArray(3000, 'x') << "S"
                                     << "k" << QString(2047, u'x');
        QTest::newRow("empty file") << QByteArray() << "S"
                                    << "k"
                                    << "默认";
    }

    void read()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, expected);
        writeBytes(file(), content);
        QCOMPARE(ReadIniValue(QStringLiteral("Kalmorapos.ini"), section, key, QStringLiteral("默认"), dir()), expected);
    }

    void readWithoutFile()
    {
        QCOMPARE(ReadIniValue(QStringLiteral("none.ini"), QStringLiteral("S"), QStringLiteral("k"),
                     QStringLiteral("默认"), dir()),
            QStringLiteral("默认"));
        // A folder where the file should be reads as no file.
        QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("folder.ini")));
        QCOMPARE(ReadIniValue(QStringLiteral("folder.ini"), QStringLiteral("S"), QStringLiteral("k"),
                     QStringLiteral("默认"), dir()),
            QStringLiteral("默认"));
    }

    void directoryRule()
    {
        QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("sub")));
        writeBytes(dir() + QStringLiteral("sub/a.ini"), "[S]\nk=inside\n");
        writeBytes(dir() + QStringLiteral("suba.ini"), "[S]\nk=joined\n");
        const auto read = [](const QString &directory) {
            return ReadIniValue(
                QStringLiteral("a.ini"), QStringLiteral("S"), QStringLiteral("k"), QString(), directory);
        };
        QCOMPARE(read(dir() + QStringLiteral("sub/")), QStringLiteral("inside"));
        // No separator is added: the folder's name and the file name run together.
        QCOMPARE(read(dir() + QStringLiteral("sub")), QStringLiteral("joined"));

        // An empty folder or "\" means the host program's folder.
        const QByteArray saved = qgetenv("KALMORA_HOME");
        qputenv("KALMORA_HOME", (dir() + QStringLiteral("sub")).toLocal8Bit());
        QCOMPARE(read(QString()), QStringLiteral("inside"));
        QCOMPARE(read(QStringLiteral("\\")), QStringLiteral("inside"));
        WriteIniValue(QStringLiteral("a.ini"), QStringLiteral("S"), QStringLiteral("k"), QStringLiteral("new"));
        QCOMPARE(readBytes(dir() + QStringLiteral("sub/a.ini")), QByteArray("[S]\nk=new\n"));
        if (saved.isNull())
            qunsetenv("KALMORA_HOME");
        else
            qputenv("KALMORA_HOME", saved);
    }

    void write_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("after");

        QTest::newRow("replace, all else kept") << QByteArray(
            "\xEF\xBB\xBF; 列宽\r\n[SqSearchGrid]\r\n  F_SQBM = 80 \r\nf_sqmc=120\r\n\r\n[ColorOption]\r\nBack=1")
                                                << "sqsearchgrid"
                                                << "f_sqbm"
                                                << "95"
                                                << QByteArray("\xEF\xBB\xBF; 列宽\r\n[SqSearchGrid]\r\n  F_SQBM "
                                                              "=95\r\nf_sqmc=120\r\n\r\n[ColorOption]\r\nBack=1");
        QTest::newRow("only the first of two keys") << QByteArray("[S]\nk=1\nk=2\n") << "S"
                                                    << "K"
                                                    << "3" << QByteArray("[S]\nk=3\nk=2\n");
        QTest::newRow("new key before the blank line and the next section")
            << QByteArray("[A]\nx=1\n\n[B]\ny=2\n") << "a"
            << "z"
            << "3" << QByteArray("[A]\nx=1\nz=3\n\n[B]\ny=2\n");
        QTest::newRow("new key after a comment of the section")
            << QByteArray("[A]\nx=1\n; end of A\n[B]\n") << "A"
            << "z"
            << "3" << QByteArray("[A]\nx=1\n; end of A\nz=3\n[B]\n");
        QTest::newRow("new key, last line without line end") << QByteArray("[A]\r\nx=1") << "A"
                                                             << "z"
                                                             << "3" << QByteArray("[A]\r\nx=1\r\nz=3\r\n");
        QTest::newRow("new key under a bare section line") << QByteArray("[A]") << "A"
                                                           << "k"
                                                           << "v" << QByteArray("[A]\nk=v\n");
        QTest::newRow("new section in the file's line ends") << QByteArray("[A]\r\nx=1\r\n") << "New"
                                                             << "k"
                                                             << "v" << QByteArray("[A]\r\nx=1\r\n\r\n[New]\r\nk=v\r\n");
        QTest::newRow("new section after a blank last line") << QByteArray("x=1\n\n") << "S"
                                                             << "k"
                                                             << "v" << QByteArray("x=1\n\n[S]\nk=v\n");
        QTest::newRow("empty file") << QByteArray() << "S"
                                    << "k"
                                    << "v" << QByteArray("[S]\nk=v\n");
        QTest::newRow("mixed line ends kept") << QByteArray("[A]\r\nx=1\ny=2\r\n") << "A"
                                              << "y"
                                              << "9" << QByteArray("[A]\r\nx=1\ny=9\r\n");
        QTest::newRow("chinese value") << QByteArray("[S]\nk=旧\n") << "S"
                                       << "k"
                                       << "新值" << QByteArray("[S]\nk=新值\n");
        for (const auto order : { QStringConverter::Utf16LE, QStringConverter::Utf16BE })
            QTest::addRow("utf-16 %s", order == QStringConverter::Utf16LE ? "le" : "be")
                << utf16(QStringLiteral("; 注释\r\n[S]\r\nk=1\r\n"), order) << "s"
                << "K"
                << "新" << utf16(QStringLiteral("; 注释\r\n[S]\r\nk=新\r\n"), order);
        QTest::newRow("utf-8 cut off at the end is read and written as GB18030")
            << QByteArray("[S]\nk=中文\xE4\xB8") << "S"
            << "name"
            << "中文" << QByteArray("[S]\nk=中文\xE4\xB8\nname=") + gb18030(QStringLiteral("中文")) + "\n";
        QTest::newRow("utf-8 lines starting with a byte order mark")
            << QByteArray("\xEF\xBB\xBF[A]\nx=1\n\xEF\xBB\xBF[S]\n\xEF\xBB\xBF k=1\n") << "S"
            << "K"
            << "二" << QByteArray("\xEF\xBB\xBF[A]\nx=1\n\xEF\xBB\xBF[S]\n\xEF\xBB\xBF k=二\n");
        QTest::newRow("gb18030 value replaced by one whose bytes pass for utf-8")
            << QByteArray("[S]\nk=") + gb18030(QStringLiteral("啊")) + "\n"
            << "S"
            << "k" << gbCharThatLooksLikeUtf8() << ("[S]\nk=" + gbCharThatLooksLikeUtf8() + "\n").toUtf8();
        for (const auto order : { QStringConverter::Utf16LE, QStringConverter::Utf16BE }) {
            // A lone surrogate in a comment and in the text before a key's "=", a second
            // byte order mark starting the section line, and a dangling odd byte.
            const QByteArray lone = utf16Units(QStringLiteral("; a"), order)
                + (order == QStringConverter::Utf16LE ? QByteArray("\x00\xD8", 2) : QByteArray("\xD8\x00", 2));
            const QByteArray head = utf16(QString(), order) + lone
                + utf16Units(QStringLiteral("\r\n\uFEFF[S]\r\nk"), order)
                + (order == QStringConverter::Utf16LE ? QByteArray("\x00\xDC", 2) : QByteArray("\xDC\x00", 2))
                + utf16Units(QStringLiteral("=1\r\nj=2\r\n"), order);
            QTest::addRow("utf-16 %s oddities kept", order == QStringConverter::Utf16LE ? "le" : "be")
                << head + "X"
                << "S"
                << "j"
                << "新" << head.left(head.size() - 6) + utf16Units(QStringLiteral("新\r\n"), order) + "X";
            QTest::addRow("utf-16 %s new key before the odd byte", order == QStringConverter::Utf16LE ? "le" : "be")
                << head + "X"
                << "S"
                << "n"
                << "值" << head + utf16Units(QStringLiteral("n=值\r\n"), order) + "X";
        }
        QTest::newRow("empty value") << QByteArray("[S]\nk=v\n") << "S"
                                     << "k"
                                     << "" << QByteArray("[S]\nk=\n");
    }

    void write()
    {
        QFETCH(QByteArray, before);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QByteArray, after);
        writeBytes(file(), before);
        WriteIniValue(QStringLiteral("Kalmorapos.ini"), section, key, value, dir());
        QCOMPARE(readBytes(file()), after);
        QCOMPARE(ReadIniValue(QStringLiteral("Kalmorapos.ini"), section, key, QStringLiteral("默认"), dir()), value);
    }

    void writeCreatesTheFile()
    {
        WriteIniValue(QStringLiteral("Kalmorapos.ini"), QStringLiteral("ColorOption"), QStringLiteral("Back"),
            QStringLiteral("16777215"), dir());
        QCOMPARE(readBytes(file()), QByteArray("[ColorOption]\nBack=16777215\n"));
    }

    void gb18030FileStaysGb18030()
    {
        // A character whose second GB18030 byte is "]" must not end a section
        // name, nor may any byte of the file change but those of the value.
        QString bracketChar;
        for (char16_t u = 0x4E00; u < 0x9FA5 && bracketChar.isEmpty(); ++u) {
            const QByteArray b = gb18030(QString(QChar(u)));
            if (b.size() == 2 && b.at(1) == ']')
                bracketChar = QChar(u);
        }
        QVERIFY(!bracketChar.isEmpty());

        const QString before = QStringLiteral("; 颜色设置\r\n[颜色%1]\r\n字体=宋体\r\nBack=1\r\n\r\n[其它]\r\nx=%1\r\n")
                                   .arg(bracketChar);
        const QByteArray beforeBytes = gb18030(before);
        QVERIFY(QString::fromUtf8(beforeBytes).toUtf8() != beforeBytes); // really not UTF-8
        writeBytes(file(), beforeBytes);

        const QString section = QStringLiteral("颜色") + bracketChar;
        QCOMPARE(ReadIniValue(QStringLiteral("Kalmorapos.ini"), section, QStringLiteral("字体"), QString(), dir()),
            QStringLiteral("宋体"));
        WriteIniValue(QStringLiteral("Kalmorapos.ini"), section, QStringLiteral("back"), QStringLiteral("深蓝"), dir());
        WriteIniValue(QStringLiteral("Kalmorapos.ini"), QStringLiteral("新节"), QStringLiteral("键"),
            QStringLiteral("值"), dir());

        QString after = before;
        after.replace(QStringLiteral("Back=1"), QStringLiteral("Back=深蓝"));
        after += QStringLiteral("\r\n[新节]\r\n键=值\r\n");
        QCOMPARE(readBytes(file()), gb18030(after));
        QCOMPARE(ReadIniValue(
                     QStringLiteral("Kalmorapos.ini"), QStringLiteral("其它"), QStringLiteral("x"), QString(), dir()),
            bracketChar);
    }

    void gb18030FileThatWouldPassForUtf8IsWrittenAsUtf8()
    {
        // The only bytes that are not UTF-8 are in the value being replaced; the
        // other value's bytes are valid UTF-8 by chance. Written in GB18030, the
        // file would be read as UTF-8 and both values would change.
        const QString other = gbCharThatLooksLikeUtf8();
        QVERIFY(!other.isEmpty());
        writeBytes(file(), "[S]\r\nk=" + gb18030(QStringLiteral("啊")) + "\r\nother=" + gb18030(other) + "\r\n");
        QCOMPARE(ReadIniValue(
                     QStringLiteral("Kalmorapos.ini"), QStringLiteral("S"), QStringLiteral("other"), QString(), dir()),
            other);
        WriteIniValue(
            QStringLiteral("Kalmorapos.ini"), QStringLiteral("S"), QStringLiteral("k"), QStringLiteral("x"), dir());
        QCOMPARE(readBytes(file()), ("[S]\r\nk=x\r\nother=" + other + "\r\n").toUtf8());
        QCOMPARE(ReadIniValue(
                     QStringLiteral("Kalmorapos.ini"), QStringLiteral("S"), QStringLiteral("other"), QString(), dir()),
            other);
    }

    // A key or section added after a last line without a line end must not
    // change how that line reads: a bare CR there would join the new line end
    // and drop out of the line, and a broken byte before it would decode
    // differently. Every byte the file had stays in front, as it was.
    void appendingLeavesTheLastLineAsItWas_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("other"); // a key whose value must not change
        QTest::newRow("bare CR after a broken GB18030 byte") << QByteArray("[fuzz]\nk=\x81\r") << "fuzz"
                                                             << "Color"
                                                             << "k";
        QTest::newRow("bare CR after a broken byte, new section") << QByteArray("[fuzz]\nk=\x81\r") << "商圈"
                                                                  << "k"
                                                                  << "k";
        QTest::newRow("two bare CRs") << QByteArray("[S]\nk=\x81\r\r") << "S"
                                      << "n"
                                      << "k";
        QTest::newRow("broken byte at the very end") << QByteArray("[S]\nk=\x81") << "S"
                                                     << "n"
                                                     << "k";
        QTest::newRow("bare CR in a UTF-8 file") << QByteArray("[S]\r\nk=v\r") << "S"
                                                 << "n"
                                                 << "k";
        for (const auto order : { QStringConverter::Utf16LE, QStringConverter::Utf16BE })
            QTest::addRow("bare CR in UTF-16 %s", order == QStringConverter::Utf16LE ? "le" : "be")
                << utf16(QStringLiteral("[S]\r\nk=v\r"), order) << "S"
                << "n"
                << "k";
    }
    void appendingLeavesTheLastLineAsItWas()
    {
        QFETCH(QByteArray, before);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, other);
        const QString value = QStringLiteral("中文");
        IniFile ini = IniFile::parse(before);
        const std::optional<QString> otherBefore = ini.value(QStringLiteral("fuzz"), other);
        const std::optional<QString> otherInS = ini.value(QStringLiteral("S"), other);
        QVERIFY(ini.setValue(section, key, value));
        const QByteArray written = ini.toBytes();
        QVERIFY2(written.startsWith(before), written.toPercentEncoding().constData());
        const IniFile back = IniFile::parse(written);
        QCOMPARE(back.value(section, key), std::optional<QString>(value));
        QCOMPARE(back.value(QStringLiteral("fuzz"), other), otherBefore);
        QCOMPARE(back.value(QStringLiteral("S"), other), otherInS);
    }

    void staleFilesOfAKilledWriterAreRemoved()
    {
        QTemporaryDir folder;
        const QString path = folder.path() + QStringLiteral("/Kalmorapos.ini");
        writeBytes(path, "[S]\nk=1\n");
        writeBytes(path + QStringLiteral(".bak"), "user's copy");
        writeBytes(path + QStringLiteral(".writing-by-hand"), "not ours");
        // A writer that dies with its new file half written (no destructor runs,
        // as with kill -9).
        const pid_t child = fork();
        if (child == 0) {
            QFile part(path + QStringLiteral(".writing-Ab3xYz"));
            if (part.open(QIODevice::WriteOnly))
                part.write("[S]\nk=");
            _exit(0);
        }
        QVERIFY(child > 0);
        int status = 0;
        QCOMPARE(waitpid(child, &status, 0), child);
        QVERIFY(QFileInfo::exists(path + QStringLiteral(".writing-Ab3xYz")));

        WriteIniValue(QStringLiteral("Kalmorapos.ini"), QStringLiteral("S"), QStringLiteral("k"), QStringLiteral("2"),
            folder.path() + u'/');
        QCOMPARE(readBytes(path), QByteArray("[S]\nk=2\n"));
        QStringList left = QDir(folder.path()).entryList(QDir::Files | QDir::Hidden);
        left.sort();
        QCOMPARE(left,
            (QStringList { QStringLiteral("Kalmorapos.ini"), QStringLiteral("Kalmorapos.ini.bak"),
                QStringLiteral("Kalmorapos.ini.writing-by-hand") }));
    }

    void killedWritersLeaveAWholeFile()
    {
        // Writers killed at random moments: the file is always one of the whole
        // versions, and the next write leaves nothing else behind.
        QTemporaryDir folder;
        const QString directory = folder.path() + u'/';
        const QString path = directory + QStringLiteral("Kalmorapos.ini");
        const QByteArray padding = "; " + QByteArray(4000, 'p') + "\n";
        writeBytes(path, padding + "[S]\nk=start\n");
        for (int round = 0; round < 40; ++round) {
            const pid_t child = fork();
            if (child == 0) {
                // The child never returns into the test: an error ends it at once.
                try {
                    for (int i = 0;; ++i)
                        WriteIniValue(QStringLiteral("Kalmorapos.ini"), QStringLiteral("S"), QStringLiteral("k"),
                            QStringLiteral("v%1").arg(i), directory);
                } catch (...) {
                }
                _exit(3);
            }
            QVERIFY(child > 0);
            usleep(useconds_t(QRandomGenerator::global()->bounded(1000, 15000)));
            kill(child, SIGKILL);
            int status = 0;
            QCOMPARE(waitpid(child, &status, 0), child);
            QVERIFY2(WIFSIGNALED(status), "a writer failed before it was killed");
            const QByteArray now = readBytes(path);
            QVERIFY2(now.startsWith(padding + "[S]\nk=") && now.endsWith('\n'), now.right(40).constData());
        }
        WriteIniValue(QStringLiteral("Kalmorapos.ini"), QStringLiteral("S"), QStringLiteral("k"), QStringLiteral("end"),
            directory);
        QCOMPARE(readBytes(path), padding + "[S]\nk=end\n");
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden),
            QStringList { QStringLiteral("Kalmorapos.ini") });
    }

    void refusedWrite_data()
    {
        QTest::addColumn<QString>("setup"); // what stands in the way
        QTest::newRow("the file's path is a folder") << "folder";
        QTest::newRow("the folder does not exist") << "no folder";
        QTest::newRow("the folder is a file") << "file as folder";
    }

    void refusedWrite()
    {
        QFETCH(QString, setup);
        QString directory = dir();
        if (setup == QLatin1String("folder")) {
            QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("Kalmorapos.ini")));
        } else if (setup == QLatin1String("no folder")) {
            directory = dir() + QStringLiteral("missing/");
        } else {
            writeBytes(dir() + QStringLiteral("plain"), "x");
            directory = dir() + QStringLiteral("plain/");
        }
        const QString path = directory + QStringLiteral("Kalmorapos.ini");
        expectRefused(
            path,
            [&] {
                WriteIniValue(QStringLiteral("Kalmorapos.ini"), QStringLiteral("S"), QStringLiteral("k"),
                    QStringLiteral("v"), directory);
            },
            QString());
        if (setup == QLatin1String("folder"))
            QVERIFY(QFileInfo(path).isDir());
        else
            QVERIFY(!QFileInfo::exists(path));
        QCOMPARE(readBytes(dir() + QStringLiteral("plain")),
            setup == QLatin1String("file as folder") ? QByteArray("x") : QByteArray("<unreadable>"));
        QDir(dir() + QStringLiteral("Kalmorapos.ini")).removeRecursively();
        QFile::remove(dir() + QStringLiteral("plain"));
    }

    // A file marked read-only is refused with the settings API's message and
    // kept byte for byte, whoever writes; a file the writer may write is written.
    void readOnlyFileIsRespected_data()
    {
        QTest::addColumn<QString>("user"); // who writes; empty: the file's owner (this process)
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("written");
        QTest::newRow("owner, 444") << "" << 0444 << false;
        QTest::newRow("owner, 400") << "" << 0400 << false;
        QTest::newRow("owner, 644") << "" << 0644 << true;
        QTest::newRow("other user, 444") << "nobody" << 0444 << false;
        QTest::newRow("other user, 644 (only the owner writes)") << "nobody" << 0644 << false;
        QTest::newRow("other user, 666") << "nobody" << 0666 << true;
    }
    void readOnlyFileIsRespected()
    {
        QFETCH(QString, user);
        QFETCH(int, mode);
        QFETCH(bool, written);
        if (!user.isEmpty() && ::geteuid() != 0)
            QSKIP("writing as another user needs a test run as root");
        QTemporaryDir folder;
        QVERIFY(openToEveryone(folder.path()));
        if (!user.isEmpty() && !reachableAs(user, folder.path()))
            QSKIP("the temporary folder is out of that user's reach (TMPDIR)");
        const QString path = folder.path() + QStringLiteral("/Kalmorapos.ini");
        const QByteArray before = "; the user's settings\n[S]\nk=old\n";
        writeBytes(path, before);
        QVERIFY(::chmod(QFile::encodeName(path).constData(), mode_t(mode)) == 0);

        const QString answer = writeAs(user, folder.path() + u'/', QStringLiteral("new"));
        QCOMPARE(answer, written ? QString() : QStringLiteral("Unable to write to ") + path);
        QCOMPARE(readBytes(path), written ? QByteArray("; the user's settings\n[S]\nk=new\n") : before);
        struct stat st = {};
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &st), 0);
        QCOMPARE(int(st.st_mode & 07777), mode);
        if (written && user.isEmpty())
            QCOMPARE(st.st_uid, ::geteuid());
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden),
            QStringList { QStringLiteral("Kalmorapos.ini") });
    }

    // A write by root (an administrator) leaves the file its owner's.
    void ownerIsKept()
    {
        if (::geteuid() != 0)
            QSKIP("giving a file to another user needs a test run as root");
        const passwd *pw = ::getpwnam("nobody");
        QVERIFY(pw);
        QTemporaryDir folder;
        const QString path = folder.path() + QStringLiteral("/Kalmorapos.ini");
        writeBytes(path, "[S]\nk=old\n");
        QCOMPARE(::chown(QFile::encodeName(path).constData(), pw->pw_uid, pw->pw_gid), 0);
        QCOMPARE(::chmod(QFile::encodeName(path).constData(), 0640), 0);
        QCOMPARE(writeAs(QString(), folder.path() + u'/', QStringLiteral("new")), QString());
        struct stat st = {};
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &st), 0);
        QCOMPARE(st.st_uid, pw->pw_uid);
        QCOMPARE(st.st_gid, pw->pw_gid);
        QCOMPARE(int(st.st_mode & 07777), 0640);
        QCOMPARE(readBytes(path), QByteArray("[S]\nk=new\n"));
    }

    // A settings file that is a symbolic link is written through to its target,
    // which is replaced whole in its own folder; the link stays a link.
    void linkIsWrittenThrough_data()
    {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("shape");
        for (const QString &user : { QString(), QStringLiteral("nobody") }) {
            const QString who = user.isEmpty() ? QStringLiteral("owner") : QStringLiteral("other user");
            for (const char *shape : { "relative", "absolute", "chain", "dangling" })
                QTest::addRow("%s, %s link", qPrintable(who), shape) << user << QString::fromLatin1(shape);
        }
    }
    void linkIsWrittenThrough()
    {
        QFETCH(QString, user);
        QFETCH(QString, shape);
        if (!user.isEmpty() && ::geteuid() != 0)
            QSKIP("writing as another user needs a test run as root");
        QTemporaryDir root;
        QVERIFY(openToEveryone(root.path()));
        QVERIFY(QDir(root.path()).mkpath(QStringLiteral("program")));
        QVERIFY(QDir(root.path()).mkpath(QStringLiteral("shared")));
        QVERIFY(openToEveryone(root.path() + QStringLiteral("/program")));
        QVERIFY(openToEveryone(root.path() + QStringLiteral("/shared")));
        if (!user.isEmpty() && !reachableAs(user, root.path() + QStringLiteral("/shared")))
            QSKIP("the temporary folder is out of that user's reach (TMPDIR)");
        const QString program = root.path() + QStringLiteral("/program/");
        const QString target = root.path() + QStringLiteral("/shared/pos.ini");
        const QString link = program + QStringLiteral("Kalmorapos.ini");
        if (shape != QLatin1String("dangling")) {
            writeBytes(target, "[S]\nk=old\nother=kept\n");
            QVERIFY(::chmod(QFile::encodeName(target).constData(), 0666) == 0);
        }
        QString pointsTo = shape == QLatin1String("absolute") ? target : QStringLiteral("../shared/pos.ini");
        if (shape == QLatin1String("chain")) {
            QVERIFY(QFile::link(QStringLiteral("../shared/pos.ini"), program + QStringLiteral("middle.ini")));
            pointsTo = QStringLiteral("middle.ini");
        }
        QVERIFY(::symlink(QFile::encodeName(pointsTo).constData(), QFile::encodeName(link).constData()) == 0);

        QCOMPARE(writeAs(user, program, QStringLiteral("new")), QString());

        QVERIFY(QFileInfo(link).isSymLink());
        char buffer[256] = {};
        QCOMPARE(::readlink(QFile::encodeName(link).constData(), buffer, sizeof buffer - 1), pointsTo.size());
        QCOMPARE(QString::fromLocal8Bit(buffer), pointsTo);
        QCOMPARE(readBytes(target),
            shape == QLatin1String("dangling") ? QByteArray("[S]\nk=new\n") : QByteArray("[S]\nk=new\nother=kept\n"));
        QCOMPARE(ReadIniValue(
                     QStringLiteral("Kalmorapos.ini"), QStringLiteral("S"), QStringLiteral("k"), QString(), program),
            QStringLiteral("new"));
        // The new file was made beside the target, nothing is left behind.
        QCOMPARE(QDir(root.path() + QStringLiteral("/shared")).entryList(QDir::Files | QDir::Hidden),
            QStringList { QStringLiteral("pos.ini") });
        QStringList inProgram = QDir(program).entryList(QDir::Files | QDir::Hidden | QDir::System);
        inProgram.sort();
        QCOMPARE(inProgram,
            shape == QLatin1String("chain")
                ? (QStringList { QStringLiteral("Kalmorapos.ini"), QStringLiteral("middle.ini") })
                : QStringList { QStringLiteral("Kalmorapos.ini") });
    }

    void readOnlyLinkTargetIsRefused()
    {
        QTemporaryDir root;
        const QString target = root.path() + QStringLiteral("/pos.ini");
        writeBytes(target, "[S]\nk=old\n");
        QVERIFY(::chmod(QFile::encodeName(target).constData(), 0444) == 0);
        QVERIFY(QDir(root.path()).mkpath(QStringLiteral("program")));
        const QString link = root.path() + QStringLiteral("/program/Kalmorapos.ini");
        QVERIFY(QFile::link(target, link));
        QCOMPARE(writeAs(QString(), root.path() + QStringLiteral("/program/"), QStringLiteral("new")),
            QStringLiteral("Unable to write to ") + link);
        QCOMPARE(readBytes(target), QByteArray("[S]\nk=old\n"));
        QVERIFY(QFileInfo(link).isSymLink());
    }

    void circularLinkIsRefused()
    {
        QTemporaryDir root;
        const QString link = root.path() + QStringLiteral("/Kalmorapos.ini");
        QVERIFY(QFile::link(QStringLiteral("other.ini"), link));
        QVERIFY(QFile::link(QStringLiteral("Kalmorapos.ini"), root.path() + QStringLiteral("/other.ini")));
        QCOMPARE(writeAs(QString(), root.path() + u'/', QStringLiteral("new")),
            QStringLiteral("Unable to write to ") + link);
        QVERIFY(QFileInfo(link).isSymLink());
    }

    void fullDiskLeavesTheOldFile()
    {
        QTemporaryDir folder;
        const QString path = folder.path() + QStringLiteral("/Kalmorapos.ini");
        const QByteArray before = "; keep me " + QByteArray(400, '-') + "\n[ColorOption]\nBack=1\n";
        writeBytes(path, before);
        {
            // Room for the old file but not for the new one.
            FileSizeLimit limit(rlim_t(before.size()) + 8);
            expectRefused(
                path,
                [&] {
                    WriteIniValue(QStringLiteral("Kalmorapos.ini"), QStringLiteral("ColorOption"),
                        QStringLiteral("Back"), QString(600, u'9'), folder.path() + u'/');
                },
                QString());
        }
        QCOMPARE(readBytes(path), before);
        // No half-written file is left next to it.
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden),
            QStringList { QStringLiteral("Kalmorapos.ini") });
    }

    void unstorableInputIsRefused_data()
    {
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("reason");
        QTest::newRow("line break in the value") << "S"
                                                 << "k"
                                                 << "a\nb"
                                                 << "the value of \"k\" holds a line break";
        QTest::newRow("return in the value") << "S"
                                             << "k"
                                             << "a\rb"
                                             << "the value of \"k\" holds a line break";
        QTest::newRow("= in the key") << "S"
                                      << "a=b"
                                      << "v"
                                      << "the key name \"a=b\" cannot be stored";
        QTest::newRow("empty key") << "S"
                                   << " "
                                   << "v"
                                   << "the key name \" \" cannot be stored";
        QTest::newRow("key that reads as a section") << "S"
                                                     << "[x"
                                                     << "v"
                                                     << "the key name \"[x\" cannot be stored";
        QTest::newRow("] in the section") << "a]b"
                                          << "k"
                                          << "v"
                                          << "the section name \"a]b\" cannot be stored";
        QTest::newRow("lone surrogate in the value")
            << "S"
            << "k" << QString(QChar(0xD800)) << "the value of \"k\" is not valid text";
        QTest::newRow("line break in the section") << "a\nb"
                                                   << "k"
                                                   << "v"
                                                   << "the section name \"a\nb\" cannot be stored";
    }

    void unstorableInputIsRefused()
    {
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QString, reason);
        const QByteArray before = "[S]\nk=old\n";
        writeBytes(file(), before);
        expectRefused(
            file(), [&] { WriteIniValue(QStringLiteral("Kalmorapos.ini"), section, key, value, dir()); },
            QStringLiteral("Unable to write to %1: %2").arg(file(), reason));
        QCOMPARE(readBytes(file()), before);
    }
};

int runIniFileTests(int argc, char **argv)
{
    TestIniFile t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_inifile.moc"
