// Errors raised by the data layer: a conversion that fails, a field that does not
// exist, a dataset used in the wrong state. The message is meant for the user.
#pragma once

#include <QString>

#include <stdexcept>

namespace sqda {

class DataError : public std::runtime_error
{
public:
    explicit DataError(const QString &message)
        : std::runtime_error(message.toStdString())
    {
    }
    QString message() const { return QString::fromStdString(what()); }
};

} // namespace sqda
