#pragma once

#include <QString>
#include <functional>

// The system's answer to a four-letter selector ("sys1": major version, "sys2": minor version of
// macOS). Returns true and fills result when the system answers it. Linux answers no selector.
bool Gestalt(const QString& selector, qint64& result);

// Replaces the system's answers for the life of a scope, so the rules built on them can be tried.
class ScopedGestalt
{
public:
    using Answer = std::function<bool(const QString& selector, qint64& result)>;
    explicit ScopedGestalt(Answer answer);
    ~ScopedGestalt();
    ScopedGestalt(const ScopedGestalt&) = delete;
    ScopedGestalt& operator=(const ScopedGestalt&) = delete;

private:
    Answer mPrevious;
};
