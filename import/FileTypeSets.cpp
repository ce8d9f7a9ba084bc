#include "FileTypeSets.h"

namespace {

// Creates one member and registers it. The object is never freed: the registry keeps the type
// for the rest of the program, and freeing it at exit would race the registry's own teardown.
FileType* CreateType(const QString& name, const QString& extensions, const QString& macType,
                     const QString& macCreator)
{
    auto* type = new FileType;
    type->SetName(name);
    type->SetExtensions(extensions);
    type->SetMacType(macType);
    type->SetMacCreator(macCreator);
    type->ToText(); // registers it
    return type;
}

} // namespace

namespace FileTypes1 {

FileType* pCsvFile = nullptr;

// A second call keeps the types already registered (tests initialise once per process).
void _Initialize()
{
    if (!pCsvFile)
        pCsvFile = CreateType(QStringLiteral("csv file"), QStringLiteral(".csv"), QString(), QString());
}

QString All() { return QStringLiteral("csv file;"); }

} // namespace FileTypes1

namespace ScanType {

FileType* pJpeg = nullptr;
FileType* pPng = nullptr;
FileType* pImageTiff = nullptr;
FileType* pImagePict = nullptr;
FileType* pImageGif = nullptr;
FileType* pImageXBmp = nullptr;
FileType* pPdf = nullptr;

// Each member is complete before the next, so a failure leaves the earlier ones registered.
void _Initialize()
{
    if (!pJpeg)
        pJpeg = CreateType(QStringLiteral("image/jpeg"), QStringLiteral(".jfif;.jpe;.jpeg;.jpg"),
                           QStringLiteral("JPEG"), QStringLiteral("prvw"));
    if (!pPng)
        pPng = CreateType(QStringLiteral("image/png"), QStringLiteral(".png"),
                          QStringLiteral("PNGf"), QStringLiteral("ogle"));
    if (!pImageTiff)
        pImageTiff = CreateType(QStringLiteral("image/tiff"), QStringLiteral(".jfx;.tif;.tiff"),
                                QStringLiteral("TIFF"), QStringLiteral("????"));
    if (!pImagePict)
        pImagePict = CreateType(QStringLiteral("image/pict"), QStringLiteral(".pict;.pic;.pct"),
                                QStringLiteral("PICT"), QStringLiteral("ttxt"));
    if (!pImageGif)
        pImageGif = CreateType(QStringLiteral("image/gif"), QStringLiteral(".gif"),
                               QStringLiteral("GIFf"), QStringLiteral("prvw"));
    if (!pImageXBmp)
        pImageXBmp = CreateType(QStringLiteral("image/x-bmp"), QStringLiteral(".bmp;.dib"),
                                QStringLiteral("BMPf"), QStringLiteral("ogle"));
    if (!pPdf)
        pPdf = CreateType(QStringLiteral("application/pdf"), QStringLiteral(".pdf"),
                          QStringLiteral("PDF "), QStringLiteral("prvw"));
}

} // namespace ScanType
