#include "Unit1.h"

#include "bmp_writer.h"
#include "edge_detection.h"
#include "edge_rule.h"
#include "exception_report.h"
#include "intensity_grid.h"
#include "panel_text.h"
#include "picture_error.h"
#include "picture_file.h"
#include "picture_viewer.h"
#include "quadfind_version.h"
#include "window_font.h"

#include <QAction>
#include <QApplication>
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
#include <QKeySequence>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>

#include <algorithm>
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

const QString kBitmapsFilter = QStringLiteral("Bitmaps (*.bmp)");

// Every ending the loader reads by name; the bitmaps' filter stays first and
// chosen, since the window is made for bitmaps.
QString AllPicturesFilter() {
    QStringList patterns;
    for (const std::string& suffix : quadfind::ReadableSuffixes())
        patterns << QStringLiteral("*.") + QString::fromStdString(suffix);
    return QStringLiteral("All pictures (%1)").arg(patterns.join(' '));
}

// A filter's patterns, each matching its ending in any case: camera cards
// and Windows shares name bitmaps PHOTO.BMP, and Linux file systems compare
// names by case, so "*.bmp" alone could hide them.
QStringList AnyCasePatterns(const QString& filter) {
    const qsizetype open = filter.indexOf('('), close = filter.lastIndexOf(')');
    QStringList patterns = filter.mid(open + 1, close - open - 1).split(' ', Qt::SkipEmptyParts);
    for (QString& pattern : patterns) {
        QString anyCase;
        for (const QChar c : pattern)
            anyCase += c.isLetter() ? QStringLiteral("[%1%2]").arg(c.toLower(), c.toUpper()) : QString(c);
        pattern = anyCase;
    }
    return patterns;
}

// The edge rule as the About box states it, from the core's own constants.
QString EdgeRuleSentence() {
    return QStringLiteral("A pixel is an edge pixel when GradientY + GradientX, the two gradients of the blue "
                          "component around it, add up to at least %1; corner 1 is the first edge pixel in "
                          "raster order and corner 3 the last.")
        .arg(quadfind::edge_rule::kThreshold);
}

std::string NativePath(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

// A dropped file's name as the system's bytes. QUrl::toLocalFile turns
// bytes that are not UTF-8 (a Latin-1 "é" from an old archive) into U+FFFD,
// which names no file; the URL's percent-encoding still holds them.
std::string DroppedFileName(const QUrl& url) {
    return QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()).toStdString();
}

