#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <vector>

#include "FileTypeSets.h"
#include "FolderItem.h"

namespace {

class FileTypeSets : public testing::Test
{
protected:
    // Start-up order; a second call must change nothing (every suite of the process may call it).
    static void SetUpTestSuite()
    {
        FileTypes1::_Initialize();
        ScanType::_Initialize();
    }
};

struct MemberCase
{
    FileType* const* member;
    QString name, extensions, macType, macCreator;
};

} // namespace

TEST_F(FileTypeSets, MembersHoldTheirExactValuesAndAreRegistered)
{
    const std::vector<MemberCase> members = {
        {&FileTypes1::pCsvFile, "csv file", ".csv", "", ""},
        {&ScanType::pJpeg, "image/jpeg", ".jfif;.jpe;.jpeg;.jpg", "JPEG", "prvw"},
        {&ScanType::pPng, "image/png", ".png", "PNGf", "ogle"},
        {&ScanType::pImageTiff, "image/tiff", ".jfx;.tif;.tiff", "TIFF", "????"},
        {&ScanType::pImagePict, "image/pict", ".pict;.pic;.pct", "PICT", "ttxt"},
        {&ScanType::pImageGif, "image/gif", ".gif", "GIFf", "prvw"},
        {&ScanType::pImageXBmp, "image/x-bmp", ".bmp;.dib", "BMPf", "ogle"},
        {&ScanType::pPdf, "application/pdf", ".pdf", "PDF ", "prvw"},
    };
    for (const MemberCase& c : members) {
        SCOPED_TRACE(c.name.toStdString());
        const FileType* type = *c.member;
        ASSERT_NE(type, nullptr);
        EXPECT_EQ(type->Name(), c.name);
        EXPECT_EQ(type->Extensions(), c.extensions);
        EXPECT_EQ(type->MacType(), c.macType);
        EXPECT_EQ(type->MacCreator(), c.macCreator);
        EXPECT_TRUE(type->UTI().isEmpty());
        EXPECT_TRUE(type->Registered());
        EXPECT_EQ(FileType::ExtensionsForName(c.name), c.extensions.split(';'));
    }
}

TEST_F(FileTypeSets, SecondInitialisationKeepsTheRegisteredMembers)
{
    const FileType* csv = FileTypes1::pCsvFile;
    const FileType* pdf = ScanType::pPdf;
    FileTypes1::_Initialize();
    ScanType::_Initialize();
    EXPECT_EQ(FileTypes1::pCsvFile, csv);
    EXPECT_EQ(ScanType::pPdf, pdf);
    EXPECT_EQ(FileType::NameForExtension(".pdf"), "application/pdf");
}

TEST_F(FileTypeSets, FilesReportTheTypeOfTheirExtension)
{
    const std::vector<std::pair<QString, QString>> files = {
        {"a.jfif", "image/jpeg"}, {"a.jpe", "image/jpeg"}, {"a.jpeg", "image/jpeg"}, {"a.jpg", "image/jpeg"},
        {"A.JPG", "image/jpeg"}, {"a.Jpeg", "image/jpeg"},
        {"a.png", "image/png"}, {"A.PNG", "image/png"},
        {"a.jfx", "image/tiff"}, {"a.tif", "image/tiff"}, {"a.tiff", "image/tiff"}, {"A.TIF", "image/tiff"},
        {"a.pict", "image/pict"}, {"a.pic", "image/pict"}, {"a.pct", "image/pict"}, {"A.PCT", "image/pict"},
        {"a.gif", "image/gif"}, {"A.GIF", "image/gif"},
        {"a.bmp", "image/x-bmp"}, {"a.dib", "image/x-bmp"}, {"A.BMP", "image/x-bmp"},
        {"a.pdf", "application/pdf"}, {"scan.PDF", "application/pdf"}, {"x.y.pdf", "application/pdf"},
        {"list.csv", "csv file"}, {"LIST.CSV", "csv file"},
        {"notes.txt", ""}, {"noextension", ""}, {"a.pdf.bak", ""},
    };
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const FolderItem folder(dir.path());
    for (const auto& [name, type] : files) {
        SCOPED_TRACE(name.toStdString());
        EXPECT_EQ(folder.Child(name).Type(), type);
    }
}

TEST_F(FileTypeSets, OpenDialogFilterIsTheCsvTypeWithItsSemicolon)
{
    EXPECT_EQ(FileTypes1::All(), "csv file;");
}
