#include "ReducedPicture.h"

#include <algorithm>
#include <cmath>

#include <QTransform>

namespace {

// Floats per target pixel: red, green, blue, area covered.
constexpr int Slots = 4;

} // namespace

ReducedPicture::ReducedPicture(const QSize& source, const QSize& target)
    : mSource(source),
      mTarget(target.boundedTo(source)),
      mColumns(Spans(mSource.width(), mTarget.width())),
      mColumnStarts(size_t(std::max(0, mTarget.width())) + 1, 0),
      mRows(Spans(mSource.height(), mTarget.height())),
      mSums(size_t(std::max(0, mTarget.width())) * size_t(std::max(0, mTarget.height())) * Slots, 0.0f),
      mRow(size_t(std::max(0, mTarget.width()) + 1) * Slots, 0.0f)
{
    // A column starts after the pixel that straddles its left edge, if any.
    for (int x = int(mColumns.size()) - 1; x >= 0; --x) {
        const Span span = mColumns[size_t(x)];
        mColumnStarts[size_t(span.cell) + (span.share < 1.0f ? 1 : 0)] = x + (span.share < 1.0f ? 1 : 0);
    }
    mColumnStarts.back() = mSource.width();
}

qint64 ReducedPicture::Bytes(const QSize& target)
{
    return qint64(target.width()) * target.height() * Slots * qint64(sizeof(float))
        + qint64(target.width()) * target.height() * 4;
}

// Exact in integers: pixel x covers [x, x + 1) of the source, that is [x * t / s, (x + 1) * t / s)
// of the target, which never spans more than two target pixels as t <= s.
std::vector<ReducedPicture::Span> ReducedPicture::Spans(int source, int target)
{
    std::vector<Span> spans;
    if (source <= 0 || target <= 0)
        return spans;
    spans.reserve(size_t(source));
    for (qint64 x = 0; x < source; ++x) {
        const qint64 cell = x * target / source;
        const qint64 boundary = (cell + 1) * source;  // the next cell's start, times target
        const qint64 end = (x + 1) * target;
        const float share = end <= boundary ? 1.0f : float(double(boundary - x * target) / target);
        spans.push_back({int(cell), share});
    }
    return spans;
}

template <int Channels>
void ReducedPicture::Add(int y, const uchar* pixels, int count, int x0, int step, int channel)
{
    if (y < 0 || y >= mSource.height() || x0 < 0 || step < 1 || mTarget.isEmpty())
        return;
    count = std::min(count, (mSource.width() - x0 + step - 1) / step);
    if (count <= 0)
        return;
    const bool whole = x0 == 0 && step == 1 && count == mSource.width();
    const int first = mColumns[size_t(x0)].cell;
    const int last = std::min(mColumns[size_t(x0 + (count - 1) * step)].cell + 1, mTarget.width() - 1);
    float* row = mRow.data();
    std::fill(row + first * Slots, row + (last + 1) * Slots, 0.0f);

    // Across: the row spread over the target's columns.
    if (whole)
        SpreadWholeRow<Channels>(pixels);
    else
        SpreadPixels<Channels>(pixels, count, x0, step);

    // Down: the spread row into the target rows that source row y overlaps.
    const Span span = mRows[size_t(y)];
    const auto addInto = [&](int targetRow, float share) {
        float* sums = mSums.data() + (size_t(targetRow) * size_t(mTarget.width()) + size_t(first)) * Slots;
        const float* from = row + first * Slots;
        for (int column = first; column <= last; ++column, sums += Slots, from += Slots) {
            if (channel < 0) {
                for (int c = 0; c < 3; ++c)
                    sums[c] += share * from[Channels == 1 ? 0 : c];
            } else {
                sums[channel] += share * from[0];
            }
            if (channel <= 0)
                sums[3] += share * from[3];
        }
    };
    addInto(span.cell, span.share);
    if (span.share < 1.0f && span.cell + 1 < mTarget.height())
        addInto(span.cell + 1, 1.0f - span.share);
}

