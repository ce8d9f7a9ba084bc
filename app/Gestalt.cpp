#include "Gestalt.h"

namespace {
// Linux has no such system query: it answers no selector.
bool SystemGestalt(const QString&, qint64&) { return false; }

ScopedGestalt::Answer& CurrentAnswer()
{
    static ScopedGestalt::Answer answer = SystemGestalt;
    return answer;
}
}

bool Gestalt(const QString& selector, qint64& result) { return CurrentAnswer()(selector, result); }

ScopedGestalt::ScopedGestalt(Answer answer) : mPrevious(CurrentAnswer())
{
    CurrentAnswer() = std::move(answer);
}

ScopedGestalt::~ScopedGestalt() { CurrentAnswer() = std::move(mPrevious); }
