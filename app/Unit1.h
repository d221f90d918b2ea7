// Unit1: the main window TForm1 and its two commands, Load (Button2Click) and
// edge detection (Button6Click).
//
// The controls come from Unit1.ui; every one is a public member named after
// its component (Image1, Edit13, Label12, Shape1, ...). The form only runs the
// dialogs, calls io/ and detect/ and shows what they return: the pixels and
// every field text are the core's.
#pragma once

#include "ui_Unit1.h"

#include <QFileDialog>
#include <QLineEdit>
#include <QString>
#include <QWidget>

#include <array>
#include <cstddef>
#include <cstdint>

class TForm1 : public QWidget, public Ui::TForm1 {
    Q_OBJECT

public:
    explicit TForm1(QWidget* parent = nullptr);

    // The Load command's dialog, "Bitmaps (*.bmp)". A member so that it keeps
    // its folder between commands.
    QFileDialog* OpenPictureDialog1;

    // The core's operators on the captured IntensityGrid; interior pixels only.
    std::int32_t GradientY(std::int32_t x, std::int32_t y) const;
    std::int32_t GradientX(std::int32_t x, std::int32_t y) const;

    // Edit1 ... Edit14 by number.
    QLineEdit* Edit(int number) const { return edits_.at(std::size_t(number - 1)); }

public slots:
    void Button2Click();
    void Button6Click();

private:
    std::array<QLineEdit*, 14> edits_{};
};

// The one main window, set by the program entry when it creates the form.
extern TForm1* Form1;
