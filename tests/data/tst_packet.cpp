// Data packets: what a host sends must arrive whole, and what is broken must be
// refused with a message, never loaded in part and never crash.
#include "data/ClientDataSet.h"
#include "data/DataError.h"
#include "data/Packet.h"
#include "data/PacketWriter.h"
#include "data/PageWarmer.h"
#include "data/Utf8.h"

#include <QCborStreamWriter>
#include <QStringDecoder>
#include <QTest>

#include <algorithm>
#include <iterator>
#include <vector>

using namespace sqda;

namespace {

FieldDefs allTypes()
{
    return {
        { QStringLiteral("f_sqbm"), FieldType::String, 12, QStringLiteral("商圈编码") },
        { QStringLiteral("f_jb"), FieldType::Int32, 0, {} },
        { QStringLiteral("f_big"), FieldType::Int64, 0, {} },
        { QStringLiteral("f_mj"), FieldType::Double, 0, {} },
        { QStringLiteral("f_flag"), FieldType::Bool, 0, {} },
        { QStringLiteral("f_rq"), FieldType::Date, 0, {} },
        { QStringLiteral("f_sj"), FieldType::DateTime, 0, {} },
    };
}

DataStore sampleStore()
{
    DataStore s(allTypes());
    const QDateTime when(QDate(2026, 12, 9), QTime(10, 11, 12, 345), Qt::UTC);
    const QList<QVariantList> rows = {
        { QStringLiteral("0101"), 1, Q_INT64_C(9007199254740993), 12.5, true, QDate(2026, 1, 31), when },
        { QStringLiteral("东城区 王府井"), -2147483647 - 1, std::numeric_limits<qint64>::min(), -0.25, false,
            QDate(1900, 2, 28), when.addDays(-40000) },
        { QVariant(), QVariant(), QVariant(), QVariant(), QVariant(), QVariant(), QVariant() },
        { QString(), 2147483647, std::numeric_limits<qint64>::max(), 0.0, true, QDate(9999, 12, 31), when },
    };
    for (const QVariantList &r : rows) {
        for (int c = 0; c < r.size(); ++c)
            s.appendValue(c, r[c]);
        s.commitRow();
    }
    return s;
}

QByteArray cbor(const std::function<void(QCborStreamWriter &)> &write)
{
    QByteArray out;
    QCborStreamWriter w(&out);
    write(w);
    return out;
}

// A packet with one field of the given type name and one row holding `value`.
QByteArray oneCell(const QString &type, const std::function<void(QCborStreamWriter &)> &value)
{
    return cbor([&](QCborStreamWriter &w) {
        w.startMap(2);
        w.append(QLatin1StringView("fields"));
        w.startArray(1);
        w.startMap(2);
        w.append(QLatin1StringView("name"));
        w.append(QLatin1StringView("f"));
        w.append(QLatin1StringView("type"));
        w.append(type);
        w.endMap();
        w.endArray();
        w.append(QLatin1StringView("rows"));
        w.startArray(1);
        w.startArray(1);
        value(w);
        w.endArray();
        w.endArray();
        w.endMap();
    });
}

// The packet layout written item by item with Qt's own CBOR writer: what the
// byte writer must reproduce exactly.
QByteArray referenceEncode(const DataStore &s)
{
    return cbor([&](QCborStreamWriter &w) {
        w.startMap(2);
        w.append(QLatin1StringView("fields"));
        w.startArray(quint64(s.defs().size()));
        for (const FieldDef &d : s.defs()) {
            w.startMap(d.displayLabel.isEmpty() ? 3 : 4);
            w.append(QLatin1StringView("name"));
            w.append(d.name);
            w.append(QLatin1StringView("type"));
            w.append(fieldTypeName(d.type));
            w.append(QLatin1StringView("size"));
            w.append(qint64(d.size));
            if (!d.displayLabel.isEmpty()) {
                w.append(QLatin1StringView("label"));
                w.append(d.displayLabel);
            }
            w.endMap();
        }
        w.endArray();
        w.append(QLatin1StringView("rows"));
        w.startArray(quint64(s.rowCount()));
        for (qsizetype r = 0; r < s.rowCount(); ++r) {
            w.startArray(quint64(s.columnCount()));
            for (int c = 0; c < s.columnCount(); ++c) {
                if (s.isNull(r, c)) {
                    w.append(nullptr);
                    continue;
                }
                switch (s.defs()[c].type) {
                case FieldType::String:
                    w.append(s.string(r, c).toString());
                    break;
                case FieldType::Int32:
                case FieldType::Int64:
                    w.append(s.integer(r, c));
                    break;
                case FieldType::Double:
                    w.append(s.real(r, c));
                    break;
                case FieldType::Bool:
                    w.append(s.integer(r, c) != 0);
                    break;
                case FieldType::Date:
                    w.append(QCborTag(1004));
                    w.append(s.date(r, c).toString(Qt::ISODate));
                    break;
                case FieldType::DateTime:
                    w.append(QCborTag(0));
                    w.append(s.dateTime(r, c).toUTC().toString(Qt::ISODateWithMs));
                    break;
                }
            }
            w.endArray();
        }
        w.endArray();
        w.endMap();
    });
}

} // namespace

