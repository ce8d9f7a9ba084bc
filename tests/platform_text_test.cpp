#include <gtest/gtest.h>

#include "Text.h"

TEST(Text, ComparisonsIgnoreLetterCase)
{
    EXPECT_TRUE(SameText("Error", "ERROR"));
    EXPECT_FALSE(SameText("Error", "Errors"));
    EXPECT_TRUE(StartsWithText("Invoices", "in"));
    EXPECT_TRUE(EndsWithText("scan.PDF", ".pdf"));
    EXPECT_EQ(InStr("Books.VELLUMIXDB", ".vellumixdb"), 6);
    EXPECT_EQ(InStr("abc", "x"), 0);
    EXPECT_EQ(InStr("abc", ""), 0);
}

TEST(Text, FieldsCountEmptyPieces)
{
    struct Case { const char* text; const char* separator; int count; int n; const char* piece; };
    const Case cases[] = {
        {"", ";", 1, 1, ""},
        {"a;b;c", ";", 3, 2, "b"},
        {"a;b;", ";", 3, 3, ""},
        {";;", ";", 3, 2, ""},
        {"a;b", ";", 2, 3, ""},
        {"a;b", ";", 2, 0, ""},
        {"a::b", "::", 2, 2, "b"},
        {"one", ",", 1, 1, "one"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(CountFields(c.text, c.separator), c.count);
        EXPECT_EQ(NthField(c.text, c.separator, c.n), QString(c.piece));
    }
}

TEST(Text, ReplaceAllIsOnePassLeftToRight)
{
    EXPECT_EQ(ReplaceAll("aaa", "aa", "a"), "aa");
    EXPECT_EQ(ReplaceAll("queue", "ue", "u"), "quu");
    EXPECT_EQ(ReplaceAll("abc", "", "x"), "abc");
    const QByteArray decomposed = QString::fromUtf8("mu\xCC\x88ller").toUtf8();
    EXPECT_EQ(ReplaceAllB(decomposed, "\xCC\x88", ""), QByteArray("muller"));
}

TEST(Text, PiecesCountCharacters)
{
    const QString text = QString::fromUtf8("Müller");
    EXPECT_EQ(Len(text), 6);
    EXPECT_EQ(Left(text, 2), QString::fromUtf8("Mü"));
    EXPECT_EQ(Right(text, 3), "ler");
    EXPECT_EQ(Left(text, -1), "");
    EXPECT_EQ(Right(text, 99), text);
    EXPECT_EQ(Trim("  a b \t"), "a b");
    EXPECT_EQ(Chr(2).at(0).unicode(), 2);
}
