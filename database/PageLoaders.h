#pragma once

#include <QByteArray>
#include <QSize>
#include <QString>
#include <optional>

#include "Picture.h"

// What the item writer stores for each page of an item: the page file's bytes (Scan.Image) and a
// reduced JPEG picture of it (Scan.Preview).
//
// Two layers:
//  - ReadPageFile and MakePreview are pure: they show nothing, keep no state and may run on any
//    thread (PreviewPipeline makes previews ahead on worker threads).
//  - SubOpenScan and SubOpenScanPreview are calls for the main thread; the preview call shows
//    "Error creating preview!" through MsgBox when a preview fails.

// The box a preview fits in, in pixels, and its JPEG quality.
inline const QSize PreviewBox(380, 520);
inline constexpr int PreviewQuality = 100;

// The largest page file the byte loader reads by default: SQLite's default largest blob. The
// writer passes its database's LengthLimit(), so a file that could never be stored is refused
// before anything of it is read into memory.
inline constexpr long long DefaultPageByteLimit = 1000000000;

// The bytes of a page file, or why they could not be read.
struct PageFileBytes
{
    QByteArray bytes;  // the whole file, unchanged; empty when error is set (or the file is empty)
    QString error;     // empty on success; otherwise one sentence naming the file

    bool Failed() const { return !error.isEmpty(); }
};

// Reads a page file whole. Fails, with a message naming the file, when path is empty or not an
// absolute path, does not name a readable regular file, or the file is larger than byteLimit.
// Never throws.
PageFileBytes ReadPageFile(const QString& path, long long byteLimit = DefaultPageByteLimit);

// The JPEG preview of a page file: the picture (or a PDF's first page) fitted in PreviewBox, never
// enlarged, 32 bits per pixel with transparency on white, at PreviewQuality. nullopt when the file
// cannot be decoded (missing, empty path, unknown format such as PICT, broken, absurdly large).
// Never throws.
std::optional<QByteArray> MakePreview(const QString& path);

// The native path of the page file that path names; empty when path cannot name one (empty or
// not absolute).
QString PageFileNativePath(const QString& path);

// The JPEG preview of a picture opened for PreviewBox, as MakePreview describes it; nullopt when
// it cannot be decoded. Never throws.
std::optional<QByteArray> PreviewOf(PictureFitter& picture);

// The text shown when a preview cannot be made.
QString PreviewErrorText();

// Main thread. The page file's bytes, or empty bytes when they cannot be read; shows nothing.
// Pass error to tell an empty file (error left empty) from a failure (error set to
// ReadPageFile's message; the writer reports "Error: " + *error). Never throws.
QByteArray SubOpenScan(const QString& path, QString* error = nullptr, long long byteLimit = DefaultPageByteLimit);

// Main thread. The JPEG preview of a page file; when none can be made, shows the message box
// "Error creating preview!" once and returns empty bytes.
QByteArray SubOpenScanPreview(const QString& path);

