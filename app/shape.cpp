#include "shape.h"

#include <QPainter>

TShape::TShape(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::NoFocus);
}

void TShape::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    painter.setPen(QPen(Qt::black, 0)); // cosmetic: exactly one pixel
    // A pen of width one covers the pixels right of and below the path, so
    // the outline's path ends one pixel short of the right and bottom edges.
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}