class TestPacket : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void roundTripKeepsEveryTypeNullAndChineseText()
    {
        const DataStore in = sampleStore();
        const auto out = Packet::decode(Packet::encode(in));
        QVERIFY2(out, qPrintable(out.error()));
        QCOMPARE(out->defs(), in.defs());
        QCOMPARE(out->rowCount(), in.rowCount());
        for (qsizetype r = 0; r < in.rowCount(); ++r) {
            for (int c = 0; c < in.columnCount(); ++c) {
                QCOMPARE(out->isNull(r, c), in.isNull(r, c));
                QCOMPARE(out->value(r, c), in.value(r, c));
            }
        }
        QCOMPARE(out->string(1, 0), u"东城区 王府井");
        QVERIFY(!out->isNull(3, 0)); // an empty text is not null
        QVERIFY(out->string(3, 0).isEmpty());
    }

    void emptyResultAndIndefiniteContainers()
    {
        // No rows key at all, and containers of unknown length, as a streaming
        // host would write them.
        const QByteArray p = cbor([](QCborStreamWriter &w) {
            w.startMap();
            w.append(QLatin1StringView("fields"));
            w.startArray();
            w.startMap();
            w.append(QLatin1StringView("name"));
            w.append(QLatin1StringView("f_sqmc"));
            w.append(QLatin1StringView("type"));
            w.append(QLatin1StringView("string"));
            w.endMap();
            w.endArray();
            w.append(QLatin1StringView("comment"));
            w.append(QLatin1StringView("unknown keys are skipped"));
            w.endMap();
        });
        const auto s = Packet::decode(p);
        QVERIFY2(s, qPrintable(s.error()));
        QCOMPARE(s->rowCount(), 0);
        QCOMPARE(s->defs().first().name, QStringLiteral("f_sqmc"));
    }

    void everyTruncationIsAnError()
    {
        const QByteArray full = Packet::encode(sampleStore());
        for (qsizetype n = 0; n < full.size(); ++n) {
            const auto s = Packet::decode(full.left(n));
            const QString error = s.error();
            QVERIFY2(!s, qPrintable(QStringLiteral("prefix %1 of %2 decoded").arg(n).arg(full.size())));
            QVERIFY(!error.isEmpty());
        }
    }

    // Every head width, sign, float and text form the writer has, byte for
    // byte against Qt's CBOR writer.
    void writerMatchesCborEncoding_data()
    {
        QTest::addColumn<QByteArray>("written");
        QTest::addColumn<QByteArray>("expected");
        auto both = [](const char *name, const std::function<void(PacketWriter &)> &mine,
                        const std::function<void(QCborStreamWriter &)> &qt) {
            PacketWriter w;
            mine(w);
            QTest::newRow(name) << w.take() << cbor(qt);
        };
        const qint64 ints[]
            = { 0, 23, 24, 255, 256, 65535, 65536, 0xffffffffLL, 0x100000000LL, std::numeric_limits<qint64>::max(), -1,
                  -24, -25, -256, -257, -65537, -0x100000001LL, std::numeric_limits<qint64>::min() };
        for (const qint64 v : ints) {
            both(
                qPrintable(QStringLiteral("integer %1").arg(v)), [v](PacketWriter &w) { w.integer(v); },
                [v](QCborStreamWriter &w) { w.append(v); });
        }
        for (const double v : { 0.0, -0.0, 1.5, -1e300, 5e-324, std::numeric_limits<double>::infinity() }) {
            both(
                qPrintable(QStringLiteral("double %1").arg(v)), [v](PacketWriter &w) { w.real(v); },
                [v](QCborStreamWriter &w) { w.append(v); });
        }
        const QString texts[] = { QString(), QStringLiteral("0101"), QString(23, u'x'), QString(24, u'x'),
            QString(300, u'y'), QString(70000, u'z'), QStringLiteral("王府井 é"), QStringLiteral("𠀋𠀋 a"),
            QString(QChar(0)) + u'a', QStringLiteral("abcde"), QStringLiteral("abcdefg"), QStringLiteral("abcdefgh"),
            QStringLiteral("abcdefghijklmno"), QStringLiteral("abcdefghijklmnop"), QStringLiteral("abcdefghijklmnopq"),
            QStringLiteral("abcdefghijklmnopqrstuv") };
        for (const QString &t : texts) {
            both(
                qPrintable(QStringLiteral("text of %1").arg(t.size())), [t](PacketWriter &w) { w.text(t); },
                [t](QCborStreamWriter &w) { w.append(t); });
            const QByteArray utf8 = t.toUtf8();
            both(
                qPrintable(QStringLiteral("utf-8 text of %1").arg(t.size())),
                [utf8](PacketWriter &w) { w.textUtf8(utf8); }, [t](QCborStreamWriter &w) { w.append(t); });
        }
        both(
            "simple values",
            [](PacketWriter &w) {
                w.startArray(4);
                w.null();
                w.boolean(true);
                w.boolean(false);
                w.tag(1004);
                w.textLatin1("2026-01-31");
            },
            [](QCborStreamWriter &w) {
                w.startArray(4);
                w.append(nullptr);
                w.append(true);
                w.append(false);
                w.append(QCborTag(1004));
                w.append(QLatin1StringView("2026-01-31"));
                w.endArray();
            });
        both(
            "large map and array heads",
            [](PacketWriter &w) {
                w.startMap(70000);
                w.startArray(0x100000000ULL);
            },
            [](QCborStreamWriter &w) {
                w.startMap(70000);
                w.startArray(0x100000000ULL);
            });
    }
    void writerMatchesCborEncoding()
    {
        QFETCH(QByteArray, written);
        QFETCH(QByteArray, expected);
        QCOMPARE(written.toHex(' '), expected.toHex(' '));
    }

    void lonelySurrogateIsWrittenAsReplacementCharacter()
    {
        PacketWriter w;
        w.text(QStringView(u"a\xd800"
                           u"b\xdc00"));
        const QByteArray b = w.take();
        QCOMPARE(b,
            QByteArray("\x68"
                       "a"
                       "\xef\xbf\xbd"
                       "b"
                       "\xef\xbf\xbd"));
    }

    void encodedPacketIsTheCborLayoutAndDecodes()
    {
        // The library's encoder writes exactly what a generic CBOR writer would,
        // so packets from before the byte writer and after it are the same bytes.
        const DataStore s = sampleStore();
        QCOMPARE(Packet::encode(s).toHex(' '), referenceEncode(s).toHex(' '));
        DataStore empty(allTypes());
        QCOMPARE(Packet::encode(empty), referenceEncode(empty));
    }

    void headerPutInFrontOfRows_data()
    {
        QTest::addColumn<int>("frontRoom");
        QTest::newRow("room enough") << 4096;
        QTest::newRow("no room") << 0;
        QTest::newRow("too little room") << 10;
    }
    void headerPutInFrontOfRows()
    {
        // Rows written first, header learnt afterwards: the packet is the same
        // as one written in order, whether the header fits the room or not.
        QFETCH(int, frontRoom);
        PacketWriter rows(frontRoom);
        rows.reserve(1 << 20); // forces the buffer to move once rows are in it
        for (int k = 0; k < 3; ++k) {
            rows.startArray(2);
            rows.integer(k);
            rows.text(QStringLiteral("行%1").arg(k));
        }
        PacketWriter head;
        FieldDefs defs { { QStringLiteral("n"), FieldType::Int32, 0, {} },
            { QStringLiteral("t"), FieldType::String, 8, {} } };
        Packet::writeHeader(head, defs, 3);
        const QByteArray packet = rows.take(head.view());
        const auto out = Packet::decode(packet);
        QVERIFY2(out, qPrintable(out.error()));
        QCOMPARE(out->rowCount(), 3);
        QCOMPARE(out->string(2, 1), u"行2");
        DataStore same(defs);
        for (int k = 0; k < 3; ++k) {
            same.appendInt(0, k);
            same.appendString(1, QStringLiteral("行%1").arg(k));
            same.commitRow();
        }
        QCOMPARE(packet, Packet::encode(same));
        QCOMPARE(rows.size(), 0); // the writer starts over after take()
    }

    // A writer given the memory of an earlier packet writes into it only when
    // no reader holds that packet any more; one still read is left as it was.
    void spareBufferReusedOnlyWhenDropped_data()
    {
        QTest::addColumn<bool>("stillHeld");
        QTest::newRow("dropped by its reader") << false;
        QTest::newRow("still held by a reader") << true;
    }
    void spareBufferReusedOnlyWhenDropped()
    {
        QFETCH(bool, stillHeld);
        FieldDefs defs { { QStringLiteral("t"), FieldType::String, 8, {} } };
        const auto write = [&](PacketWriter &w, const QString &text, int rows) {
            for (int k = 0; k < rows; ++k) {
                w.startArray(1);
                w.text(text);
            }
            PacketWriter head;
            Packet::writeHeader(head, defs, rows);
            return w.take(head.view());
        };
        PacketWriter first(256);
        QByteArray spare = write(first, QStringLiteral("第一个数据包"), 20000);
        const QByteArray firstCopy(spare.constData(), spare.size());
        const auto *firstMemory = spare.data_ptr().d_ptr();
        QByteArray reader;
        if (stillHeld)
            reader = spare;

        PacketWriter second(256, std::move(spare));
        QVERIFY(spare.isNull()); // taken or let go, never kept by the caller
        QByteArray packet = write(second, QStringLiteral("第二"), 30000);
        QCOMPARE(packet.data_ptr().d_ptr() == firstMemory, !stillHeld);
        if (stillHeld)
            QCOMPARE(reader, firstCopy);
        const auto out = Packet::decode(packet);
        QVERIFY2(out, qPrintable(out.error()));
        QCOMPARE(out->rowCount(), 30000);
        QCOMPARE(out->string(29999, 0), u"第二");
    }

    void malformed_data()
    {
        QTest::addColumn<QByteArray>("packet");
        QTest::addColumn<QString>("reason");

        QTest::newRow("not cbor") << QByteArray("\xff\xff\xff", 3) << QString();
        // A field name cut in the middle of a character is refused, not shortened.
        QTest::newRow("name cut mid-character") << cbor([](QCborStreamWriter &w) {
            w.startMap(1);
            w.append(QLatin1StringView("fields"));
            w.startArray(1);
            w.startMap(2);
            w.append(QLatin1StringView("name"));
            w.appendTextString("f_\xe4\xb8", 4);
            w.append(QLatin1StringView("type"));
            w.append(QLatin1StringView("string"));
            w.endMap();
            w.endArray();
            w.endMap();
        }) << QStringLiteral("UTF-8");
        QTest::newRow("array at top") << cbor([](QCborStreamWriter &w) {
            w.startArray(0);
            w.endArray();
        }) << QStringLiteral("映射");
        QTest::newRow("no fields") << cbor([](QCborStreamWriter &w) {
            w.startMap(0);
            w.endMap();
        }) << QStringLiteral("fields");
        QTest::newRow("text in int32") << oneCell(QStringLiteral("int32"), [](QCborStreamWriter &w) {
            w.append(QLatin1StringView("12"));
        }) << QStringLiteral("整数");
        QTest::newRow("int32 overflow") << oneCell(QStringLiteral("int32"), [](QCborStreamWriter &w) {
            w.append(qint64(1) << 31);
        }) << QStringLiteral("32");
        QTest::newRow("int64 overflow") << oneCell(QStringLiteral("int64"), [](QCborStreamWriter &w) {
            w.append(quint64(1) << 63);
        }) << QStringLiteral("范围");
        QTest::newRow("number in string")
            << oneCell(QStringLiteral("string"), [](QCborStreamWriter &w) { w.append(5); }) << QStringLiteral("文本");
        QTest::newRow("bad date") << oneCell(QStringLiteral("date"), [](QCborStreamWriter &w) {
            w.append(QLatin1StringView("2026-02-30"));
        }) << QStringLiteral("日期");
        QTest::newRow("wrong tag on date") << oneCell(QStringLiteral("date"), [](QCborStreamWriter &w) {
            w.append(QCborTag(1));
            w.append(QLatin1StringView("2026-02-03"));
        }) << QStringLiteral("标签");
        QTest::newRow("unknown type") << oneCell(QStringLiteral("money"), [](QCborStreamWriter &w) { w.append(1); })
                                      << QStringLiteral("money");
        QTest::newRow("row too short") << cbor([](QCborStreamWriter &w) {
            w.startMap(2);
            w.append(QLatin1StringView("fields"));
            w.startArray(2);
            for (const char *n : { "a", "b" }) {
                w.startMap(2);
                w.append(QLatin1StringView("name"));
                w.append(QLatin1StringView(n));
                w.append(QLatin1StringView("type"));
                w.append(QLatin1StringView("string"));
                w.endMap();
            }
            w.endArray();
            w.append(QLatin1StringView("rows"));
            w.startArray(1);
            w.startArray(1);
            w.append(QLatin1StringView("x"));
            w.endArray();
            w.endArray();
            w.endMap();
        }) << QStringLiteral("值个数");
        // A row count far beyond what the bytes could hold must not be trusted
        // (no huge reservation), only refused.
        QTest::newRow("oversized row count") << [] {
            QByteArray p
                = oneCell(QStringLiteral("string"), [](QCborStreamWriter &w) { w.append(QLatin1StringView("x")); });
            const int at = p.indexOf("rows") + 4;
            p[at] = char(0x9b); // array, 8-byte length follows
            p.insert(at + 1, QByteArray("\x00\x00\x10\x00\x00\x00\x00\x00", 8));
            return p;
        }() << QStringLiteral("超出");
        QTest::newRow("oversized string") << [] {
            QByteArray p
                = oneCell(QStringLiteral("string"), [](QCborStreamWriter &w) { w.append(QLatin1StringView("x")); });
            const int at = p.lastIndexOf('x') - 1;
            p[at] = char(0x7a); // text, 4-byte length follows
            p.insert(at + 1, QByteArray("\x7f\xff\xff\xff", 4));
            return p;
        }() << QString();
        QTest::newRow("invalid utf-8") << [] {
            QByteArray p
                = oneCell(QStringLiteral("string"), [](QCborStreamWriter &w) { w.append(QLatin1StringView("xy")); });
            p[p.lastIndexOf('x')] = char(0xc3);
            p[p.lastIndexOf('y')] = char(0x28);
            return p;
        }() << QStringLiteral("UTF-8");
        QTest::newRow("trailing bytes") << Packet::encode(sampleStore()) + QByteArray(1, '\0')
                                        << QStringLiteral("多余");
    }

    void malformed()
    {
        QFETCH(QByteArray, packet);
        QFETCH(QString, reason);
        const auto decoded = Packet::decode(packet);
        QVERIFY(!decoded);
        const QString error = decoded.error();
        QVERIFY(!error.isEmpty());
        if (!reason.isEmpty())
            QVERIFY2(error.contains(reason), qPrintable(error));
    }

    // Text is held to the strict UTF-8 a general decoder accepts: the same
    // verdict and the same characters for every lead byte with every second
    // byte, and with a spread of later bytes around every boundary where the
    // rules change; alone, after ASCII blocks, and cut short. The validity
    // check agrees.
    void utf8AgreesWithStrictDecoder()
    {
        const uchar spread[] = { 0x00, 0x41, 0x7f, 0x80, 0x8f, 0x90, 0x9f, 0xa0, 0xbf, 0xc0, 0xf4, 0xff };
        const QByteArray prefixes[] = { QByteArray(), QByteArray("abcd"), QByteArray("12345678") };
        std::vector<char16_t> out;
        int checked = 0;
        const auto bytesOf = [](std::initializer_list<char> b) { return QByteArray(b.begin(), qsizetype(b.size())); };
        const auto check = [&](const QByteArray &seq) {
            for (const QByteArray &prefix : prefixes) {
                const QByteArray bytes = prefix + seq;
                // A byte-order mark is a character of the value, kept.
                QStringDecoder strict(
                    QStringDecoder::Utf8, QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
                const QString expected = strict.decode(bytes);
                out.assign(size_t(bytes.size()), u'\0');
                const qsizetype n = Utf8::toUtf16(bytes.constData(), bytes.size(), out.data());
                const bool valid = Utf8::isValid(bytes.constData(), bytes.size());
                if (strict.hasError()) {
                    if (n >= 0 || valid)
                        return QString::fromLatin1(bytes.toHex(' ')) + QStringLiteral(" accepted");
                } else if (n < 0 || !valid || QStringView(out.data(), n) != expected) {
                    return QString::fromLatin1(bytes.toHex(' ')) + QStringLiteral(" refused or changed");
                }
                ++checked;
            }
            return QString();
        };
        for (int lead = 0x80; lead <= 0xff; ++lead) {
            const char l = char(lead);
            QString fault = check(QByteArray(1, l));
            for (int second = 0; second <= 0xff && fault.isEmpty(); ++second) {
                const char s2 = char(second);
                fault = check(bytesOf({ l, s2 }));
                // Three-byte leads care about every second byte; the others
                // only about its class, which the spread covers.
                const bool everySecond = lead >= 0xe0 && lead <= 0xef;
                if (!everySecond && !std::count(std::begin(spread), std::end(spread), uchar(second)))
                    continue;
                for (const uchar third : spread) {
                    if (fault.isEmpty())
                        fault = check(bytesOf({ l, s2, char(third) }));
                    if (lead < 0xf0 || !std::count(std::begin(spread), std::end(spread), uchar(second)))
                        continue;
                    for (const uchar fourth : { uchar(0x41), uchar(0x80), uchar(0xbf), uchar(0xc0) }) {
                        if (fault.isEmpty())
                            fault = check(bytesOf({ l, s2, char(third), char(fourth) }));
                    }
                }
            }
            QVERIFY2(fault.isEmpty(), qPrintable(fault));
        }
        QVERIFY(checked > 100000);
    }

    // A load large enough to be warmed on a second thread: every value arrives
    // as written, through strings short and long, nulls and Chinese text; a
    // fault near the end still stops it cleanly.
    void largeLoadArrivesWhole()
    {
        const FieldDefs defs { { QStringLiteral("f_sqbm"), FieldType::String, 12, {} },
            { QStringLiteral("f_sqmc"), FieldType::String, 40, {} },
            { QStringLiteral("f_jb"), FieldType::Int32, 0, {} }, { QStringLiteral("f_mj"), FieldType::Double, 0, {} } };
        const qsizetype rows = 300000;
        DataStore in(defs);
        in.reserve(rows);
        for (qsizetype r = 0; r < rows; ++r) {
            in.appendString(0, QString::number(r).rightJustified(10, u'0'));
            if (r % 7 == 3)
                in.appendNull(1);
            else if (r % 5 == 0)
                in.appendString(1, QStringLiteral("王府井商圈第%1号，一个比二十三个字节更长的名称😀").arg(r));
            else
                in.appendString(1, QStringLiteral("东城区%1").arg(r));
            in.appendInt(2, r % 1000);
            in.appendDouble(3, double(r) / 4);
            in.commitRow();
        }
        const QByteArray packet = Packet::encode(in);
        QVERIFY(packet.size() > qsizetype(PageWarmer::MinBytes));
        const auto out = Packet::decode(packet);
        QVERIFY2(out, qPrintable(out.error()));
        QCOMPARE(out->rowCount(), rows);
        for (qsizetype r = 0; r < rows; ++r) {
            for (int c = 0; c < defs.size(); ++c) {
                if (out->isNull(r, c) != in.isNull(r, c) || out->value(r, c) != in.value(r, c))
                    QFAIL(qPrintable(QStringLiteral("row %1, column %2 differs").arg(r).arg(c)));
            }
        }

        QByteArray broken = packet;
        const qsizetype at = broken.lastIndexOf("东城区");
        QVERIFY(at > broken.size() - 100);
        broken[at + 1] = 'x'; // a character cut in the middle
        const auto refused = Packet::decode(broken);
        QVERIFY(!refused);
        QVERIFY2(refused.error().contains(QStringLiteral("UTF-8")), qPrintable(refused.error()));
    }

    void warmingChangesNoByte()
    {
        const std::size_t bytes = std::size_t(24) << 20;
        std::vector<quint32> even(bytes / 8), followed(bytes / 8);
        for (std::size_t i = 0; i < even.size(); ++i) {
            even[i] = quint32(i * 2654435761u);
            followed[i] = quint32(i * 40503u);
        }
        const std::vector<quint32> evenBefore = even, followedBefore = followed;
        {
            PageWarmer warmer;
            warmer.addEven(even.data(), even.size() * sizeof(quint32));
            warmer.setFollowed(followed.data(), followed.size() * sizeof(quint32));
            warmer.start();
            // The writer keeps writing what it already wrote while the warmer runs.
            for (std::size_t i = 0; i < followed.size(); i += 1024) {
                followed[i] = followedBefore[i];
                warmer.progress(i * sizeof(quint32));
            }
        }
        QVERIFY(even == evenBefore);
        QVERIFY(followed == followedBefore);
    }

    void badPacketLeavesDataSetAsItWas()
    {
        ClientDataSet ds;
        QVERIFY(ds.loadPacket(Packet::encode(sampleStore())));
        ds.last();
        const Status loaded = ds.loadPacket(QByteArray("\xa1", 1));
        QVERIFY(!loaded);
        QVERIFY(!loaded.error().isEmpty());
        QCOMPARE(ds.recordCount(), 4);
        QCOMPARE(ds.fieldByName(u"f_sqbm")->asString(), QString());
        QVERIFY_THROWS_EXCEPTION(DataError, ds.setData(QByteArray("junk")));
    }
};

QTEST_GUILESS_MAIN(TestPacket)
#include "tst_packet.moc"
