#pragma once

#include <QImage>
#include <QSize>

class RowDecoder;

// Pictures compared as a viewer would see them.

// source as it should look reduced to target: laid on white pixel by pixel, then each target
// pixel the average of the source area it covers.
QImage ReferenceReduction(const QImage& source, const QSize& target);

// The root mean square difference of two pictures of the same size over their red, green and
// blue samples, as a share of the full scale (0 the same, 1 black against white); 1 when the
// sizes differ.
double NormalisedRMSE(const QImage& a, const QImage& b);

// What decoder folds into a picture of its preview's size, and whether Fold said it decoded any.
struct FoldedPicture
{
    QImage image;
    bool decoded = false;
};
FoldedPicture FoldedPreview(RowDecoder& decoder);
