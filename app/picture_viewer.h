// TPictureViewer: a separate, resizable window that shows one of the form's
// views whole ("Fit", the default) or pixel for pixel ("1:1", dragged to
// pan). It reads the view's own picture and follows it when the view gets a
// new one; it keeps no copy.
#pragma once

#include <QWidget>

class TPictureCanvas;
class TPictureView;

class TPictureViewer : public QWidget {
    Q_OBJECT

public:
    // `source` must outlive the viewer: the form owns both.
    TPictureViewer(TPictureView* source, const QString& name, QWidget* parent);

private:
    TPictureCanvas* canvas_;
};
