#include "SearchKey.h"

#include <QByteArray>
#include <array>
#include <utility>

#include "Text.h"

namespace {

// Applied in this order, each to the result of the one before: the host application folds its
// search input the same way, so the order (pairs before single letters) is part of the format.
const std::array<std::pair<QString, QString>, 26>& CharacterRules()
{
    static const std::array<std::pair<QString, QString>, 26> rules = {{
        {QStringLiteral("ae"), QStringLiteral("a")},
        {QStringLiteral("oe"), QStringLiteral("o")},
        {QStringLiteral("ue"), QStringLiteral("u")},
        {QString(QChar(0x00E6)), QStringLiteral("a")},
        {QString(QChar(0x0153)), QStringLiteral("o")},
        {QString(QChar(0x00E0)), QStringLiteral("a")},
        {QString(QChar(0x00E2)), QStringLiteral("a")},
        {QString(QChar(0x00E5)), QStringLiteral("a")},
        {QString(QChar(0x00E4)), QStringLiteral("a")},
        {QString(QChar(0x00E7)), QStringLiteral("c")},
        {QString(QChar(0x00E9)), QStringLiteral("e")},
        {QString(QChar(0x00E8)), QStringLiteral("e")},
        {QString(QChar(0x00EA)), QStringLiteral("e")},
        {QString(QChar(0x00EB)), QStringLiteral("e")},
        {QString(QChar(0x00EE)), QStringLiteral("i")},
        {QString(QChar(0x00EF)), QStringLiteral("i")},
        {QString(QChar(0x00EC)), QStringLiteral("i")},
        {QString(QChar(0x00F1)), QStringLiteral("n")},
        {QString(QChar(0x00F6)), QStringLiteral("o")},
        {QString(QChar(0x00F4)), QStringLiteral("o")},
        {QString(QChar(0x00F5)), QStringLiteral("o")},
        {QString(QChar(0x00FC)), QStringLiteral("u")},
        {QString(QChar(0x00FB)), QStringLiteral("u")},
        {QString(QChar(0x00F9)), QStringLiteral("u")},
        {QString(QChar(0x00FF)), QStringLiteral("y")},
        {QStringLiteral("'"), QString()},
    }};
    return rules;
}

} // namespace

QString SubStringReplace(const QString& text)
{
    QString folded = Lowercase(text);
    for (const auto& [find, replacement] : CharacterRules())
        folded = ReplaceAll(folded, find, replacement);

    // The combining diaeresis (U+0308) is removed on the UTF-8 bytes, so a decomposed "u" plus
    // diaeresis folds like the precomposed letter.
    static const QByteArray combiningDiaeresis("\xCC\x88");
    return QString::fromUtf8(ReplaceAllB(folded.toUtf8(), combiningDiaeresis, QByteArray()));
}
