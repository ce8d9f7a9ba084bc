#pragma once

#include <QString>

// Folds the joined descriptive fields of an item into the text kept in Item.Search: lower case,
// German transliterations and a fixed list of accented letters folded to plain letters,
// apostrophes and the combining diaeresis removed. A pure function of its argument.
QString SubStringReplace(const QString& text);
