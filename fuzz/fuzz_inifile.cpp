// libFuzzer target: any bytes are read as a settings file; a value written into
// it reads back exactly as written, a value under another key is unchanged,
// writing the same value again changes no byte, the section read whole agrees
// with its keys read one by one, and removing the key leaves the other. The
// first input byte picks the section, key and value, the rest is the file.
#include "env/IniFile.h"

#include <cstdlib>

namespace {

const QString Sections[] = { QStringLiteral("ColorOption"), QStringLiteral("fuzz"), QStringLiteral("商圈") };
const QString Keys[] = { QStringLiteral("Color"), QStringLiteral("k"), QStringLiteral("名称") };
const QString Values[] = { QStringLiteral("中文"), QStringLiteral("16777215"), QString(), QStringLiteral("a=b;c"),
    QStringLiteral("\U00020000"), QStringLiteral("é€") };

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const unsigned pick = data[0];
    const QString &section = Sections[pick % 3];
    const QString &key = Keys[(pick / 3) % 3];
    const QString &value = Values[(pick / 9) % 6];
    // The key that is not written: its value must survive the write.
    const QString &otherKey = Keys[((pick / 3) + 1) % 3];

    const QByteArray file = QByteArray(reinterpret_cast<const char *>(data) + 1, qsizetype(size - 1));
    sqda::IniFile ini = sqda::IniFile::parse(file);
    const std::optional<QString> otherBefore = ini.value(section, otherKey);
    if (!ini.setValue(section, key, value))
        std::abort(); // these names and values are always storable
    const QByteArray written = ini.toBytes();

    sqda::IniFile back = sqda::IniFile::parse(written);
    if (back.value(section, key) != value)
        std::abort();
    if (back.value(section, otherKey) != otherBefore)
        std::abort();
    if (!back.setValue(section, key, value) || back.toBytes() != written)
        std::abort();
    // The section read in one pass agrees with reading its keys one by one.
    for (const sqda::IniFile::Entry &e : back.entries(section)) {
        if (back.value(section, e.key) != e.value)
            std::abort();
    }
    // Removing the written key leaves the other key as it was.
    if (!back.removeKey(section, key) || back.value(section, otherKey) != otherBefore)
        std::abort();
    return 0;
}
