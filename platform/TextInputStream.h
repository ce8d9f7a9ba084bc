#pragma once

#include <QFile>
#include <QString>
#include <QStringDecoder>

#include "FolderItem.h"

// Reads a UTF-8 text file line by line; CR, LF and CR LF each end a line. Memory stays bounded by
// the longest line. Raises IOException naming the file when it cannot be opened or read. A UTF-8
// byte order mark is dropped; invalid bytes read as U+FFFD.
class TextInputStream
{
public:
    static std::unique_ptr<TextInputStream> Open(const FolderItem& file);

    // The next line without its terminator; the empty text at the end of the file.
    QString ReadLine();
    // True once every line has been read (the "EOF" test of a read loop).
    bool EndOfFile();
    void Close();

private:
    explicit TextInputStream(const FolderItem& file);
    bool FillBuffer();
    void SkipPendingLineFeed();

    QString mPath;
    QFile mFile;
    QStringDecoder mDecoder{QStringDecoder::Utf8};
    QString mBuffer;
    qsizetype mPosition = 0;
    bool mFileDone = false;
    bool mSkipLineFeed = false;
};
