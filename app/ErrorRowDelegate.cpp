#include "ErrorRowDelegate.h"

#include <algorithm>
#include <cmath>

namespace {

// Relative luminance of a colour, as contrast ratios are defined on it.
double Luminance(const QColor& color)
{
    const auto linear = [](double channel) {
        return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(color.redF()) + 0.7152 * linear(color.greenF()) + 0.0722 * linear(color.blueF());
}

double Contrast(const QColor& a, const QColor& b)
{
    const double la = Luminance(a), lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// A light tint of the selection colour: the row still looks selected and a coloured text keeps
// its colour on it.
QColor LightSelection(const QColor& highlight)
{
    constexpr double share = 0.25;
    const auto mix = [](int channel) { return static_cast<int>(std::lround(share * channel + (1 - share) * 255)); };
    return QColor(mix(highlight.red()), mix(highlight.green()), mix(highlight.blue()));
}

// The text's own colour, darkened only as far as needed to be read on the background.
QColor Readable(QColor text, const QColor& background)
{
    while (Contrast(text, background) < ErrorRowDelegate::MinimumContrast && text.value() > 0)
        text = text.darker(105);
    return text;
}

} // namespace

void ErrorRowDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    const QVariant foreground = index.data(Qt::ForegroundRole);
    if (!foreground.canConvert<QBrush>())
        return;
    // Selected, a row in error keeps its red: the selection bar behind it turns light.
    const QColor bar = LightSelection(option->palette.color(QPalette::Highlight));
    option->palette.setColor(QPalette::Highlight, bar);
    option->palette.setColor(QPalette::HighlightedText, Readable(foreground.value<QBrush>().color(), bar));
}