template <int Channels>
void ReducedPicture::SpreadPixels(const uchar* pixels, int count, int x0, int step)
{
    float* row = mRow.data();
    for (int i = 0, x = x0; i < count; ++i, x += step, pixels += Channels) {
        const Span span = mColumns[size_t(x)];
        float* cell = row + span.cell * Slots;
        if (span.share == 1.0f) {
            for (int c = 0; c < Channels; ++c)
                cell[c] += pixels[c];
            cell[3] += 1.0f;
        } else {
            const float rest = 1.0f - span.share;
            for (int c = 0; c < Channels; ++c) {
                cell[c] += span.share * pixels[c];
                cell[Slots + c] += rest * pixels[c];
            }
            cell[3] += span.share;
            cell[Slots + 3] += rest;
        }
    }
}

template <int Channels>
void ReducedPicture::SpreadWholeRow(const uchar* pixels)
{
    float* cell = mRow.data();
    for (int column = 0; column < mTarget.width(); ++column, cell += Slots) {
        const int begin = mColumnStarts[size_t(column)];
        int end = mColumnStarts[size_t(column) + 1];
        // The pixel before the next column's start straddles the edge when it is shared.
        const bool straddles = end > begin && mColumns[size_t(end - 1)].share < 1.0f;
        if (straddles)
            --end;
        quint32 sums[Channels] = {};
        for (const uchar* p = pixels + begin * Channels; p < pixels + end * Channels; p += Channels)
            for (int c = 0; c < Channels; ++c)
                sums[c] += p[c];
        for (int c = 0; c < Channels; ++c)
            cell[c] += float(sums[c]);
        cell[3] += float(end - begin);
        if (straddles) {
            const float share = mColumns[size_t(end)].share;
            const uchar* p = pixels + end * Channels;
            for (int c = 0; c < Channels; ++c) {
                cell[c] += share * p[c];
                cell[Slots + c] += (1.0f - share) * p[c];
            }
            cell[3] += share;
            cell[Slots + 3] += 1.0f - share;
        }
    }
}

void ReducedPicture::AddGrey(int y, const uchar* grey, int count, int x0, int step)
{
    Add<1>(y, grey, count, x0, step);
}

void ReducedPicture::AddRGB(int y, const uchar* rgb, int count, int x0, int step)
{
    Add<3>(y, rgb, count, x0, step);
}

void ReducedPicture::AddChannel(int y, int channel, const uchar* samples, int count, int x0, int step)
{
    if (channel >= 0 && channel < 3)
        Add<1>(y, samples, count, x0, step, channel);
}

QImage ReducedPicture::Image() const
{
    QImage image(mTarget, QImage::Format_RGB32);
    if (image.isNull())
        return image;
    // Every target pixel stands for the same area of the source.
    const double area = double(mSource.width()) / mTarget.width() * mSource.height() / mTarget.height();
    const float* sums = mSums.data();
    for (int y = 0; y < mTarget.height(); ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < mTarget.width(); ++x, sums += Slots) {
            const double paper = 255.0 * std::max(0.0, area - sums[3]);
            int value[3];
            for (int c = 0; c < 3; ++c)
                value[c] = std::clamp(int(std::lround((sums[c] + paper) / area)), 0, 255);
            line[x] = qRgb(value[0], value[1], value[2]);
        }
    }
    return image;
}

QImage Oriented(const QImage& image, int orientation)
{
    // Per tag: mirrored left to right, flipped top to bottom, then turned a quarter clockwise.
    struct Steps
    {
        bool mirror, flip, quarter;
    };
    static constexpr Steps Table[9] = {{false, false, false}, {false, false, false}, {true, false, false},
                                       {true, true, false},   {false, true, false},  {false, true, true},
                                       {false, false, true},  {true, false, true},   {true, true, true}};
    if (orientation < 2 || orientation > 8)
        return image;
    const Steps steps = Table[orientation];
    QImage result = image.mirrored(steps.mirror, steps.flip);
    if (steps.quarter)
        result = result.transformed(QTransform().rotate(90));
    return result;
}
