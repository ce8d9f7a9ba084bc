#pragma once

#include <QString>

// The book code that a CSV type field or a book folder name names by its first two characters:
// "do" Documents, "in" Invoices, "re" Receipts, "wa" Warranty, "op" Options, letter case
// ignored. The empty text for any other start; each reader decides what that means.
QString BookCodeOfPrefix(const QString& text);
