#include "Unit1.h"

#include "bmp_writer.h"
#include "edge_detection.h"
#include "exception_report.h"
#include "intensity_grid.h"
#include "panel_text.h"
#include "picture_error.h"
#include "picture_file.h"
#include "picture_viewer.h"
#include "window_font.h"

#include <QBuffer>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGuiApplication>
#include <QIcon>
#include <QImageWriter>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>

#include <exception>
#include <string>

TForm1* Form1 = nullptr;

namespace {

// A modal box with the text and an OK button, titled like the application.
void ShowMessage(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, QCoreApplication::applicationName(), text, QMessageBox::Ok, parent);
    box.exec();
}

// Runs `command` the way every command of the window runs: an exception goes
// to the application's exception report and the window carries on.
template <class Command>
void Guarded(Command command) {
    try {
        command();
    } catch (const std::exception& error) {
        quadfind::ShowException(error);
    } catch (...) {
        quadfind::ShowUnknownException();
    }
}

// The wait cursor for as long as a command works on a picture. The event
// loop is blocked meanwhile, so the cursor is all a user sees of the work.
class BusyCursor {
public:
    BusyCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QGuiApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

// Camera cards and Windows shares name bitmaps PHOTO.BMP; Linux file systems
// compare names by case, so the dialog's "*.bmp" would hide them.
const QStringList kAnyCaseBitmaps{QStringLiteral("*.[bB][mM][pP]")};

std::string NativePath(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

// A dropped file's name as the system's bytes. QUrl::toLocalFile turns
// bytes that are not UTF-8 (a Latin-1 "é" from an old archive) into U+FFFD,
// which names no file; the URL's percent-encoding still holds them.
std::string DroppedFileName(const QUrl& url) {
    return QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()).toStdString();
}

[[noreturn]] void RefuseSave(const QString& path, const QString& reason) {
    throw quadfind::PictureError(
        QStringLiteral("Cannot save %1: %2").arg(QDir::toNativeSeparators(path), reason).toStdString());
}

} // namespace

TForm1::TForm1(QWidget* parent) : QWidget(parent) {
    setupUi(this);
    // The stored layout gives the client size; a top-level form opens at
    // its designed position, which uic does not apply.
    move(33, 139);
    setFont(quadfind::WindowFont());
    setWindowIcon(QIcon(QStringLiteral(":/icons/quadfind.svg")));
    setAcceptDrops(true);

    edits_ = {Edit1, Edit2, Edit3, Edit4, Edit5, Edit6, Edit7, Edit8, Edit9, Edit10, Edit11, Edit12, Edit13, Edit14};

    connect(Button2, &QPushButton::clicked, this, &TForm1::Button2Click);
    connect(Button6, &QPushButton::clicked, this, &TForm1::Button6Click);
    for (TPictureView* view : {Image1, Image2}) {
        connect(view, &QWidget::customContextMenuRequested, this,
                [this, view](const QPoint& at) { showViewMenu(view, at); });
        connect(view, &TPictureCanvas::doubleClicked, this, [this, view] { openViewer(view); });
    }
}

std::int32_t TForm1::GradientY(std::int32_t x, std::int32_t y) const {
    return quadfind::GradientY(x, y);
}

std::int32_t TForm1::GradientX(std::int32_t x, std::int32_t y) const {
    return quadfind::GradientX(x, y);
}

std::unique_ptr<QFileDialog> TForm1::OpenPictureDialog1() const {
    auto dialog = std::make_unique<QFileDialog>(const_cast<TForm1*>(this), QString(), pictureFolder_,
                                                QStringLiteral("Bitmaps (*.bmp)"));
    dialog->setObjectName(QStringLiteral("OpenPictureDialog1"));
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setFileMode(QFileDialog::ExistingFile);
    // Qt's own dialog on every desktop, so that the any-case pattern below
    // applies and the dialog behaves the same everywhere.
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    if (auto* model = dialog->findChild<QFileSystemModel*>()) {
        model->setNameFilters(kAnyCaseBitmaps);
        // Choosing the filter again re-applies the dialog's own pattern.
        connect(dialog.get(), &QFileDialog::filterSelected, model,
                [model] { model->setNameFilters(kAnyCaseBitmaps); });
    }
    return dialog;
}

std::unique_ptr<QFileDialog> TForm1::SavePictureDialog1() const {
    auto dialog = std::make_unique<QFileDialog>(const_cast<TForm1*>(this), QString(), pictureFolder_,
                                                QStringLiteral("Bitmaps (*.bmp);;PNG pictures (*.png)"));
    dialog->setObjectName(QStringLiteral("SavePictureDialog1"));
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setDefaultSuffix(QStringLiteral("bmp"));
    return dialog;
}

void TForm1::Button2Click() {
    Guarded([this] {
        QString chosen;
        {
            const std::unique_ptr<QFileDialog> dialog = OpenPictureDialog1();
            if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty())
                return;
            chosen = dialog->selectedFiles().first();
        }
        loadPicture(NativePath(chosen));
    });
}

