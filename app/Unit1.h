// Unit1: the main window TForm1 and its two commands, Load (Button2Click) and
// edge detection (Button6Click).
//
// The controls come from Unit1.ui; every one is a public member named after
// its component (Image1, Edit13, Label12, Shape1, ...). The form only runs the
// dialogs, calls io/ and detect/ and shows what they return: the pixels and
// every field text are the core's.
//
// Beyond the two buttons, without touching the fixed layout: a picture file
// dropped on the window, or named on the command line, loads as "Laod" would;
// a view's context menu saves or copies its picture; the panel's copies the
// results as text; double-clicking a view opens its picture in a separate
// viewer window. Return presses the focused button; Ctrl+O is Laod, Ctrl+S
// saves Image2's picture, Ctrl+Q closes the window and F1 tells what the
// program is.
#pragma once

#include "ui_Unit1.h"

#include "edge_pass.h"
#include "quad_report.h"

#include <QLineEdit>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

class QFileDialog;
class TPictureViewer;

class TForm1 : public QWidget, public Ui::TForm1 {
    Q_OBJECT

public:
    explicit TForm1(QWidget* parent = nullptr);

    // The core's operators on the grid the last detection captured: interior
    // pixels of that picture only, and only until the next Load frees a
    // large grid.
    std::int32_t GradientY(std::int32_t x, std::int32_t y) const;
    std::int32_t GradientX(std::int32_t x, std::int32_t y) const;

    // The field's control: Edit1 for Corner3X ... (report/panel_table.h).
    QLineEdit* Edit(quadfind::Field field) const { return edits_[quadfind::FieldIndex(field)]; }

    // Loads `path` (the system's bytes) once the event loop runs, as a
    // dropped file: for a file named on the command line.
    void openWhenShown(const std::string& path);

public slots:
    void Button2Click();
    void Button6Click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // A new dialog for every command: a dialog kept between uses kept its
    // file-name completer's popup open after Return, and that popup then ate
    // the next click in the window.
    std::unique_ptr<QFileDialog> OpenPictureDialog1() const;
    std::unique_ptr<QFileDialog> SavePictureDialog1() const;

    // Loads `path` into Image1, or reports why not and leaves it as it was.
    void loadPicture(const std::string& path); // the name's bytes, as the system takes them
    void showViewMenu(TPictureView* view, const QPoint& at);
    void savePicture(const TPictureView* view);
    void copyPicture(const TPictureView* view);
    void copyResults() const;
    void openViewer(TPictureView* view);
    void showAbout();

    std::array<QLineEdit*, quadfind::kFieldCount> edits_{};
    QString pictureFolder_; // where the last picture loaded came from
    std::array<QPointer<TPictureViewer>, 2> viewers_;
    quadfind::EdgePassWorkspace workspace_;
};

// The one main window, set by the program entry when it creates the form.
extern TForm1* Form1;
