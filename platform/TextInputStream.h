#pragma once

#include <QFile>
#include <QString>
#include <QStringDecoder>

#include "FolderItem.h"

// Reads a UTF-8 text file line by line; CR, LF and CR LF each end a line. Memory stays bounded by
// the longest line. Raises IOException naming the file when it cannot be opened or read. A file
// that starts with a UTF-16 byte order mark (little or big endian) is read as UTF-16; the byte
// order mark is dropped. Invalid bytes, and a sequence cut off by the end of the file, read as
// U+FFFD.
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
    // Only ever given whole sequences, so it keeps no state between chunks: Qt's decoder loses
    // the byte after a sequence that a chunk cut off.
    QStringConverter::Encoding mEncoding = QStringConverter::Utf8;
    QStringDecoder mDecoder{QStringConverter::Utf8, QStringDecoder::Flag::Stateless};
    // The start of a sequence that the last chunk cut off, decoded with the next chunk.
    QByteArray mCarry;
    bool mStarted = false;
    QString mBuffer;
    qsizetype mPosition = 0;
    bool mFileDone = false;
    bool mSkipLineFeed = false;
};
