// The small shared routines: texts, whole-number texts, separated lists and the
// host program's folder.
#include "EnvTests.h"

#include "env/Utilities.h"

#include <QCoreApplication>
#include <QTest>

using namespace sqda;

class TestUtilities : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void chooseStr()
    {
        QCOMPARE(ChooseStr(true, QStringLiteral("是"), QStringLiteral("否")), QStringLiteral("是"));
        QCOMPARE(ChooseStr(false, QStringLiteral("是"), QStringLiteral("否")), QStringLiteral("否"));
        QCOMPARE(ChooseStr(true, QString(), QStringLiteral("x")), QString());
        QCOMPARE(ChooseStr(false, QStringLiteral("x"), QString()), QString());
    }

    void isInt64Text_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("expected");
        QTest::newRow("empty") << "" << false;
        QTest::newRow("blanks") << "   " << false;
        QTest::newRow("control characters") << "\t\r\n" << false;
        QTest::newRow("120") << "120" << true;
        QTest::newRow("leading blank") << " 120" << true;
        QTest::newRow("leading tab") << "\t120" << false;
        QTest::newRow("trailing blank") << "120 " << false;
        QTest::newRow("minus") << "-5" << true;
        QTest::newRow("plus") << "+5" << true;
        QTest::newRow("sign only") << "-" << false;
        QTest::newRow("dollar hex") << "$7F" << true;
        QTest::newRow("0x hex") << "0x7f" << true;
        QTest::newRow("negative hex") << "-$10" << true;
        QTest::newRow("dollar alone") << "$" << false;
        QTest::newRow("0x alone") << "0x" << false;
        QTest::newRow("letter inside") << "12a" << false;
        QTest::newRow("hex digit in decimal") << "1f" << false;
        QTest::newRow("largest") << "9223372036854775807" << true;
        QTest::newRow("2^63") << "9223372036854775808" << false;
        QTest::newRow("smallest") << "-9223372036854775808" << true;
        QTest::newRow("below smallest") << "-9223372036854775809" << false;
        QTest::newRow("largest hex") << "$7FFFFFFFFFFFFFFF" << true;
        QTest::newRow("hex 2^63") << "$8000000000000000" << false;
        QTest::newRow("many digits") << "123456789012345678901234567890" << false;
        QTest::newRow("full-width digits") << "１２" << false;
        QTest::newRow("decimal point") << "1.0" << false;
    }

    void isInt64Text()
    {
        QFETCH(QString, text);
        QFETCH(bool, expected);
        QCOMPARE(IsInt64Text(text), expected);
    }

    void zeroPadNumber_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<bool>("truncate");
        QTest::addColumn<qint64>("value");
        QTest::addColumn<QString>("expected");
        QTest::newRow("pad") << 5 << false << qint64(42) << "00042";
        QTest::newRow("truncate keeps the last digits") << 1 << true << qint64(42) << "2";
        QTest::newRow("too narrow, whole") << 1 << false << qint64(42) << "42";
        QTest::newRow("zero") << 3 << false << qint64(0) << "000";
        QTest::newRow("width 0 truncated") << 0 << true << qint64(0) << "";
        QTest::newRow("negative width truncated") << -2 << true << qint64(7) << "";
        QTest::newRow("negative width whole") << -2 << false << qint64(7) << "7";
        QTest::newRow("zeros before the minus") << 5 << false << qint64(-42) << "00-42";
        QTest::newRow("exact width") << 3 << true << qint64(-42) << "-42";
        QTest::newRow("truncate a negative") << 2 << true << qint64(-42) << "42";
        QTest::newRow("smallest") << 21 << false << std::numeric_limits<qint64>::min() << "0-9223372036854775808";
    }

    void zeroPadNumber()
    {
        QFETCH(int, width);
        QFETCH(bool, truncate);
        QFETCH(qint64, value);
        QFETCH(QString, expected);
        QCOMPARE(ZeroPadNumber(width, truncate, value), expected);
    }

    void pieces_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("separator");
        QTest::addColumn<int>("count");
        QTest::addColumn<QStringList>("pieces"); // PieceAt for index 1, 2, ...

        QTest::newRow("empty") << ""
                               << "," << 0 << QStringList { "", "" };
        QTest::newRow("no separator gives nothing") << "abc"
                                                    << "," << 1 << QStringList { "", "" };
        QTest::newRow("empty piece") << "a,b,,c"
                                     << "," << 4 << QStringList { "a", "b", "", "c", "" };
        QTest::newRow("a,,b") << "a,,b"
                              << "," << 3 << QStringList { "a", "", "b", "" };
        QTest::newRow("bar") << "x|y"
                             << "|" << 2 << QStringList { "x", "y", "" };
        QTest::newRow("trailing separator") << "a,"
                                            << "," << 2 << QStringList { "a", "", "" };
        QTest::newRow("separator only") << ","
                                        << "," << 2 << QStringList { "", "", "" };
        QTest::newRow("chinese") << "并且;或者"
                                 << ";" << 2 << QStringList { "并且", "或者" };
    }

    void pieces()
    {
        QFETCH(QString, text);
        QFETCH(QString, separator);
        QFETCH(int, count);
        QFETCH(QStringList, pieces);
        const QChar sep = separator.at(0);
        QCOMPARE(CountPieces(text, sep), count);
        for (int i = 0; i < pieces.size(); ++i)
            QCOMPARE(PieceAt(text, sep, i + 1), pieces.at(i));
        QCOMPARE(PieceAt(text, sep, 0), QString());
        QCOMPARE(PieceAt(text, sep, 255), QString());
    }

    void splitTrimmed_data()
    {
        QTest::addColumn<QString>("separator");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("list");
        QTest::addColumn<bool>("complete");
        QTest::newRow("empty") << ";"
                               << "" << QStringList { "" } << false;
        QTest::newRow("trimmed") << ";"
                                 << "a; b;c" << QStringList { "a", "b", "c" } << true;
        QTest::newRow("empty middle") << ";"
                                      << "a;;b" << QStringList { "a", "", "b" } << false;
        QTest::newRow("trailing separator") << ";"
                                            << "a;" << QStringList { "a", "" } << false;
        QTest::newRow("blank piece") << ";"
                                     << "a; \t;b" << QStringList { "a", "", "b" } << false;
        QTest::newRow("control characters trimmed") << ";"
                                                    << "\ta\r\n"
                                                    << QStringList { "a" } << true;
        QTest::newRow("full-width space is text") << ";"
                                                  << "　a" << QStringList { "　a" } << true;
        QTest::newRow("longer separator") << "::"
                                          << "a::b:c" << QStringList { "a", "b:c" } << true;
        QTest::newRow("empty separator") << ""
                                         << " a;b " << QStringList { "a;b" } << true;
    }

    void splitTrimmed()
    {
        QFETCH(QString, separator);
        QFETCH(QString, text);
        QFETCH(QStringList, list);
        QFETCH(bool, complete);
        QStringList out { QStringLiteral("left over") };
        QCOMPARE(SplitTrimmed(separator, text, out), complete);
        QCOMPARE(out, list);
    }

    void hostProgramFolderFollowsKalmoraHome()
    {
        const QByteArray saved = qgetenv("KALMORA_HOME");
        qunsetenv("KALMORA_HOME");
        QCOMPARE(hostProgramFolder(), QCoreApplication::applicationDirPath() + u'/');
        qputenv("KALMORA_HOME", "/srv/kalmora");
        QCOMPARE(hostProgramFolder(), QStringLiteral("/srv/kalmora/"));
        qputenv("KALMORA_HOME", "/srv/kalmora/");
        QCOMPARE(hostProgramFolder(), QStringLiteral("/srv/kalmora/"));
        if (saved.isNull())
            qunsetenv("KALMORA_HOME");
        else
            qputenv("KALMORA_HOME", saved);
    }
};

int runUtilitiesTests(int argc, char **argv)
{
    TestUtilities t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_utilities.moc"
