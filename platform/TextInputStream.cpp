#include "TextInputStream.h"

#include "Exceptions.h"

namespace {

constexpr qint64 ChunkSize = 64 * 1024;

struct ByteOrderMark
{
    QStringConverter::Encoding encoding;
    qsizetype length;
};

// The encoding that a file's first bytes announce; UTF-8 when they announce none.
ByteOrderMark ByteOrderMarkOf(QByteArrayView start)
{
    if (start.startsWith("\xFF\xFE"))
        return {QStringConverter::Utf16LE, 2};
    if (start.startsWith("\xFE\xFF"))
        return {QStringConverter::Utf16BE, 2};
    if (start.startsWith("\xEF\xBB\xBF"))
        return {QStringConverter::Utf8, 3};
    return {QStringConverter::Utf8, 0};
}

// How many of the bytes form whole sequences; the rest begin a sequence that the next bytes end.
qsizetype WholeSequences(QByteArrayView bytes, QStringConverter::Encoding encoding)
{
    if (encoding == QStringConverter::Utf8) {
        // A lead byte among the last three with only continuation bytes after it may be cut.
        for (qsizetype i = bytes.size() - 1; i >= 0 && i >= bytes.size() - 3; --i) {
            const auto byte = static_cast<unsigned char>(bytes[i]);
            if ((byte & 0xC0) != 0x80)
                return byte >= 0xC0 ? i : bytes.size();
        }
        return bytes.size();
    }
    // UTF-16: whole units, and a surrogate pair is not parted.
    qsizetype whole = bytes.size() & ~qsizetype(1);
    if (whole >= 2) {
        const auto high = static_cast<unsigned char>(bytes[encoding == QStringConverter::Utf16LE ? whole - 1 : whole - 2]);
        if ((high & 0xFC) == 0xD8)
            whole -= 2;
    }
    return whole;
}

} // namespace

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
    QByteArray bytes = mFile.read(ChunkSize);
    if (bytes.isEmpty()) {
        if (mFile.error() != QFileDevice::NoError)
            throw IOException(QStringLiteral("The file \"%1\" cannot be read: %2").arg(mPath, mFile.errorString()));
        mFileDone = true;
        mBuffer += mDecoder(mCarry); // a sequence the end of the file cut off reads as U+FFFD
        mCarry.clear();
        return false;
    }
    if (!mStarted) {
        mStarted = true;
        const ByteOrderMark mark = ByteOrderMarkOf(bytes);
        mEncoding = mark.encoding;
        // The mark is dropped here, so the decoder keeps a U+FEFF that starts a later chunk.
        mDecoder = QStringDecoder(mEncoding, QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
        bytes.remove(0, mark.length);
    }
    bytes.prepend(mCarry);
    const qsizetype whole = WholeSequences(bytes, mEncoding);
    mCarry = bytes.mid(whole);
    mBuffer += mDecoder(QByteArrayView(bytes).first(whole));
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
