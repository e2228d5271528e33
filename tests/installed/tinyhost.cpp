// The smallest host of the query screen, built against the installed headers:
// a data service answering the environment the screen reads at creation, a
// window whose control embeds the screen, and a picture of it.
//
//   tinyhost OUTPUT.png [PLUGIN]
//
// Exits 0 when the screen opened (embedded, no dialog up) and the picture was
// written; 1 otherwise, saying why.
#include <sqda/ComPtr.h>
#include <sqda/EntryPoints.h>
#include <sqda/HostMessage.h>
#include <sqda/ICoorDisp.h>

#include <QApplication>
#include <QCborArray>
#include <QCborMap>
#include <QCborValue>
#include <QLibrary>
#include <QPixmap>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

#include <cstdio>

namespace {

// A data packet (docs/packet-format.md) of text columns.
QByteArray packet(const QStringList &names, const QList<QStringList> &rows)
{
    QCborArray fields;
    for (const QString &name : names)
        fields.append(
            QCborMap { { QStringLiteral("name"), name }, { QStringLiteral("type"), QStringLiteral("string") } });
    QCborArray body;
    for (const QStringList &row : rows)
        body.append(QCborArray::fromStringList(row));
    return QCborValue(QCborMap { { QStringLiteral("fields"), fields }, { QStringLiteral("rows"), body } }).toCbor();
}

class TinyService final : public sqda::ICoorDisp
{
public:
    unsigned long AddRef() override { return ++m_refs; }
    unsigned long Release() override
    {
        const unsigned long n = --m_refs;
        if (n == 0)
            delete this;
        return n;
    }

    QVariant Invoke(int dispId, QVariantList &args) override
    {
        switch (dispId) {
        case sqda::DispGetDatabaseType:
            return QStringLiteral("SQLSERVER");
        case sqda::DispGetServerYearMonth:
            args[0] = QStringLiteral("202612");
            return true;
        case sqda::DispGetServerDate:
            args[0] = QStringLiteral("20261211");
            return true;
        case sqda::DispGetServerDateTime:
            args[0] = QStringLiteral("2026121112:00:00");
            return true;
        case sqda::DispGetSystemParameters:
            args[0] = packet({ QStringLiteral("f_csmc"), QStringLiteral("f_csz") },
                { { QStringLiteral("dwlx"), QStringLiteral("00") },
                    { QStringLiteral("qyny"), QStringLiteral("202601") },
                    { QStringLiteral("dybm"), QStringLiteral("0101") } });
            return true;
        default:
            if (!args.isEmpty())
                args[0] = QVariantList { QStringLiteral("这个主机不提供这项操作。") };
            return false;
        }
    }

private:
    unsigned long m_refs = 0;
};

int fail(const char *why)
{
    std::fprintf(stderr, "tinyhost: %s\n", why);
    return 1;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc < 2)
        return fail("usage: tinyhost OUTPUT.png [PLUGIN]");
    const QString output = QString::fromLocal8Bit(argv[1]);
    QLibrary plugin(argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral(SQDA_PLUGIN_FILE));
    if (!plugin.load())
        return fail(qPrintable(plugin.errorString()));
    const auto open = reinterpret_cast<GetFormOneSearchFn>(plugin.resolve("GetFormOneSearch"));
    if (!open)
        return fail("the plug-in does not export GetFormOneSearch");

    const sqda::ComPtr<TinyService> service(new TinyService);
    QWidget window;
    window.resize(900, 600);
    auto *layout = new QVBoxLayout(&window);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *control = new QWidget(&window);
    layout->addWidget(control);
    window.show();

    const QByteArray operatorCode = sqda::toShortString(QByteArray());
    open(&window, control, reinterpret_cast<const unsigned char *>(operatorCode.constData()), control, service.get());
    const QList<QWidget *> forms = sqda::embeddedForms(control);
    if (forms.isEmpty())
        return fail("no screen was embedded into the host's control");
    sqda::sendHostMessage(forms.first(), sqda::HostResizeMessage, control->height(), control->width());

    int result = 0;
    QTimer::singleShot(500, &window, [&] {
        const QList<QWidget *> shown = sqda::embeddedForms(control);
        if (QWidget *modal = QApplication::activeModalWidget()) {
            std::fprintf(
                stderr, "tinyhost: a dialog is up instead of the screen: %s\n", qPrintable(modal->windowTitle()));
            result = 1;
        } else if (shown.isEmpty() || !shown.first()->isVisible()) {
            result = fail("the screen closed itself");
        } else {
            // The control has its laid-out size by now: the screen fills it, as a host's would.
            shown.first()->setGeometry(control->rect());
            sqda::sendHostMessage(shown.first(), sqda::HostResizeMessage, control->height(), control->width());
            if (!window.grab().save(output, "PNG"))
                result = fail("cannot write the picture");
        }
        QApplication::exit(result);
    });
    QApplication::exec();
    return result;
}
