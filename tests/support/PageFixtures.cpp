#include "PageFixtures.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QLinearGradient>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

QString WritePicturePage(const QString& folder, const QString& fileName, const QSize& size, const char* format,
                         int quality)
{
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient gradient(0, 0, size.width(), size.height());
    gradient.setColorAt(0, QColor(250, 245, 230));
    gradient.setColorAt(1, QColor(180, 200, 230));
    painter.fillRect(image.rect(), gradient);
    painter.setPen(QPen(Qt::darkBlue, std::max(1, size.width() / 200)));
    for (int i = 1; i < 8; ++i)
        painter.drawLine(size.width() / 10, i * size.height() / 8, 9 * size.width() / 10, i * size.height() / 8);
    painter.drawEllipse(QRect(QPoint(size.width() / 4, size.height() / 4), size / 2));
    painter.end();

    const QString path = QDir(folder).absoluteFilePath(fileName);
    if (!image.save(path, format, quality)) {
        ADD_FAILURE() << "cannot write " << format << " fixture " << path.toStdString();
        return {};
    }
    return path;
}

QString WritePdfPage(const QString& folder, const QString& fileName, const QString& heading)
{
    const QString path = QDir(folder).absoluteFilePath(fileName);
    QPdfWriter writer(path);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setResolution(150);
    QPainter painter;
    if (!painter.begin(&writer)) {
        ADD_FAILURE() << "cannot write PDF fixture " << path.toStdString();
        return {};
    }
    QFont font = painter.font();
    font.setPointSize(28);
    painter.setFont(font);
    painter.drawText(100, 200, heading);
    font.setPointSize(11);
    painter.setFont(font);
    for (int line = 0; line < 30; ++line)
        painter.drawText(100, 320 + line * 40, QStringLiteral("Line %1 of the page: 1 x Service, 120.00 EUR").arg(line + 1));
    painter.drawRect(80, 120, 1000, 1400);
    painter.end();
    return path;
}

QString WriteBytes(const QString& folder, const QString& fileName, const QByteArray& bytes)
{
    return WriteBytes(QDir(folder).absoluteFilePath(fileName), bytes);
}

QString WriteBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        ADD_FAILURE() << "cannot write " << path.toStdString();
        return {};
    }
    return path;
}

QByteArray FileContents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}
