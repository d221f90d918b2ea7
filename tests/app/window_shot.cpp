// Opens the window, loads a picture through the real Load command and its
// dialog, runs edge detection and saves what the window shows as a PNG.
//
//   quadfind-window-shot PICTURE.bmp OUT.png
#include "Unit1.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QTimer>

#include <cstdio>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s PICTURE.bmp OUT.png\n", argv[0]);
        return 2;
    }
    TForm1 form;
    Form1 = &form;
    form.show();
    // The name typed into the open dialog's name box, as a user would, once;
    // anything else that opens (the picture cannot be read) closed.
    QTimer answer;
    bool typed = false;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (auto* open = qobject_cast<QFileDialog*>(dialog); open && !typed) {
            open->findChild<QLineEdit*>("fileNameEdit")->setText(QFileInfo(argv[1]).absoluteFilePath());
            typed = true;
            // Queued: a box the dialog opens from here would stop this timer.
            QMetaObject::invokeMethod(dialog, &QDialog::accept, Qt::QueuedConnection);
        } else if (dialog) {
            dialog->reject();
        }
    });
    answer.start(5);
    form.Button2->click();
    form.Button6->click();
    const bool done = !form.Image1->picture().empty() && form.grab().save(QString::fromLocal8Bit(argv[2]));
    if (!done)
        std::fprintf(stderr, "cannot load %s or write %s\n", argv[1], argv[2]);
    Form1 = nullptr;
    return done ? 0 : 1;
}
