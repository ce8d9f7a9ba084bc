#include "Canvas.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>

Canvas::Canvas(QWidget* parent) : QWidget(parent)
{
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_Hover);
}

void Canvas::SetBackdrop(const QPixmap* picture)
{
    mBackdrop = picture;
    update();
}

void Canvas::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (mBackdrop && !mBackdrop->isNull()) {
        QSize size = mBackdrop->size();
        if (size.width() > width() || size.height() > height())
            size.scale(this->size(), Qt::KeepAspectRatio);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawPixmap(QRect(QPoint(0, 0), size), *mBackdrop, mBackdrop->rect());
    }
    if (onPaint)
        onPaint(painter);
}

void Canvas::mousePressEvent(QMouseEvent* event)
{
    const QPoint at = event->position().toPoint();
    emit MouseDown(at.x(), at.y());
}

void Canvas::enterEvent(QEnterEvent*) { emit MouseEnter(); }

void Canvas::leaveEvent(QEvent*) { emit MouseExit(); }
