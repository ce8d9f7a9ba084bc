#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTemporaryDir>

#include "Exceptions.h"
#include "FileType.h"
#include "FolderItem.h"
#include "PageFixtures.h"
#include "TextInputStream.h"

namespace {

QStringList ReadLines(const QString& path)
{
    auto stream = TextInputStream::Open(FolderItem(path));
    QStringList lines;
    do {
        lines << stream->ReadLine();
    } while (!stream->EndOfFile());
    return lines;
}

} // namespace

TEST(FolderItem, NavigatesAndRefusesBadNames)
{
    QTemporaryDir dir;
    const FolderItem root(dir.path());
    EXPECT_TRUE(root.Exists());
    EXPECT_TRUE(root.Directory());
    const FolderItem child = root.Child("a b.pdf");
    EXPECT_EQ(child.Name(), "a b.pdf");
    EXPECT_FALSE(child.Exists());
    EXPECT_EQ(child.Parent(), root);
    EXPECT_FALSE(FolderItem("/").Parent());
    for (const QString& bad : {QString(), QString("."), QString(".."), QString("a/b"), QString("a") + QChar(0)})
        EXPECT_THROW(root.Child(bad), UnsupportedFormatException) << bad.toStdString();

    EXPECT_FALSE(GetFolderItem("", 0));
    EXPECT_FALSE(GetFolderItem("relative/path", 1));
    EXPECT_EQ(GetFolderItem(dir.path() + "//x/../y", 0).AbsolutePath(), dir.path() + "/y");
    EXPECT_THROW(GetFolderItem(QString("/a") + QChar(0), 0), UnsupportedFormatException);
}

TEST(FolderItem, ListsInFileManagerOrder)
{
    QTemporaryDir dir;
    for (const char* name : {"file10.pdf", "file2.pdf", "File1.pdf", "b", "A", ".hidden", "file02b.pdf"})
        WriteBytes(dir.path() + "/" + name, "x");
    const FolderItem root(dir.path());
    QStringList names;
    for (int i = 1; i <= root.Count(); ++i)
        names << root.Item(i).Name();
    EXPECT_EQ(names, QStringList({".hidden", "A", "b", "File1.pdf", "file2.pdf", "file02b.pdf", "file10.pdf"}));
    EXPECT_FALSE(root.Item(0));
    EXPECT_FALSE(root.Item(root.Count() + 1));
    EXPECT_THROW(root.Child("missing").Count(), IOException);
}

TEST(FolderItem, TypeFollowsTheRegisteredExtensions)
{
    FileType type;
    type.SetName("test/probe");
    type.SetExtensions(".prb;.probe");
    EXPECT_EQ(FolderItem("/x/a.PRB").Type(), "");
    EXPECT_EQ(type.ToText(), "test/probe");
    EXPECT_TRUE(type.Registered());
    EXPECT_EQ(FolderItem("/x/a.PRB").Type(), "test/probe");
    EXPECT_EQ(FolderItem("/x/a.probe").Type(), "test/probe");
    EXPECT_EQ(FolderItem("/x/probe").Type(), "");
    type.SetExtensions(".other");    // withdraws the registration
    EXPECT_FALSE(type.Registered());
    EXPECT_EQ(FolderItem("/x/a.prb").Type(), "");
}

TEST(FolderItem, ReadsFilesWhole)
{
    QTemporaryDir dir;
    QByteArray all;
    for (int i = 0; i < 256; ++i)
        all.append(static_cast<char>(i));
    WriteBytes(dir.path() + "/all.bin", all);
    WriteBytes(dir.path() + "/empty.bin", "");
    EXPECT_EQ(ReadAllBytes(FolderItem(dir.path() + "/all.bin")), all);
    EXPECT_EQ(ReadAllBytes(FolderItem(dir.path() + "/empty.bin")), QByteArray());
    EXPECT_THROW(ReadAllBytes(FolderItem(dir.path() + "/missing")), IOException);
    EXPECT_THROW(ReadAllBytes(FolderItem(dir.path())), IOException);
}

