#include "picture_viewer.h"

#include "picture_view.h"

#include <QButtonGroup>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QScreen>
#include <QToolButton>
#include <QVBoxLayout>

TPictureViewer::TPictureViewer(TPictureView* source, const QString& name, QWidget* parent)
    : QWidget(parent, Qt::Window), canvas_(new TPictureCanvas(this)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("quadfind: %1").arg(name));

    auto* fit = new QToolButton(this);
    fit->setText(QStringLiteral("Fit"));
    auto* actual = new QToolButton(this);
    actual->setText(QStringLiteral("1:1"));
    auto* modes = new QButtonGroup(this);
    for (QToolButton* button : {fit, actual}) {
        button->setCheckable(true);
        modes->addButton(button);
    }
    fit->setChecked(true);
    canvas_->setFit(true);
    connect(fit, &QToolButton::toggled, canvas_, &TPictureCanvas::setFit);

    auto* bar = new QHBoxLayout;
    bar->addWidget(fit);
    bar->addWidget(actual);
    bar->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(canvas_, 1);

    canvas_->showPicture(&source->picture());
    connect(source, &TPictureView::pictureChanged, canvas_, &TPictureCanvas::resetPan);

    // As large as the picture, within most of the screen.
    QSize wanted(source->picture().width() + 24, source->picture().height() + 60);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        wanted = wanted.boundedTo(screen->availableSize() * 0.8);
    resize(wanted.expandedTo(QSize(320, 240)));
}