void TForm1::loadPicture(const std::string& path) {
    Guarded([&] {
        BusyCursor busy;
        // The last detection's grid is of no more use, and a large picture
        // needs the room while the file and the new picture are both held.
        quadfind::IntensityGrid.releaseOverflow();
        // Loads fully before touching Image1, so a file that cannot be read
        // leaves the previous picture in place.
        Image1->setPicture(quadfind::LoadPicture(path));
        pictureFolder_ = QFileInfo(QFile::decodeName(path.c_str())).absolutePath();
    });
}

void TForm1::Button6Click() {
    Guarded([this] {
        const quadfind::PictureSurface& picture = Image1->picture();
        if (picture.empty())
            ShowMessage(this, QStringLiteral("請載入圖檔!!")); // and the command goes on
        BusyCursor busy;
        // The last result's memory becomes the working copy when the sizes
        // agree: a repeated detection allocates nothing.
        quadfind::PictureSurface working = Image2->takePicture();
        quadfind::EdgeDetectionRun run;
        try {
            run = quadfind::RunEdgeDetection(picture, working, workspace_, QLocale().decimalPoint().toStdString());
        } catch (...) {
            // Out of memory before the pass wrote anything (for the grid,
            // say): the last result goes back to the view, beside the fields
            // that still describe it. A new size has freed it already.
            Image2->setPicture(std::move(working));
            throw;
        }
        for (int n = 1; n <= quadfind::FieldTexts::kCount; ++n)
            if (const auto& text = run.fields.edit(n))
                Edit(n)->setText(QString::fromStdString(*text));
        Image2->setPicture(std::move(working));
    });
}

void TForm1::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    connect(menu.addAction(QStringLiteral("Copy results")), &QAction::triggered, this, &TForm1::copyResults);
    menu.exec(event->globalPos());
}

void TForm1::showViewMenu(TPictureView* view, const QPoint& at) {
    QMenu menu(this);
    QAction* save = menu.addAction(QStringLiteral("Save picture as…"));
    QAction* copy = menu.addAction(QStringLiteral("Copy picture"));
    save->setEnabled(!view->picture().empty());
    copy->setEnabled(!view->picture().empty());
    connect(save, &QAction::triggered, this, [this, view] { savePicture(view); });
    connect(copy, &QAction::triggered, this, [this, view] { copyPicture(view); });
    menu.exec(view->mapToGlobal(at));
}

void TForm1::savePicture(const TPictureView* view) {
    Guarded([&] {
        QString path;
        {
            const std::unique_ptr<QFileDialog> dialog = SavePictureDialog1();
            if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty())
                return;
            path = dialog->selectedFiles().first();
        }
        BusyCursor busy;
        const quadfind::PictureSurface& picture = view->picture();
        const QString suffix = QFileInfo(path).suffix().toLower();
        if (suffix == QLatin1String("bmp")) {
            quadfind::SaveBmp(picture, NativePath(path));
            return;
        }
        if (suffix != QLatin1String("png"))
            RefuseSave(path, QStringLiteral("the name must end in .bmp or .png"));
        const QImage image = quadfind::BorrowedWindow(picture, {}, QSize(picture.width(), picture.height()));
        if (image.isNull())
            RefuseSave(path, QStringLiteral("the picture is too wide for a PNG file"));
        // Encoded in memory first: Qt's writers lose the system's cause of a
        // failed write ("Unknown error"), our file writer keeps it.
        QByteArray encoded;
        QBuffer buffer(&encoded);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, "png");
        if (!writer.write(image))
            RefuseSave(path, writer.errorString());
        quadfind::SaveFile({reinterpret_cast<const std::uint8_t*>(encoded.constData()), std::size_t(encoded.size())},
                           NativePath(path));
    });
}

void TForm1::copyPicture(const TPictureView* view) {
    Guarded([&] {
        BusyCursor busy;
        const quadfind::PictureSurface& picture = view->picture();
        // The clipboard outlives the view's picture, so it gets its own copy.
        const QImage image =
            quadfind::BorrowedWindow(picture, {}, QSize(picture.width(), picture.height())).copy();
        if (image.isNull())
            throw std::runtime_error("The picture is too large to copy.");
        QGuiApplication::clipboard()->setImage(image);
    });
}

void TForm1::copyResults() const {
    quadfind::ShownFields shown;
    for (int n = 1; n <= quadfind::FieldTexts::kCount; ++n)
        shown[std::size_t(n - 1)] = Edit(n)->text().toStdString();
    QGuiApplication::clipboard()->setText(QString::fromStdString(quadfind::PanelText(shown)));
}

void TForm1::openViewer(TPictureView* view) {
    QPointer<TPictureViewer>& viewer = viewers_[view == Image1 ? 0 : 1];
    if (!viewer) {
        viewer = new TPictureViewer(view, view->objectName(), this);
        viewer->show();
    }
    viewer->raise();
    viewer->activateWindow();
}

void TForm1::dragEnterEvent(QDragEnterEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.size() == 1 && urls.first().isLocalFile())
        event->acceptProposedAction();
}

void TForm1::dropEvent(QDropEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.size() != 1 || !urls.first().isLocalFile())
        return;
    event->acceptProposedAction();
    // After the drop has been answered: an error box shown inside the drop
    // would keep the file manager waiting for the end of the drag.
    const std::string path = DroppedFileName(urls.first());
    QMetaObject::invokeMethod(this, [this, path] { loadPicture(path); }, Qt::QueuedConnection);
}
