#include "TextInputStream.h"

#include "Exceptions.h"

namespace {
constexpr qint64 ChunkSize = 64 * 1024;
}

TextInputStream::TextInputStream(const FolderItem& file) : mPath(file.AbsolutePath()), mFile(file.AbsolutePath()) {}

std::unique_ptr<TextInputStream> TextInputStream::Open(const FolderItem& file)
{
    if (file.IsNull())
        throw IOException(QStringLiteral("No file was given to read."));
    std::unique_ptr<TextInputStream> stream(new TextInputStream(file));
    if (file.Directory() || !stream->mFile.open(QIODevice::ReadOnly))
        throw IOException(QStringLiteral("The file \"%1\" cannot be opened: %2")
                              .arg(file.AbsolutePath(), file.Directory() ? QStringLiteral("it is a folder") : stream->mFile.errorString()));
    return stream;
}

// Appends the next chunk of the file to the buffer; false when nothing more can come.
bool TextInputStream::FillBuffer()
{
    if (mFileDone)
        return false;
    if (mPosition > 0) {
        mBuffer.remove(0, mPosition);
        mPosition = 0;
    }
    const QByteArray bytes = mFile.read(ChunkSize);
    if (bytes.isEmpty()) {
        if (mFile.error() != QFileDevice::NoError)
            throw IOException(QStringLiteral("The file \"%1\" cannot be read: %2").arg(mPath, mFile.errorString()));
        mFileDone = true;
        mBuffer += mDecoder(QByteArray());
        return false;
    }
    mBuffer += mDecoder(bytes);
    return true;
}

// The LF of a CR LF pair that ended the last line, once the next character is at hand.
void TextInputStream::SkipPendingLineFeed()
{
    if (mSkipLineFeed && mPosition < mBuffer.size()) {
        if (mBuffer[mPosition] == u'\n')
            ++mPosition;
        mSkipLineFeed = false;
    }
}

QString TextInputStream::ReadLine()
{
    // How far past mPosition the buffer has been searched: a line longer than a chunk is
    // searched once, not again from its start after every chunk.
    qsizetype searched = 0;
    for (;;) {
        SkipPendingLineFeed();
        for (qsizetype i = mPosition + searched; i < mBuffer.size(); ++i) {
            const QChar c = mBuffer[i];
            if (c == u'\n' || c == u'\r') {
                QString line = mBuffer.mid(mPosition, i - mPosition);
                mPosition = i + 1;
                mSkipLineFeed = (c == u'\r');
                return line;
            }
        }
        searched = mBuffer.size() - mPosition;
        if (!FillBuffer()) {
            QString line = mBuffer.mid(mPosition);
            mPosition = mBuffer.size();
            mSkipLineFeed = false;
            return line;
        }
    }
}

bool TextInputStream::EndOfFile()
{
    for (;;) {
        SkipPendingLineFeed();
        if (mPosition < mBuffer.size())
            return false;
        if (!FillBuffer() && mPosition >= mBuffer.size())
            return true;
    }
}

void TextInputStream::Close() { mFile.close(); }
