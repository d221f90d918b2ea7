#include "Unit1.h"

#include "edge_detection.h"
#include "exception_report.h"
#include "intensity_grid.h"
#include "picture_file.h"
#include "window_font.h"

#include <QGuiApplication>
#include <QIcon>
#include <QLocale>
#include <QMessageBox>
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

} // namespace

TForm1::TForm1(QWidget* parent) : QWidget(parent) {
    setupUi(this);
    // The stored layout gives the client size; a top-level form opens at
    // its designed position, which uic does not apply.
    move(33, 139);
    setFont(quadfind::WindowFont());
    setWindowIcon(QIcon(QStringLiteral(":/icons/quadfind.svg")));

    edits_ = {Edit1, Edit2, Edit3, Edit4, Edit5, Edit6, Edit7, Edit8, Edit9, Edit10, Edit11, Edit12, Edit13, Edit14};

    OpenPictureDialog1 = new QFileDialog(this, QString(), QString(), QStringLiteral("Bitmaps (*.bmp)"));
    OpenPictureDialog1->setObjectName(QStringLiteral("OpenPictureDialog1"));
    OpenPictureDialog1->setAcceptMode(QFileDialog::AcceptOpen);
    OpenPictureDialog1->setFileMode(QFileDialog::ExistingFile);
    // Platforms without a screen have no native dialog to show.
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal"))
        OpenPictureDialog1->setOption(QFileDialog::DontUseNativeDialog);

    connect(Button2, &QPushButton::clicked, this, &TForm1::Button2Click);
    connect(Button6, &QPushButton::clicked, this, &TForm1::Button6Click);
}

std::int32_t TForm1::GradientY(std::int32_t x, std::int32_t y) const {
    return quadfind::GradientY(x, y);
}

std::int32_t TForm1::GradientX(std::int32_t x, std::int32_t y) const {
    return quadfind::GradientX(x, y);
}

void TForm1::Button2Click() {
    try {
        if (OpenPictureDialog1->exec() != QDialog::Accepted)
            return;
        const QStringList chosen = OpenPictureDialog1->selectedFiles();
        if (chosen.isEmpty())
            return;
        // Loads fully before touching Image1, so a file that cannot be read
        // leaves the previous picture in place.
        Image1->setPicture(quadfind::LoadPicture(chosen.first().toStdString()));
    } catch (const std::exception& error) {
        quadfind::ShowException(error);
    } catch (...) {
        quadfind::ShowUnknownException();
    }
}

void TForm1::Button6Click() {
    try {
        const quadfind::PictureSurface& picture = Image1->picture();
        if (picture.empty())
            ShowMessage(this, QStringLiteral("請載入圖檔!!")); // and the command goes on
        {
            // The working copy lives for this block only. Loading already
            // gave Image1 24 bits per pixel, so the copy has them too.
            quadfind::PictureSurface working;
            const quadfind::EdgeDetectionRun run =
                quadfind::RunEdgeDetection(picture, working, QLocale().decimalPoint().toStdString());
            for (int n = 1; n <= quadfind::FieldTexts::kCount; ++n)
                if (const auto& text = run.fields.edit(n))
                    Edit(n)->setText(QString::fromStdString(*text));
            Image2->setPicture(working);
        }
    } catch (const std::exception& error) {
        quadfind::ShowException(error);
    } catch (...) {
        quadfind::ShowUnknownException();
    }
}
