// TPictureView: the form's picture control. It owns one picture, a
// PictureSurface, and paints it unscaled from its top-left corner, clipped to
// the view; with no picture it shows the window behind it.
#pragma once

#include "picture_surface.h"

#include <QImage>
#include <QWidget>

class TPictureView : public QWidget {
    Q_OBJECT

public:
    explicit TPictureView(QWidget* parent = nullptr);

    const quadfind::PictureSurface& picture() const { return picture_; }
    // Takes a copy; the caller's surface stays independent. Repaints.
    void setPicture(const quadfind::PictureSurface& picture);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    quadfind::PictureSurface picture_;
    QImage shown_; // picture_ converted once, so a repaint does no conversion
};
