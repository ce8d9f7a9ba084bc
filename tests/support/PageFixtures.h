#pragma once

#include <QByteArray>
#include <QSize>
#include <QString>

// Page files made by the tests themselves: pictures in the formats that Qt writes (the picture
// holds a gradient and a few shapes, so that its encoding is not trivially small) and one-page
// PDF files with text. Each returns the absolute path of the new file, or the empty text after
// adding a test failure.

// format: "JPEG", "PNG", "TIFF", "BMP", ... as QImageWriter names it.
QString WritePicturePage(const QString& folder, const QString& fileName, const QSize& size,
                         const char* format, int quality = -1);
// An A4 page with a heading and some lines of text.
QString WritePdfPage(const QString& folder, const QString& fileName, const QString& heading);
// Any bytes (an empty file, a file that is no picture).
QString WriteBytes(const QString& folder, const QString& fileName, const QByteArray& bytes);
// The same at an absolute path, in a folder that exists.
QString WriteBytes(const QString& path, const QByteArray& bytes);
// The whole contents of a file; "<unreadable>" when it cannot be read.
QByteArray FileContents(const QString& path);
