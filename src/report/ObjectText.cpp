#include "ObjectText.h"

#include <QLocale>

namespace sqda::report {

QString ObjectText::text(const ReportObject &object, int row, PageNumbers numbers) const
{
    switch (object.kind) {
    case ObjectKind::Text:
        return object.expandVariables ? expandVariables(object.text, m_variables, numbers) : object.text;
    case ObjectKind::RichText: {
        const QString plain = object.rich.plainText();
        return object.expandVariables ? expandVariables(plain, m_variables, numbers) : plain;
    }
    case ObjectKind::DataField:
        return m_source.displayText(row, object.column);
    case ObjectKind::CheckBox:
        return {};
    case ObjectKind::Aggregate:
        if (object.aggregate == AggregateKind::Count)
            return QString::number(m_source.rowCount());
        if (object.column < 0)
            return {};
        auto it = m_sums.constFind(object.column);
        if (it == m_sums.cend())
            it = m_sums.insert(object.column, columnSum(m_source, object.column));
        return QString::number(*it, 'g', QLocale::FloatingPointShortest);
    }
    return {};
}

QString ObjectText::runText(const ReportObject &object, const TextRun &run, PageNumbers numbers) const
{
    return object.expandVariables ? expandVariables(run.text, m_variables, numbers) : run.text;
}

bool ObjectText::ticked(const ReportObject &object, int row) const
{
    return object.kind == ObjectKind::CheckBox && isTicked(m_source.value(row, object.column));
}

} // namespace sqda::report
