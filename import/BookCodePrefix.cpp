#include "BookCodePrefix.h"

#include <array>
#include <utility>

#include "BookTable.h"
#include "Text.h"

QString BookCodeOfPrefix(const QString& text)
{
    // Tried in this order.
    static const std::array<std::pair<QString, QString>, 5> prefixes = {{
        {QStringLiteral("do"), BookCode::Documents},
        {QStringLiteral("in"), BookCode::Invoices},
        {QStringLiteral("re"), BookCode::Receipts},
        {QStringLiteral("wa"), BookCode::Warranty},
        {QStringLiteral("op"), BookCode::Options},
    }};
    const QString prefix = Left(text, 2);
    for (const auto& [start, code] : prefixes)
        if (SameText(prefix, start))
            return code;
    return {};
}
