#include "picture_view.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
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

} // namespace quadfind

namespace {

// Pixels a wheel notch (120 units) moves, per line the desktop asks for.
constexpr int kPixelsPerLine = 20;
constexpr int kUnitsPerNotch = 120;

} // namespace

TPictureCanvas::TPictureCanvas(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::NoFocus);
}

void TPictureCanvas::showPicture(const quadfind::PictureSurface* picture) {
    picture_ = picture;
    pictureReplaced();
}

const quadfind::PictureSurface& TPictureCanvas::shownPicture() const {
    static const quadfind::PictureSurface none;
    return picture_ ? *picture_ : none;
}

void TPictureCanvas::pictureReplaced() {
    pyramid_.reset(picture_);
    resetPan();
}

void TPictureCanvas::resetPan() {
    offset_ = {};
    dragStart_.reset();
    wheelPanRest_ = {};
    wheelZoomRest_ = 0;
    updateCursor();
    update();
}

void TPictureCanvas::setFit(bool fit) {
    fit_ = fit;
    scale_ = 1;
    resetPan();
    emit zoomChanged();
}

double TPictureCanvas::fitScale() const {
    const quadfind::PictureSurface& picture = shownPicture();
    if (picture.empty())
        return 1;
    return std::min(double(width()) / picture.width(), double(height()) / picture.height());
}

QRect TPictureCanvas::fitted() const {
    const quadfind::PictureSurface& picture = shownPicture();
    const std::int64_t W = picture.width(), H = picture.height(), cw = width(), ch = height();
    if (picture.empty() || cw <= 0 || ch <= 0)
        return {};
    // In integers, so that the side that fills the canvas fills it exactly.
    std::int64_t w = cw, h = ch;
    if (cw * H <= ch * W)
        h = std::max<std::int64_t>(1, H * cw / W);
    else
        w = std::max<std::int64_t>(1, W * ch / H);
    return QRect(int((cw - w) / 2), int((ch - h) / 2), int(w), int(h));
}

bool TPictureCanvas::pannable(Qt::Orientation axis) const {
    const quadfind::PictureSurface& picture = shownPicture();
    if (fit_ || picture.empty())
        return false;
    return axis == Qt::Horizontal ? picture.width() * scale_ > width() : picture.height() * scale_ > height();
}

quadfind::RenderAxis TPictureCanvas::axis(Qt::Orientation along) const {
    const bool across = along == Qt::Horizontal;
    const int pictureSize = across ? shownPicture().width() : shownPicture().height();
    if (fit_) {
        const QRect r = fitted();
        const int shown = across ? r.width() : r.height();
        return {0, double(shown) / pictureSize, shown};
    }
    const double origin = across ? offset_.x() : offset_.y();
    const double count = std::ceil((pictureSize - origin) * scale_);
    return {origin, scale_, int(std::clamp(count, 0.0, double(across ? width() : height())))};
}

QPointF TPictureCanvas::pictureAt(QPointF canvasPoint) const {
    if (!fit_)
        return offset_ + canvasPoint / scale_;
    const QRect r = fitted();
    const quadfind::PictureSurface& picture = shownPicture();
    return {(canvasPoint.x() - r.x()) * picture.width() / r.width(),
            (canvasPoint.y() - r.y()) * picture.height() / r.height()};
}

void TPictureCanvas::panTo(QPointF offset) {
    const quadfind::PictureSurface& picture = shownPicture();
    const QPointF clamped(std::clamp(offset.x(), 0.0, std::max(0.0, picture.width() - width() / scale_)),
                          std::clamp(offset.y(), 0.0, std::max(0.0, picture.height() - height() / scale_)));
    if (clamped.x() != offset_.x() || clamped.y() != offset_.y()) {
        offset_ = clamped;
        update();
    }
}

void TPictureCanvas::zoomAround(QPointF canvasPoint, double scale) {
    const QPointF anchor = pictureAt(canvasPoint);
    fit_ = false;
    scale_ = scale;
    dragStart_.reset();
    panTo(anchor - canvasPoint / scale);
    updateCursor();
    update();
    emit zoomChanged();
}

void TPictureCanvas::updateCursor() {
    if (pannable(Qt::Horizontal) || pannable(Qt::Vertical))
        setCursor(dragStart_ ? Qt::ClosedHandCursor : Qt::OpenHandCursor);
    else
        unsetCursor();
}

