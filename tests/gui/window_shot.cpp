// Opens the window, loads a picture through the real Load command and its
// dialog, runs edge detection and saves what the window shows as a PNG.
//
//   quadfind-window-shot PICTURE.bmp OUT.png
#include "Unit1.h"
#include "modal_script.h"

#include <QApplication>
#include <QFileInfo>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s PICTURE.bmp OUT.png\n", argv[0]);
        return 2;
    }
    QApplication application(argc, argv);
    const QString picture = QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath();
    const QString out = QString::fromLocal8Bit(argv[2]);

    TForm1 form;
    Form1 = &form;
    form.show();
    {
        quadfind::testing::ModalScript script({quadfind::testing::ChooseFile(picture)});
        form.Button2->click();
    }
    if (form.Image1->picture().empty()) {
        std::fprintf(stderr, "%s was not loaded\n", argv[1]);
        return 1;
    }
    form.Button6->click();
    if (!form.grab().save(out)) {
        std::fprintf(stderr, "cannot write %s\n", argv[2]);
        return 1;
    }
    Form1 = nullptr;
    return 0;
}
