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
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s PICTURE.bmp OUT.png\n", argv[0]);
        return 2;
    }
    QApplication application(argc, argv);
    TForm1 form;
    Form1 = &form;
    form.show();
    // The name typed into the open dialog's name box, as a user would.
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
            dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))
                ->setText(QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath());
            static_cast<QDialog*>(dialog)->accept();
        }
    });
    answer.start(5);
    form.Button2->click();
    if (form.Image1->picture().empty()) {
        std::fprintf(stderr, "%s was not loaded\n", argv[1]);
        return 1;
    }
    form.Button6->click();
    if (!form.grab().save(QString::fromLocal8Bit(argv[2]))) {
        std::fprintf(stderr, "cannot write %s\n", argv[2]);
        return 1;
    }
    Form1 = nullptr;
    return 0;
}