void TPictureCanvas::paintEvent(QPaintEvent*) {
    const quadfind::PictureSurface& picture = shownPicture();
    if (picture.empty())
        return;
    QPainter painter(this);
    if (!fit_ && scale_ == 1) {
        // floor(o + c) is floor(o) + c for whole c: the picture's own rows.
        const QPoint from(int(std::floor(offset_.x())), int(std::floor(offset_.y())));
        const QImage visible = quadfind::BorrowedWindow(picture, from, size());
        if (!visible.isNull())
            painter.drawImage(0, 0, visible);
        return;
    }
    if (!pyramid_.follows(picture_)) // replaced without a word: never read a stale level
        pyramid_.reset(picture_);
    const QImage shown = quadfind::RenderPicture(pyramid_, axis(Qt::Horizontal), axis(Qt::Vertical));
    if (!shown.isNull())
        painter.drawImage(fit_ ? fitted().topLeft() : QPoint(), shown);
}

void TPictureCanvas::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || fit_)
        return QWidget::mousePressEvent(event);
    dragStart_ = QPointF(event->position().toPoint());
    offsetAtDragStart_ = offset_;
    updateCursor();
}

void TPictureCanvas::mouseMoveEvent(QMouseEvent* event) {
    if (!dragStart_)
        return QWidget::mouseMoveEvent(event);
    // The picture follows the pointer, as a sheet of paper would.
    panTo(offsetAtDragStart_ - (QPointF(event->position().toPoint()) - *dragStart_) / scale_);
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

void TPictureCanvas::wheelEvent(QWheelEvent* event) {
    if (wheelZooms_)
        zoomByWheel(event);
    else
        panByWheel(event);
}

void TPictureCanvas::panByWheel(QWheelEvent* event) {
    QPoint delta = event->angleDelta();
    // Shift turns a plain wheel sideways; a wheel that is already sideways
    // (a tilt wheel, or a platform that turns it itself) stays so.
    if ((event->modifiers() & Qt::ShiftModifier) && delta.x() == 0)
        delta = {delta.y(), 0};
    if (!(delta.x() && pannable(Qt::Horizontal)) && !(delta.y() && pannable(Qt::Vertical)))
        return event->ignore(); // nothing to pan: a scroll area around may want it
    event->accept();
    wheelPanRest_ += delta * (QApplication::wheelScrollLines() * kPixelsPerLine);
    const QPoint pixels(wheelPanRest_.x() / kUnitsPerNotch, wheelPanRest_.y() / kUnitsPerNotch);
    wheelPanRest_ -= pixels * kUnitsPerNotch;
    // Up or left shows what lies above or left of the view.
    panTo(offset_ - QPointF(pixels) / scale_);
}

void TPictureCanvas::zoomByWheel(QWheelEvent* event) {
    if (fitted().isEmpty())
        return event->ignore();
    event->accept();
    wheelZoomRest_ += event->angleDelta().y();
    const int notches = wheelZoomRest_ / kUnitsPerNotch;
    wheelZoomRest_ -= notches * kUnitsPerNotch;
    if (notches == 0)
        return;
    // Below 1 only as far as the whole picture; up to kMaxScale.
    const double now = scale(), whole = fitScale();
    const double wanted = std::clamp(std::ldexp(now, notches), std::min(whole, 1.0), kMaxScale);
    if (notches > 0 ? wanted <= now : wanted >= now)
        return; // at a limit already
    if (wanted == whole)
        setFit(true);
    else
        zoomAround(event->position(), wanted);
}

void TPictureCanvas::resizeEvent(QResizeEvent*) {
    panTo(offset_);
    updateCursor();
}

TPictureView::TPictureView(QWidget* parent) : TPictureCanvas(parent) {
    setContextMenuPolicy(Qt::CustomContextMenu);
    showPicture(&picture_);
}

void TPictureView::setPicture(quadfind::PictureSurface picture, QString name) {
    picture_ = std::move(picture);
    name_ = std::move(name);
    pictureReplaced();
    emit pictureChanged();
}

quadfind::PictureSurface TPictureView::takePicture() {
    quadfind::PictureSurface out = std::move(picture_);
    picture_ = {};
    name_.clear();
    pictureReplaced();
    emit pictureChanged();
    return out;
}
