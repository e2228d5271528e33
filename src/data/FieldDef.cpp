#include "FieldDef.h"

#include <array>

namespace sqda {

namespace {
constexpr std::array<const char *, 7> kTypeNames = { "string", "int32", "int64", "double", "bool", "date", "datetime" };
}

QString fieldTypeName(FieldType t)
{
    return QString::fromLatin1(kTypeNames[size_t(t)]);
}

bool fieldTypeFromName(const QString &name, FieldType *out)
{
    for (size_t i = 0; i < kTypeNames.size(); ++i) {
        if (name == QLatin1String(kTypeNames[i])) {
            *out = FieldType(i);
            return true;
        }
    }
    return false;
}

} // namespace sqda
