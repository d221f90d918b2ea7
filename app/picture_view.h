// TPictureView: the form's picture control. It owns one picture and paints
// it unscaled, from its top-left corner after every new picture, clipped to
// the view; with no picture it shows the window behind it. Dragging inside
// the view pans a picture larger than the view.
//
// Painting reads the picture's own rows: the view keeps no converted copy,
// so a picture of any width the loader accepts can be shown, and a repaint
// costs the visible pixels only.
#pragma once

#include "picture_surface.h"

#include <QImage>
#include <QPoint>
#include <QSize>
#include <QWidget>

#include <optional>

class QPainter;

namespace quadfind {

// A read-only QImage over the part of `picture` that starts at `from` and is
// at most `size` large; it borrows the picture's rows, so it must not
// outlive them. Null when nothing of the picture lies there.
QImage BorrowedWindow(const PictureSurface& picture, QPoint from, QSize size);

// The whole picture scaled to `size` by nearest pixel: what a "fit" view
// shows, made from the visible pixels only.
QImage ScaledNearest(const PictureSurface& picture, QSize size);

} // namespace quadfind

// Paints a picture it does not own: unscaled from a pan offset that a drag
// moves, or scaled to fit its size. The form's views and the separate
// viewer window share this.
class TPictureCanvas : public QWidget {
    Q_OBJECT

public:
    explicit TPictureCanvas(QWidget* parent = nullptr);

    // The picture to show; it must outlive the canvas or be replaced first.
    void showPicture(const quadfind::PictureSurface* picture);
    const quadfind::PictureSurface& shownPicture() const;

    // Back to the top-left corner, e.g. when the picture changed.
    void resetPan();
    // The picture's pixel shown at the top-left corner in 1:1 mode.
    QPoint panOffset() const { return offset_; }

    void setFit(bool fit);
    bool fit() const { return fit_; }

signals:
    void doubleClicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void panTo(QPoint offset);
    void updateCursor();

    const quadfind::PictureSurface* picture_ = nullptr;
    bool fit_ = false;
    QPoint offset_;
    std::optional<QPoint> dragStart_;
    QPoint offsetAtDragStart_;
};

// The form's picture control: a canvas that owns the picture it shows.
class TPictureView : public TPictureCanvas {
    Q_OBJECT

public:
    explicit TPictureView(QWidget* parent = nullptr);

    const quadfind::PictureSurface& picture() const { return picture_; }
    // Takes the picture over and shows it from its top-left corner.
    void setPicture(quadfind::PictureSurface picture);
    // Hands the picture out and leaves the view empty, so that a command can
    // reuse its memory instead of allocating anew.
    quadfind::PictureSurface takePicture();

signals:
    void pictureChanged();

private:
    quadfind::PictureSurface picture_;
};
