// A failed step of a data-service operation. Its lines become the error value
// the caller receives (an array of texts, one line each).
#pragma once

#include <QSqlError>
#include <QStringList>

#include <stdexcept>

namespace kalmora {

class SqlFailure : public std::runtime_error
{
public:
    explicit SqlFailure(QStringList lines)
        : std::runtime_error(lines.join(u'\n').toStdString())
        , m_lines(std::move(lines))
    {
    }
    // The user's summary first, then what the database said.
    SqlFailure(const QString &summary, const QSqlError &error)
        : SqlFailure(QStringList { summary, databaseText(error) })
    {
        m_nativeCode = error.nativeErrorCode();
    }

    QStringList lines() const { return m_lines; }
    // The engine's own code of the error (SQLSTATE for PostgreSQL), if any.
    QString nativeErrorCode() const { return m_nativeCode; }

    static QString databaseText(const QSqlError &e)
    {
        QString t = e.databaseText().trimmed();
        if (t.isEmpty())
            t = e.text().trimmed();
        return QStringLiteral("数据库的消息：%1").arg(t);
    }

private:
    QStringList m_lines;
    QString m_nativeCode;
};

} // namespace kalmora
