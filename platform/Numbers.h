#pragma once

#include <QString>

// Leading number of a text with "." as the decimal point (blanks before it allowed); 0 when none.
double Val(const QString& text);
// A number written in the user's locale, group separators allowed; 0 when none.
double CDbl(const QString& text);
// Plain decimal digits with "." and no group separators: the shortest text that reads back
// exactly (120, 7.5, -0.25). Val reads it back.
QString Str(double value);
// Number with a pattern. Supported: "#" (rounded whole number, plain digits) and patterns such as
// "-###,###.00" (locale group separators when the pattern holds ",", as many decimals as follow
// the "."). The text reads back through CDbl.
QString Format(double value, const QString& pattern);
