#include "IndexDef.h"

namespace sqda {

QStringList IndexDef::splitFields(const QString &list)
{
    QStringList out;
    for (QStringView part : QStringView(list).split(u';')) {
        part = part.trimmed();
        if (!part.isEmpty())
            out << part.toString();
    }
    return out;
}

bool IndexDef::isDescending(const QString &field) const
{
    if (options.testFlag(IndexOption::Descending))
        return true;
    return splitFields(descFields).contains(field, Qt::CaseInsensitive);
}

const IndexDef *IndexDefs::find(const QString &name) const
{
    for (const IndexDef &d : m_defs) {
        if (d.name.compare(name, Qt::CaseInsensitive) == 0)
            return &d;
    }
    return nullptr;
}

void IndexDefs::add(const IndexDef &def)
{
    for (IndexDef &d : m_defs) {
        if (d.name.compare(def.name, Qt::CaseInsensitive) == 0) {
            d = def;
            return;
        }
    }
    m_defs.append(def);
}

bool IndexDefs::remove(const QString &name)
{
    for (qsizetype i = 0; i < m_defs.size(); ++i) {
        if (m_defs[i].name.compare(name, Qt::CaseInsensitive) == 0) {
            m_defs.removeAt(i);
            return true;
        }
    }
    return false;
}

} // namespace sqda