TEST(TextInputStream, EveryLineEndingEndsALine)
{
    QTemporaryDir dir;
    struct Case { QByteArray bytes; QStringList lines; };
    const Case cases[] = {
        {"", {""}},
        {"a", {"a"}},
        {"a\n", {"a"}},
        {"a\r\nb\rc\nd", {"a", "b", "c", "d"}},
        {"a\n\nb\r\n\r\n", {"a", "", "b", ""}},
        {"\xEF\xBB\xBFM\xC3\xBCller\n", {QString::fromUtf8("Müller")}},
    };
    for (const Case& c : cases) {
        WriteBytes(dir.path() + "/t.csv", c.bytes);
        EXPECT_EQ(ReadLines(dir.path() + "/t.csv"), c.lines) << c.bytes.toStdString();
    }
    // A CR LF pair split across the read buffer is still one line end.
    QByteArray big(64 * 1024 - 1, 'x');
    big += "\r\nlast";
    WriteBytes(dir.path() + "/big.csv", big);
    const QStringList lines = ReadLines(dir.path() + "/big.csv");
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[1], "last");
    // Lines longer than the read buffer, one ending right after a buffer's end, keep every line end.
    const QByteArray longA(200 * 1024 + 7, 'a'), longB(64 * 1024, 'b');
    WriteBytes(dir.path() + "/long.csv", longA + "\n" + longB + "\r\n\rz");
    EXPECT_EQ(ReadLines(dir.path() + "/long.csv"),
              (QStringList{QString::fromLatin1(longA), QString::fromLatin1(longB), "", "z"}));

    EXPECT_THROW(TextInputStream::Open(FolderItem(dir.path() + "/missing.csv")), IOException);
    EXPECT_THROW(TextInputStream::Open(FolderItem(dir.path())), IOException);
}

// Whatever falls on the edge of a read chunk, a file reads back as the lines of the whole file
// decoded at once: valid and invalid sequences, a sequence cut off at the end of the file (one
// U+FFFD per byte), and UTF-16 files announced by their byte-order mark.
TEST(TextInputStream, ChunkEdgesLoseNothing)
{
    constexpr qsizetype Chunk = 64 * 1024;
    using Encoding = QStringConverter::Encoding;
    struct Case { const char* name; Encoding encoding; QByteArray bom, sequence; };
    const Case cases[] = {
        {"Latin-1 e acute", Encoding::Utf8, "", "\xE9"},
        {"two bytes", Encoding::Utf8, "", "\xC3\xA9"},
        {"three bytes after a BOM", Encoding::Utf8, "\xEF\xBB\xBF", "\xE2\x82\xAC"},
        {"four bytes", Encoding::Utf8, "", "\xF0\x9F\x98\x80"},
        {"three bytes cut", Encoding::Utf8, "", "\xE2\x82"},
        {"four bytes cut", Encoding::Utf8, "", "\xF0\x9F\x98"},
        {"stray continuations", Encoding::Utf8, "", "\x80\x80"},
        {"overlong", Encoding::Utf8, "", "\xE0\x80\xAF"},
        {"UTF-16LE surrogate pair", Encoding::Utf16LE, "\xFF\xFE", QByteArray("\x3D\xD8\x00\xDE", 4)},
        {"UTF-16BE e acute, surrogate pair", Encoding::Utf16BE, "\xFE\xFF", QByteArray("\x00\xE9\xD8\x3D\xDE\x00", 6)},
    };
    QTemporaryDir dir;
    const QString path = dir.path() + "/edge.csv";
    for (const Case& c : cases) {
        QStringEncoder encode(c.encoding);
        const int unit = c.encoding == Encoding::Utf8 ? 1 : 2;
        for (qsizetype start = Chunk - 6; start <= Chunk + 1; start += unit) {
            SCOPED_TRACE(std::string(c.name) + " at " + std::to_string(start));
            const QByteArray text = encode(QString((start - c.bom.size()) / unit, u'x')) + c.sequence
                                    + encode(QStringLiteral("\ny\r\nz")) + c.sequence;
            WriteBytes(path, c.bom + text);
            const QString whole = QStringDecoder(c.encoding, QStringDecoder::Flag::Stateless)(text);
            EXPECT_EQ(ReadLines(path), whole.split(QRegularExpression(QStringLiteral("\r\n|\r|\n"))));
        }
    }
}
