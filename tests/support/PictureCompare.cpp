#include "PictureCompare.h"

#include "PageLoaders.h"
#include "RowDecoder.h"

#include <cmath>
#include <vector>

QImage ReferenceReduction(const QImage& source, const QSize& target)
{
    const QImage pixels = source.convertToFormat(QImage::Format_ARGB32);
    const double sx = double(pixels.width()) / target.width();
    const double sy = double(pixels.height()) / target.height();
    std::vector<double> sums(size_t(target.width()) * target.height() * 3, 0.0);
    // The overlap of [a, a + 1) with [b0, b1).
    const auto overlap = [](double a, double b0, double b1) {
        return std::max(0.0, std::min(a + 1, b1) - std::max(a, b0));
    };
    for (int y = 0; y < pixels.height(); ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(pixels.constScanLine(y));
        const int ty = std::min(int(y / sy), target.height() - 1);
        for (int x = 0; x < pixels.width(); ++x) {
            const int tx = std::min(int(x / sx), target.width() - 1);
            const double alpha = qAlpha(line[x]) / 255.0;
            const double rgb[3] = {qRed(line[x]) * alpha + 255 * (1 - alpha), qGreen(line[x]) * alpha + 255 * (1 - alpha),
                                   qBlue(line[x]) * alpha + 255 * (1 - alpha)};
            for (int cy = ty; cy <= std::min(ty + 1, target.height() - 1); ++cy) {
                const double wy = overlap(y, cy * sy, (cy + 1) * sy);
                for (int cx = tx; cx <= std::min(tx + 1, target.width() - 1); ++cx) {
                    const double w = wy * overlap(x, cx * sx, (cx + 1) * sx);
                    double* sum = &sums[(size_t(cy) * target.width() + cx) * 3];
                    for (int c = 0; c < 3; ++c)
                        sum[c] += w * rgb[c];
                }
            }
        }
    }
    QImage reduced(target, QImage::Format_RGB32);
    const double area = sx * sy;
    for (int y = 0; y < target.height(); ++y)
        for (int x = 0; x < target.width(); ++x) {
            const double* sum = &sums[(size_t(y) * target.width() + x) * 3];
            reduced.setPixel(x, y, qRgb(int(std::lround(sum[0] / area)), int(std::lround(sum[1] / area)),
                                        int(std::lround(sum[2] / area))));
        }
    return reduced;
}

double NormalisedRMSE(const QImage& a, const QImage& b)
{
    if (a.size() != b.size() || a.isNull())
        return 1.0;
    const QImage one = a.convertToFormat(QImage::Format_RGB32);
    const QImage two = b.convertToFormat(QImage::Format_RGB32);
    double sum = 0;
    for (int y = 0; y < one.height(); ++y)
        for (int x = 0; x < one.width(); ++x) {
            const QRgb p = one.pixel(x, y);
            const QRgb q = two.pixel(x, y);
            const double d[3] = {double(qRed(p) - qRed(q)), double(qGreen(p) - qGreen(q)), double(qBlue(p) - qBlue(q))};
            sum += d[0] * d[0] + d[1] * d[1] + d[2] * d[2];
        }
    return std::sqrt(sum / (3.0 * one.width() * one.height())) / 255.0;
}

FoldedPicture FoldedPreview(RowDecoder& decoder)
{
    ReducedPicture picture(decoder.Size(), FittedSize(decoder.Size(), PreviewBox));
    const bool decoded = decoder.Fold(picture);
    return {picture.Image(), decoded};
}
