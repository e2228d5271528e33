// The one way a Core-layer operation reports failure: it returns a Result that holds
// either its value or an error text meant for the user. Callers test it, then read
// value() or error(); nothing below the widgets shows a message or throws for this.
//
//     Result<int> parseLevel(QStringView text);
//     if (auto level = parseLevel(t); !level) return Error{level.error()};
//     else use(*level);
//
// Exceptions stay for the host boundary (a host call that throws) and the dataset's
// cursor-style API (DataError); every user action runs under the guard that shows them.
#pragma once

#include <QString>

#include <utility>
#include <variant>

namespace sqda {

// The failure side of a Result: a message for the user.
struct Error
{
    QString text;
};

template<typename T> class [[nodiscard]] Result
{
public:
    Result(T value)
        : m_v(std::in_place_index<0>, std::move(value))
    {
    }
    Result(Error error)
        : m_v(std::in_place_index<1>, std::move(error))
    {
    }

    bool ok() const { return m_v.index() == 0; }
    explicit operator bool() const { return ok(); }

    const T &value() const & { return std::get<0>(m_v); }
    T &value() & { return std::get<0>(m_v); }
    T &&value() && { return std::get<0>(std::move(m_v)); }
    const T &operator*() const & { return value(); }
    T &operator*() & { return value(); }
    const T *operator->() const { return &value(); }
    T *operator->() { return &value(); }

    // Empty when ok().
    QString error() const { return ok() ? QString() : std::get<1>(m_v).text; }

private:
    std::variant<T, Error> m_v;
};

// For operations that produce nothing but may fail: `return Status();` is success.
template<> class [[nodiscard]] Result<void>
{
public:
    Result() = default;
    Result(Error error)
        : m_failed(true)
        , m_error(std::move(error.text))
    {
    }

    bool ok() const { return !m_failed; }
    explicit operator bool() const { return ok(); }
    QString error() const { return m_error; }

private:
    bool m_failed = false;
    QString m_error;
};

using Status = Result<void>;

} // namespace sqda
