#pragma once
// Every failure of the store is an exception carrying a message that a user
// (or a support person) can act on: which file, which column, where in the
// statement text the parser stopped.
#include <QString>
#include <stdexcept>

namespace store {

class Error : public std::runtime_error {
public:
    explicit Error(const QString &message)
        : std::runtime_error(message.toStdString()), m_message(message) {}
    const QString &message() const { return m_message; }

private:
    QString m_message;
};

} // namespace store
