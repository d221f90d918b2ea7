#include "picture_viewer.h"

#include "picture_view.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QScreen>
#include <QToolButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

TPictureViewer::TPictureViewer(TPictureView* source, const QString& name, QWidget* parent)
    : QWidget(parent, Qt::Window), source_(source), name_(name), canvas_(new TPictureCanvas(this)),
      fit_(new QToolButton(this)), actual_(new QToolButton(this)) {
    setAttribute(Qt::WA_DeleteOnClose);

    fit_->setText(u"Fit"_s);
    fit_->setToolTip(u"Show the whole picture (Ctrl+0)"_s);
    actual_->setText(u"1:1"_s);
    actual_->setToolTip(u"Show the picture pixel for pixel, from its top-left corner (Ctrl+1)"_s);
    // Checked while their scale is shown: neither when the wheel chose another.
    // Not an exclusive group, which cannot show neither.
    for (QToolButton* button : {fit_, actual_})
        button->setCheckable(true);
    connect(fit_, &QToolButton::clicked, canvas_, [this] { canvas_->setFit(true); });
    connect(actual_, &QToolButton::clicked, canvas_, [this] { canvas_->setFit(false); });
    connect(canvas_, &TPictureCanvas::zoomChanged, this, &TPictureViewer::updateButtons);
    canvas_->setWheelZooms(true);
    canvas_->setFit(true);

    auto* bar = new QHBoxLayout;
    bar->addWidget(fit_);
    bar->addWidget(actual_);
    bar->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(canvas_, 1);

    canvas_->showPicture(&source->picture());
    connect(source, &TPictureView::pictureChanged, canvas_, &TPictureCanvas::pictureReplaced);
    connect(source, &TPictureView::pictureChanged, this, &TPictureViewer::updateTitle);
    updateTitle();

    // As large as the picture, within most of the screen.
    QSize wanted(source->picture().width() + 24, source->picture().height() + 60);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        wanted = wanted.boundedTo(screen->availableSize() * 0.8);
    resize(wanted.expandedTo(QSize(320, 240)));
}

void TPictureViewer::updateTitle() {
    QString title = u"quadfind: "_s + name_;
    const quadfind::PictureSurface& picture = source_->picture();
    if (!picture.empty()) {
        title += u" \u2014 "_s;
        if (!source_->pictureName().isEmpty())
            title += source_->pictureName() + u", "_s;
        title += QString::number(picture.width()) + u" \u00D7 "_s + QString::number(picture.height());
    }
    setWindowTitle(title);
}

void TPictureViewer::updateButtons() {
    fit_->setChecked(canvas_->fit());
    actual_->setChecked(!canvas_->fit() && canvas_->scale() == 1);
}

// Here rather than as shortcuts, so that they work whichever of the window's
// controls has the focus and need no shortcut map to be tested.
void TPictureViewer::keyPressEvent(QKeyEvent* event) {
    const QKeyCombination key(event->modifiers() & ~Qt::KeypadModifier, Qt::Key(event->key()));
    if (event->matches(QKeySequence::Cancel))
        close();
    else if (key == (Qt::CTRL | Qt::Key_0))
        fit_->click();
    else if (key == (Qt::CTRL | Qt::Key_1))
        actual_->click();
    else
        QWidget::keyPressEvent(event);
}