// Local files only, and every one of them: a drop that mixes in a web
// address is not a picture this program can open.
bool AllLocalFiles(const QList<QUrl>& urls) {
    return !urls.isEmpty() && std::all_of(urls.begin(), urls.end(), [](const QUrl& url) { return url.isLocalFile(); });
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
    // Return presses the focused button, as Space does: desktop users press
    // either. Laod has the keyboard from the start, and shows it.
    for (QPushButton* button : {Button2, Button6})
        button->setAutoDefault(true);
    Button2->setFocus(Qt::OtherFocusReason);
    setAttribute(Qt::WA_KeyboardFocusChange);

    const auto addShortcut = [this](const QKeySequence& keys, auto command) {
        auto* action = new QAction(this);
        action->setShortcut(keys);
        connect(action, &QAction::triggered, this, command);
        addAction(action);
    };
    addShortcut(QKeySequence::Open, &TForm1::Button2Click);
    addShortcut(QKeySequence(Qt::CTRL | Qt::Key_S), [this] {
        if (Image2->picture().empty())
            QApplication::beep(); // no result yet: as a disabled menu entry would be
        else
            savePicture(Image2);
    });
    addShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q), &QWidget::close);
    addShortcut(QKeySequence::HelpContents, &TForm1::showAbout);
    // Sees every window of the program close: see eventFilter.
    qApp->installEventFilter(this);

    // By the table's names, so that the stored layout and the table cannot
    // pair a figure with another control unnoticed (the form suite checks
    // that each is found, under its heading).
    for (const quadfind::Field field : quadfind::kFields)
        edits_[quadfind::FieldIndex(field)] = findChild<QLineEdit*>(QString::fromStdString(quadfind::FieldName(field)));

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
                                                kBitmapsFilter + QStringLiteral(";;") + AllPicturesFilter());
    dialog->setObjectName(QStringLiteral("OpenPictureDialog1"));
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setFileMode(QFileDialog::ExistingFile);
    // Qt's own dialog on every desktop, so that the any-case patterns below
    // apply and the dialog behaves the same everywhere.
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    if (auto* model = dialog->findChild<QFileSystemModel*>()) {
        model->setNameFilters(AnyCasePatterns(kBitmapsFilter));
        // Choosing a filter applies the dialog's own patterns; ours replace them.
        connect(dialog.get(), &QFileDialog::filterSelected, model,
                [model](const QString& filter) { model->setNameFilters(AnyCasePatterns(filter)); });
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
        Image1->setPicture(quadfind::LoadPicture(path), QFileInfo(QFile::decodeName(path.c_str())).fileName());
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
        const QString lastResultName = Image2->pictureName();
        quadfind::PictureSurface working = Image2->takePicture();
        quadfind::EdgeDetectionRun run;
        try {
            run = quadfind::RunEdgeDetection(picture, working, workspace_, QLocale().decimalPoint().toStdString());
        } catch (...) {
            // Out of memory before the pass wrote anything (for the grid,
            // say): the last result goes back to the view, beside the fields
            // that still describe it. A new size has freed it already.
            Image2->setPicture(std::move(working), lastResultName);
            throw;
        }
        // A field the run leaves alone goes back to its first text, so that
        // no field shows a figure of an earlier picture beside this one's.
        const quadfind::ShownFields shown = quadfind::ShownAfterRun(run.fields);
        for (const quadfind::Field field : quadfind::kFields)
            Edit(field)->setText(QString::fromStdString(shown[quadfind::FieldIndex(field)]));
        Image2->setPicture(std::move(working), Image1->pictureName());
    });
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    // With no window manager nobody hands the keyboard back when a dialog,
    // a message box or the viewer closes, and the next key (Ctrl+S after a
    // Load, say) would go nowhere. Menus and tooltips give it back themselves.
    if (event->type() == QEvent::Hide && watched != this && watched->isWidgetType()) {
        const auto* closed = static_cast<const QWidget*>(watched);
        const Qt::WindowType type = closed->windowType();
        if (closed->isWindow() && type != Qt::Popup && type != Qt::ToolTip)
            QMetaObject::invokeMethod(
                this,
                [this] {
                    if (QApplication::activePopupWidget() || !isVisible())
                        return;
                    if (QWidget* modal = QApplication::activeModalWidget())
                        modal->activateWindow(); // the dialog a message box stood over
                    else
                        activateWindow();
                },
                Qt::QueuedConnection);
    }
    return QWidget::eventFilter(watched, event);
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
        const QImage image = quadfind::BorrowedWindow(picture, {}, QSize(picture.width(), picture.height())).copy();
        if (image.isNull())
            throw std::runtime_error("The picture is too large to copy.");
        QGuiApplication::clipboard()->setImage(image);
    });
}

void TForm1::copyResults() const {
    quadfind::ShownFields shown;
    for (const quadfind::Field field : quadfind::kFields)
        shown[quadfind::FieldIndex(field)] = Edit(field)->text().toStdString();
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

void TForm1::openWhenShown(const std::string& path) {
    QMetaObject::invokeMethod(
        this, [this, path] { loadPicture(path); }, Qt::QueuedConnection);
}

void TForm1::showAbout() {
    QMessageBox::about(this, QStringLiteral("About quadfind"),
                       QStringLiteral("quadfind %1\n\nFinds a quadrilateral in a picture and shows its corners, "
                                      "its size and half of it.\n\n%2\n\nquadfind is free software under the "
                                      "MIT licence. Its font, Quadfind Sans TC (a subset of Noto Sans CJK TC), "
                                      "is under the SIL Open Font License 1.1.")
                           .arg(QStringLiteral(QUADFIND_VERSION), EdgeRuleSentence()));
}

void TForm1::dragEnterEvent(QDragEnterEvent* event) {
    // Several files are taken too, so that the drop can say why it loads none.
    if (AllLocalFiles(event->mimeData()->urls()))
        event->acceptProposedAction();
}

void TForm1::dropEvent(QDropEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (!AllLocalFiles(urls))
        return;
    event->acceptProposedAction();
    // After the drop has been answered: a box shown inside the drop would
    // keep the file manager waiting for the end of the drag.
    if (urls.size() > 1) {
        const QString text = QStringLiteral("Drop one picture at a time: %1 files were dropped.").arg(urls.size());
        QMetaObject::invokeMethod(
            this, [this, text] { ShowMessage(this, text); }, Qt::QueuedConnection);
        return;
    }
    openWhenShown(DroppedFileName(urls.first()));
}
