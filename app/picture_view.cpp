#include "picture_view.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cstdint>

namespace quadfind {

QImage BorrowedWindow(const PictureSurface& picture, QPoint from, QSize size) {
    const std::int64_t x0 = std::max(0, from.x()), y0 = std::max(0, from.y());
    const std::int64_t w = std::min<std::int64_t>(size.width(), picture.width() - x0);
    const std::int64_t h = std::min<std::int64_t>(size.height(), picture.height() - y0);
    if (picture.empty() || w <= 0 || h <= 0)
        return {};
    const std::uint8_t* first = picture.row(std::int32_t(y0)) + x0 * PictureSurface::kBytesPerPixel;
    return QImage(first, int(w), int(h), qsizetype(picture.rowBytes()), QImage::Format_BGR888);
}

QImage ScaledNearest(const PictureSurface& picture, QSize size) {
    if (picture.empty() || size.isEmpty())
        return {};
    QImage out(size, QImage::Format_BGR888);
    if (out.isNull())
        return {};
    const std::int64_t W = picture.width(), H = picture.height(), w = size.width(), h = size.height();
    for (std::int64_t y = 0; y < h; ++y) {
        const std::uint8_t* src = picture.row(std::int32_t((y * H + H / (2 * h)) / h));
        std::uint8_t* dst = out.scanLine(int(y));
        for (std::int64_t x = 0; x < w; ++x) {
            const std::uint8_t* p = src + ((x * W + W / (2 * w)) / w) * PictureSurface::kBytesPerPixel;
            dst[3 * x] = p[0];
            dst[3 * x + 1] = p[1];
            dst[3 * x + 2] = p[2];
        }
    }
    return out;
}

} // namespace quadfind

TPictureCanvas::TPictureCanvas(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::NoFocus);
}

void TPictureCanvas::showPicture(const quadfind::PictureSurface* picture) {
    picture_ = picture;
    resetPan();
}

const quadfind::PictureSurface& TPictureCanvas::shownPicture() const {
    static const quadfind::PictureSurface none;
    return picture_ ? *picture_ : none;
}

void TPictureCanvas::resetPan() {
    offset_ = {};
    dragStart_.reset();
    updateCursor();
    update();
}

void TPictureCanvas::setFit(bool fit) {
    fit_ = fit;
    resetPan();
}

void TPictureCanvas::panTo(QPoint offset) {
    const quadfind::PictureSurface& picture = shownPicture();
    const QPoint clamped(std::clamp(offset.x(), 0, std::max(0, picture.width() - width())),
                         std::clamp(offset.y(), 0, std::max(0, picture.height() - height())));
    if (clamped != offset_) {
        offset_ = clamped;
        update();
    }
}

void TPictureCanvas::updateCursor() {
    const quadfind::PictureSurface& picture = shownPicture();
    if (!fit_ && (picture.width() > width() || picture.height() > height()))
        setCursor(dragStart_ ? Qt::ClosedHandCursor : Qt::OpenHandCursor);
    else
        unsetCursor();
}

void TPictureCanvas::paintEvent(QPaintEvent*) {
    const quadfind::PictureSurface& picture = shownPicture();
    if (picture.empty())
        return;
    QPainter painter(this);
    if (!fit_) {
        const QImage visible = quadfind::BorrowedWindow(picture, offset_, size());
        if (!visible.isNull())
            painter.drawImage(0, 0, visible);
        return;
    }
    // Fit: the largest size with the picture's proportions, centred.
    const double scale = std::min(double(width()) / picture.width(), double(height()) / picture.height());
    const QSize fitted(std::max(1, int(picture.width() * scale)), std::max(1, int(picture.height() * scale)));
    painter.drawImage((width() - fitted.width()) / 2, (height() - fitted.height()) / 2,
                      quadfind::ScaledNearest(picture, fitted));
}

void TPictureCanvas::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || fit_)
        return QWidget::mousePressEvent(event);
    dragStart_ = event->position().toPoint();
    offsetAtDragStart_ = offset_;
    updateCursor();
}

void TPictureCanvas::mouseMoveEvent(QMouseEvent* event) {
    if (!dragStart_)
        return QWidget::mouseMoveEvent(event);
    // The picture follows the pointer, as a sheet of paper would.
    panTo(offsetAtDragStart_ - (event->position().toPoint() - *dragStart_));
}

void TPictureCanvas::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !dragStart_)
        return QWidget::mouseReleaseEvent(event);
    dragStart_.reset();
    updateCursor();
}

void TPictureCanvas::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return QWidget::mouseDoubleClickEvent(event);
    dragStart_.reset();
    emit doubleClicked();
}

void TPictureCanvas::resizeEvent(QResizeEvent*) {
    panTo(offset_);
    updateCursor();
}

TPictureView::TPictureView(QWidget* parent) : TPictureCanvas(parent) {
    setContextMenuPolicy(Qt::CustomContextMenu);
    showPicture(&picture_);
}

void TPictureView::setPicture(quadfind::PictureSurface picture) {
    picture_ = std::move(picture);
    resetPan();
    emit pictureChanged();
}

quadfind::PictureSurface TPictureView::takePicture() {
    quadfind::PictureSurface out = std::move(picture_);
    picture_ = {};
    resetPan();
    emit pictureChanged();
    return out;
}
