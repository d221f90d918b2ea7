// TPictureView: the form's picture control. It owns one picture, with the
// name of the file it came from, and paints it unscaled, from its top-left
// corner after every new picture, clipped to the view; with no picture it
// shows the window behind it. Dragging inside the view pans a picture
// larger than the view, and so does the mouse wheel (Shift+wheel across).
//
// Painting at 1:1 reads the picture's own rows: the view keeps no converted
// copy, so a picture of any width the loader accepts can be shown, and a
// repaint costs the visible pixels only. Shown shrunk (in the viewer), a
// picture is read through a pyramid of halved copies, built on the first
// such paint and kept until the picture changes (1 byte per picture pixel).
#pragma once

#include "picture_pyramid.h"
#include "picture_surface.h"

#include <QImage>
#include <QPoint>
#include <QPointF>
#include <QSize>
#include <QString>
#include <QWidget>

#include <optional>

namespace quadfind {

// A read-only QImage over the part of `picture` that starts at `from` and is
// at most `size` large; it borrows the picture's rows, so it must not
// outlive them. Null when nothing of the picture lies there.
QImage BorrowedWindow(const PictureSurface& picture, QPoint from, QSize size);

} // namespace quadfind

// Paints a picture it does not own, in one of two ways:
//   Fit     the whole W x H picture in the largest whole size with its
//           proportions, fw x fh, centred: the fitted part's pixel (i, j)
//           covers the picture's [i W / fw, (i + 1) W / fw) x [j H / fh, ...);
//   scaled  from the top-left corner at scale s (screen pixels per picture
//           pixel) from a pan offset o, in picture pixels: canvas pixel
//           (cx, cy) covers the picture's [ox + cx / s, ox + (cx + 1) / s)
//           x [oy + cy / s, ...). Where that is a picture pixel or more, it
//           shows the mean of the area (RenderPicture); where less, the
//           picture pixel (floor(ox + cx / s), floor(oy + cy / s)).
// A drag pans a picture that does not fit; so does the wheel, or, where
// setWheelZooms(true), the wheel zooms around the pointer instead, by
// doubling or halving s per notch, from the Fit scale up to kMaxScale.
// The offset always stays in [0, W - width / s] (0 where that is negative),
// so no empty space shows where the picture is large enough.
// The form's views and the separate viewer window share this.
class TPictureCanvas : public QWidget {
    Q_OBJECT

public:
    static constexpr double kMaxScale = 16;

    explicit TPictureCanvas(QWidget* parent = nullptr);

    // The picture to show; it must outlive the canvas or be replaced first.
    void showPicture(const quadfind::PictureSurface* picture);
    const quadfind::PictureSurface& shownPicture() const;
    // The shown picture was replaced or changed: forgets what was derived
    // from it and goes back to the top-left corner, keeping the scale.
    void pictureReplaced();

    // Back to the top-left corner.
    void resetPan();
    // The picture point at the top-left corner outside Fit.
    QPointF panOffset() const { return offset_; }

    // true: Fit; false: scale 1 from the top-left corner.
    void setFit(bool fit);
    bool fit() const { return fit_; }
    // Screen pixels per picture pixel: fitScale() in Fit.
    double scale() const { return fit_ ? fitScale() : scale_; }
    // The largest scale that shows the whole picture.
    double fitScale() const;

    void setWheelZooms(bool zooms) { wheelZooms_ = zooms; }

signals:
    void doubleClicked();
    // Fit was switched on or off, or the scale changed.
    void zoomChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // Fit's size and place on the canvas.
    QRect fitted() const;
    bool pannable(Qt::Orientation axis) const;
    quadfind::RenderAxis axis(Qt::Orientation along) const;
    QPointF pictureAt(QPointF canvasPoint) const;
    void panTo(QPointF offset);
    void zoomAround(QPointF canvasPoint, double scale);
    void panByWheel(QWheelEvent* event);
    void zoomByWheel(QWheelEvent* event);
    void updateCursor();

    const quadfind::PictureSurface* picture_ = nullptr;
    quadfind::PicturePyramid pyramid_;
    bool fit_ = false;
    double scale_ = 1;
    QPointF offset_;
    std::optional<QPointF> dragStart_;
    QPointF offsetAtDragStart_;
    bool wheelZooms_ = false;
    // Wheel movement not yet turned into whole pixels (pan, in 1/120 pixel)
    // or whole notches (zoom, in 1/120 notch), for high-resolution wheels.
    QPoint wheelPanRest_;
    int wheelZoomRest_ = 0;
};

// The form's picture control: a canvas that owns the picture it shows.
class TPictureView : public TPictureCanvas {
    Q_OBJECT

public:
    explicit TPictureView(QWidget* parent = nullptr);

    const quadfind::PictureSurface& picture() const { return picture_; }
    // The file's name without its folder ("second.bmp"); empty for none.
    const QString& pictureName() const { return name_; }
    // Takes the picture over and shows it from its top-left corner.
    void setPicture(quadfind::PictureSurface picture, QString name = {});
    // Hands the picture out and leaves the view empty and unnamed, so that
    // a command can reuse its memory instead of allocating anew.
    quadfind::PictureSurface takePicture();

signals:
    // After every setPicture() and takePicture().
    void pictureChanged();

private:
    quadfind::PictureSurface picture_;
    QString name_;
};
