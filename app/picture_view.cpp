#include "picture_view.h"

#include "qt_picture.h"

#include <QPainter>

TPictureView::TPictureView(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::NoFocus);
}

void TPictureView::setPicture(const quadfind::PictureSurface& picture) {
    picture_ = picture;
    shown_ = quadfind::ImageFromSurface(picture_);
    update();
}

void TPictureView::paintEvent(QPaintEvent*) {
    if (shown_.isNull())
        return;
    QPainter painter(this);
    painter.drawImage(0, 0, shown_);
}
