#pragma once
// Every failure of the store is an exception carrying a message that a user
// (or a support person) can act on: which file, which column, where in the
// statement text the parser stopped. Its kind tells callers what went wrong
// without reading the message; the message is only ever shown.
#include <QString>

#include <exception>
#include <new>
#include <stdexcept>

namespace store {

enum class ErrorKind {
    Other,       // none of the below (an error thrown without a kind)
    NotFound,    // a table, file, column or directory that is not there
    CorruptFile, // a file whose bytes are not a valid table
    Syntax,      // a statement or expression that does not parse
    Type,        // a value of the wrong type for a column or an operator
    Range,       // a value that does not fit (width, date, number)
    Io,          // the system refused a read, write, lock or rename
    Busy,        // another program held a file or database for longer than the wait: try again later
    Conflict,    // another program changed the same rows at the same moment: the change can be made again
};

// Whether trying the same thing again a moment later may succeed.
inline bool isTransient(ErrorKind kind) { return kind == ErrorKind::Busy || kind == ErrorKind::Conflict; }

class Error : public std::runtime_error {
public:
    explicit Error(const QString &message) : Error(ErrorKind::Other, message) {}
    Error(ErrorKind kind, const QString &message)
        : std::runtime_error(message.toStdString()), m_kind(kind), m_message(message) {}
    // The same kind with a new message (context added in front, say).
    Error(const Error &cause, const QString &message) : Error(cause.kind(), message) {}

    ErrorKind kind() const { return m_kind; }
    const QString &message() const { return m_message; }

private:
    ErrorKind m_kind;
    QString m_message;
};

// The text shown to the user for any exception a command caught: a store
// error's message, another exception's text, or a general message for
// anything else. Call it inside a catch block (it reads the exception being
// handled); `fallback` is shown for exceptions that carry no text.
inline QString errorText(const std::exception &e)
{
    if (const auto *storeError = dynamic_cast<const Error *>(&e))
        return storeError->message();
    if (dynamic_cast<const std::bad_alloc *>(&e))
        return QStringLiteral("内存不足，操作没有完成，数据未作改动。请关闭其他程序后再试（std::bad_alloc）。");
    const QString text = QString::fromUtf8(e.what());
    // A library's own English text gets a Chinese sentence around it.
    for (QChar c : text)
        if (c.unicode() >= 0x3000)
            return text;
    return text.isEmpty() ? text : QStringLiteral("操作没有完成，系统报告的原因是：%1").arg(text);
}

inline QString errorText(const QString &fallback = QString())
{
    const QString general = fallback.isEmpty() ? QStringLiteral("发生未知错误，操作没有完成。") : fallback;
    try {
        throw;
    } catch (const std::exception &e) {
        const QString text = errorText(e);
        return text.isEmpty() ? general : text;
    } catch (...) {
        return general;
    }
}

// The exception being handled, as the one error shape: a store::Error as it
// is, anything else (std::bad_alloc, a library's own exception) as an Error
// of kind Other with the text errorText gives it. Call it inside a catch
// block.
inline Error currentError(const QString &fallback = QString())
{
    try {
        throw;
    } catch (const Error &e) {
        return e;
    } catch (...) {
        return Error(errorText(fallback));
    }
}

} // namespace store
