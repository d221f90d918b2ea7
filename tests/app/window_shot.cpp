// Opens the window, loads a picture as its Load command does, runs edge
// detection and saves what the window shows as a PNG.
//
//   quadfind-window-shot PICTURE.bmp OUT.png
#include "Unit1.h"
#include "picture_file.h"

#include <QApplication>

#include <cstdio>
#include <exception>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s PICTURE.bmp OUT.png\n", argv[0]);
        return 2;
    }
    TForm1 form;
    form.show();
    try {
        form.Image1->setPicture(quadfind::LoadPicture(argv[1]));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    form.Button6->click();
    if (form.grab().save(QString::fromLocal8Bit(argv[2])))
        return 0;
    std::fprintf(stderr, "cannot write %s\n", argv[2]);
    return 1;
}
