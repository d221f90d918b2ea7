// TPictureViewer: a separate, resizable window that shows one of the form's
// views whole ("Fit", the default, Ctrl+0) or pixel for pixel ("1:1" from
// the top-left corner, Ctrl+1). The wheel zooms around the pointer, a notch
// doubling or halving the scale, from the whole picture up to 16 screen
// pixels per picture pixel; a drag pans wherever the picture does not fit.
// A picture shown smaller than 1:1 shows each screen pixel as the mean of
// the area it covers, so one-pixel lines stay visible. Escape closes it.
//
// The title names the view, the picture's file and its size, and follows
// the view when it gets a new picture. The viewer reads the view's own
// picture and keeps no copy of it: only, once it has been shown shrunk, its
// halved levels (a third of its bytes), dropped when the picture changes.
#pragma once

#include <QWidget>

class QToolButton;
class TPictureCanvas;
class TPictureView;

class TPictureViewer : public QWidget {
    Q_OBJECT

public:
    // `source` must outlive the viewer: the form owns both.
    TPictureViewer(TPictureView* source, const QString& name, QWidget* parent);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void updateTitle();
    void updateButtons();

    TPictureView* source_;
    QString name_;
    TPictureCanvas* canvas_;
    QToolButton* fit_;
    QToolButton* actual_;
};
