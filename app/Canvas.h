#pragma once

#include <QWidget>
#include <functional>

class QPixmap;

// A drawing area of a window: shows a backdrop picture, lets the window paint on it and tells
// the window about mouse presses and the pointer entering or leaving. It never takes the focus.
class Canvas : public QWidget
{
    Q_OBJECT
public:
    explicit Canvas(QWidget* parent = nullptr);

    // The picture drawn first, from the top-left corner (scaled down when it is larger than the
    // canvas); nullptr for none. The picture is not owned.
    void SetBackdrop(const QPixmap* picture);
    const QPixmap* Backdrop() const { return mBackdrop; }

    // Paints over the backdrop; empty for nothing.
    std::function<void(QPainter&)> onPaint;

signals:
    void MouseDown(int x, int y);
    void MouseEnter();
    void MouseExit();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    const QPixmap* mBackdrop = nullptr;
};
