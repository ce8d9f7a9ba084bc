#include "BookTable.h"

#include "Text.h"

BookTable BookTable::WithDefaults()
{
    BookTable table;
    table.SetValue(BookCode::Invoices, QStringLiteral("Invoices"));
    table.SetValue(BookCode::Receipts, QStringLiteral("Receipts"));
    table.SetValue(BookCode::Warranty, QStringLiteral("Warranty"));
    table.SetValue(BookCode::Documents, QStringLiteral("Documents"));
    table.SetValue(BookCode::Options, QStringLiteral("Options"));
    return table;
}

bool BookTable::HasKey(const QString& code) const
{
    for (const auto& entry : mEntries)
        if (SameText(entry.first, code))
            return true;
    return false;
}

QString BookTable::Value(const QString& code) const
{
    for (const auto& entry : mEntries)
        if (SameText(entry.first, code))
            return entry.second;
    return {};
}

void BookTable::SetValue(const QString& code, const QString& name)
{
    for (auto& entry : mEntries)
        if (SameText(entry.first, code)) {
            entry.second = name;
            return;
        }
    mEntries.emplace_back(code, name);
}
