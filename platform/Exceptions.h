#pragma once

#include <QString>
#include <stdexcept>

// The platform's errors. Every file and format failure is one of these, so a handler can catch
// RuntimeException and show its Message.
class RuntimeException : public std::runtime_error
{
public:
    explicit RuntimeException(const QString& message)
        : std::runtime_error(message.toStdString()), mMessage(message) {}
    const QString& Message() const { return mMessage; }

private:
    QString mMessage;
};

// A name or path that no file reference can be formed for.
class UnsupportedFormatException : public RuntimeException
{
public:
    using RuntimeException::RuntimeException;
};

// A file that cannot be opened, read or listed.
class IOException : public RuntimeException
{
public:
    using RuntimeException::RuntimeException;
};

// Use of an empty object (a null file reference, say).
class NilObjectException : public RuntimeException
{
public:
    using RuntimeException::RuntimeException;
};
