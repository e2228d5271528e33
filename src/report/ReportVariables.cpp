#include "ReportVariables.h"

namespace sqda::report {

ReportVariables &ReportVariables::global()
{
    static ReportVariables table;
    return table;
}

void ReportVariables::set(const QString &name, const QString &value)
{
    m_values.insert(name.toCaseFolded(), value);
}

QString ReportVariables::value(QStringView name) const
{
    return m_values.value(name.toString().toCaseFolded());
}

bool ReportVariables::contains(QStringView name) const
{
    return m_values.contains(name.toString().toCaseFolded());
}

QString expandVariables(QStringView text, const ReportVariables &variables, PageNumbers numbers)
{
    QString out;
    out.reserve(text.size());
    qsizetype pos = 0;
    while (pos < text.size()) {
        const qsizetype open = text.indexOf(u'[', pos);
        if (open < 0)
            break;
        const qsizetype close = text.indexOf(u']', open + 1);
        if (close < 0)
            break;
        // "[[Title]" keeps the first '[' as text: the name starts at the last '['.
        const qsizetype inner = text.lastIndexOf(u'[', close);
        out += text.mid(pos, inner - pos);
        const QStringView name = text.mid(inner + 1, close - inner - 1);
        if (name.compare(u"Page#", Qt::CaseInsensitive) == 0)
            out += QString::number(numbers.page);
        else if (name.compare(u"TotalPages#", Qt::CaseInsensitive) == 0)
            out += QString::number(numbers.totalPages);
        else
            out += variables.value(name);
        pos = close + 1;
    }
    out += text.mid(pos);
    return out;
}

bool hasVariables(QStringView text)
{
    const qsizetype open = text.indexOf(u'[');
    return open >= 0 && text.indexOf(u']', open + 1) > open;
}

} // namespace sqda::report
