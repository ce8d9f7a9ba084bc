#pragma once

#include <QString>
#include <utility>
#include <vector>

// The five book codes.
namespace BookCode {
inline const QString Invoices = QStringLiteral("IN");
inline const QString Receipts = QStringLiteral("RE");
inline const QString Warranty = QStringLiteral("WA");
inline const QString Documents = QStringLiteral("DO");
inline const QString Options = QStringLiteral("US");
}

// Var_Book: book code to book display name, in the order the codes were inserted. Codes compare
// with letter case ignored, as every text key of the program does.
class BookTable
{
public:
    // "IN" "Invoices", "RE" "Receipts", "WA" "Warranty", "DO" "Documents", "US" "Options".
    static BookTable WithDefaults();

    bool HasKey(const QString& code) const;
    // The display name of code; the empty text for an unknown code.
    QString Value(const QString& code) const;
    // Replaces the name of a code already present, or appends the code.
    void SetValue(const QString& code, const QString& name);
    int Count() const { return static_cast<int>(mEntries.size()); }
    const std::vector<std::pair<QString, QString>>& Entries() const { return mEntries; }

private:
    std::vector<std::pair<QString, QString>> mEntries;
};
