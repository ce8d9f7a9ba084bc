#include <gtest/gtest.h>

#include "SearchKey.h"

namespace {

struct FoldCase
{
    const char* input;  // UTF-8
    const char* folded; // UTF-8
};

// Lower-casing first, then the folding rules in their fixed order: pairs before single letters,
// the apostrophe U+0027 and the combining diaeresis removed, everything else kept.
TEST(SearchKeyTest, FoldsAsTheHostApplicationSearches)
{
    const FoldCase cases[] = {
        {"M\u00FCller", "muller"},
        {"M\u00DCLLER", "muller"},
        {"Mueller", "muller"},
        {"Muller", "muller"},
        {"Mu\u0308ller", "muller"},                 // decomposed u + combining diaeresis
        {"Michael", "michal"},                      // pairs fold wherever they occur
        {"Queue", "quu"},
        {"No\u00EBl", "noel"},                      // the pair only forms after the pair rules ran
        {"Noel", "nol"},
        {"L'Or\u00E9al", "loreal"},
        {"qu'elle", "quelle"},                      // the apostrophe goes after the pairs were folded
        {"L\u2019Or\u00E9al", "l\u2019oreal"},      // only U+0027 is an apostrophe here
        {"\u00C6r\u00F8", "ar\u00F8"},              // slashed o is not folded
        {"\u0152uvre \u00C0 \u00C2 \u00C5 \u00C4 \u00C7", "ouvre a a a a c"},
        {"\u00C9\u00C8\u00CA\u00CB \u00CE\u00CF\u00CC \u00D1 \u00D6\u00D4\u00D5 \u00DC\u00DB\u00D9 \u0178",
         "eeee iii n ooo uuu y"},
        {"\u00E1\u00ED\u00F3\u00FA\u00FD\u00E3\u00DF", "\u00E1\u00ED\u00F3\u00FA\u00FD\u00E3\u00DF"},
        {"Auto|Garage M\u00FCller|R-17|2015-11-20|120|EUR|", "auto|garage muller|r-17|2015-11-20|120|eur|"},
        {"", ""},
        {"||", "||"},
        {"||||||", "||||||"},
    };
    for (const FoldCase& c : cases)
        EXPECT_EQ(SubStringReplace(QString::fromUtf8(c.input)), QString::fromUtf8(c.folded)) << c.input;
}

} // namespace
