#include <gtest/gtest.h>

#include <QStringList>
#include <optional>

#include "CsvRecord.h"

namespace {

struct SplitCase
{
    const char* what;
    QString line;
    // The record's fields as Field reads them; nullopt when the line is not usable.
    std::optional<QStringList> fields;
};

QStringList Fields(const QString& record)
{
    QStringList fields;
    const int count = static_cast<int>(record.count(CsvFieldSeparator)) + 1;
    for (int n = 1; n <= count; ++n)
        fields << Field(record, n);
    return fields;
}

QStringList Padded(QStringList fields, int count = 10)
{
    while (fields.size() < count)
        fields << QString();
    return fields;
}

const QString C1 = QString(QChar(1));
const QString C2 = QString(QChar(2));

} // namespace

TEST(CsvRecord, SplitsLinesIntoFields)
{
    const QStringList tenFields = {"a", "b", "c", "d", "e", "f", "g", "h", "i", "j"};
    const std::vector<SplitCase> cases = {
        {"ten pieces", "a,b,c,d,e,f,g,h,i,j", tenFields},
        {"nine pieces are ignored", "a,b,c,d,e,f,g,h,i", std::nullopt},
        {"empty line is ignored", "", std::nullopt},
        {"pieces after the tenth are kept in the record",
         "a,b,c,d,e,f,g,h,i,j,k,l", QStringList{"a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k", "l"}},
        {"7,5 in quotes", "invoice,\"7,5\",c,d,e,f,g,h,i,j",
         QStringList{"invoice", "7,5", "c", "d", "e", "f", "g", "h", "i", "j"}},
        {"commas inside quotes count as pieces: ten pieces, nine fields",
         "\"x,y\",b,c,d,e,f,g,h,i", QStringList{"x,y", "b", "c", "d", "e", "f", "g", "h", "i"}},
        {"a,b,c in quotes", "\"a,b,c\",2,3,4,5,6,7,8,9,10",
         QStringList{"a,b,c", "2", "3", "4", "5", "6", "7", "8", "9", "10"}},
        {"quoted field without commas loses its quotes", "\"abc\",b,c,d,e,f,g,h,i,j",
         QStringList{"abc", "b", "c", "d", "e", "f", "g", "h", "i", "j"}},
        {"continuation piece starting with a quote", "\"a,\"b\",c,d,e,f,g,h,i,j,k",
         QStringList{"a,b", "c", "d", "e", "f", "g", "h", "i", "j", "k"}},
        {"unquoted piece ending with a quote is a field by itself", "ab\",c,d,e,f,g,h,i,j,k",
         QStringList{"ab", "c", "d", "e", "f", "g", "h", "i", "j", "k"}},
        {"quote in the middle of an unquoted field is removed", "ab\"c,b,c,d,e,f,g,h,i,j",
         QStringList{"abc", "b", "c", "d", "e", "f", "g", "h", "i", "j"}},
        {"doubled quotes inside a quoted field", "\"say \"\"hi\"\", ok\",b,c,d,e,f,g,h,i,j",
         QStringList{"say \"hi\", ok", "b", "c", "d", "e", "f", "g", "h", "i", "j"}},
        {"doubled quotes outside quotes", "a\"\"b,b,c,d,e,f,g,h,i,j",
         QStringList{"a\"b", "b", "c", "d", "e", "f", "g", "h", "i", "j"}},
        {"empty quoted field gives one quote", "\"\",b,c,d,e,f,g,h,i,j",
         QStringList{"\"", "b", "c", "d", "e", "f", "g", "h", "i", "j"}},
        {"unclosed quote takes the rest of the line", "a,b,\"c,d,e,f,g,h,i,j",
         QStringList{"a", "b", "c,d,e,f,g,h,i,j"}},
        {"code 2 in the file splits a field", "a" + C2 + "x,b,c,d,e,f,g,h,i,j",
         QStringList{"a", "x", "b", "c", "d", "e", "f", "g", "h", "i", "j"}},
        {"code 1 in the file becomes a quote", "a" + C1 + "x,b,c,d,e,f,g,h,i,j",
         QStringList{"a\"x", "b", "c", "d", "e", "f", "g", "h", "i", "j"}},
        {"blanks around a quoted value are trimmed", "\"  x  \", y ,c,d,e,f,g,h,i,j",
         QStringList{"x", "y", "c", "d", "e", "f", "g", "h", "i", "j"}},
        {"blank before the opening quote leaves the field unquoted", "a, \"b,c\",d,e,f,g,h,i,j,k",
         QStringList{"a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k"}},
        {"blank after the closing quote keeps the field open", "a,\"b,c\" ,d,e\",f,g,h,i,j,k",
         QStringList{"a", "b,c ,d,e", "f", "g", "h", "i", "j", "k"}},
        {"a lone quote opens and closes a field", "\",b,c,d,e,f,g,h,i,j",
         QStringList{"", "b", "c", "d", "e", "f", "g", "h", "i", "j"}},
    };

    for (const SplitCase& c : cases) {
        SCOPED_TRACE(c.what);
        const std::optional<QString> record = SplitCsvLine(c.line);
        ASSERT_EQ(record.has_value(), c.fields.has_value());
        if (!record)
            continue;
        EXPECT_FALSE(record->contains(QChar(1)));
        EXPECT_EQ(Fields(*record), *c.fields);
        // Fields beyond the last read empty, so a short record behaves as ten fields.
        EXPECT_EQ(Field(*record, 10), Padded(*c.fields).at(9));
    }
}

TEST(CsvRecord, FieldTrimsAndReadsEmptyOutsideTheRecord)
{
    const std::optional<QString> record = SplitCsvLine(" a ,\" b \",c,d,e,f,g,h,i,j");
    ASSERT_TRUE(record);
    // The record keeps the blanks; only Field removes them.
    EXPECT_TRUE(record->startsWith(" a " + C2 + " b " + C2));
    EXPECT_EQ(Field(*record, 1), "a");
    EXPECT_EQ(Field(*record, 2), "b");
    EXPECT_EQ(Field(*record, 10), "j");
    EXPECT_EQ(Field(*record, 11), QString());
    EXPECT_EQ(Field(*record, 0), QString());
    EXPECT_EQ(Field(*record, -1), QString());
    EXPECT_EQ(Field(*record, 1LL << 40), QString());
}
