// Opens the window, puts a picture in the left view with the loader the Load
// command uses (no dialog: nobody is there to answer it), runs edge detection
// and saves what the window shows as a PNG: the README's picture of the
// window (scripts/screenshot.sh).
//
//   quadfind-window-shot PICTURE.bmp OUT.png
#include "Unit1.h"
#include "bmp_writer.h"
#include "picture_file.h"

#include <QApplication>
#include <QBuffer>

#include <cstdio>
#include <exception>
#include <stdexcept>

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
        form.Button6->click();
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        if (!form.grab().save(&buffer, "PNG"))
            throw std::runtime_error("cannot encode the window as a PNG picture");
        // The window's own careful writer: a failed shot leaves the earlier
        // picture as it was.
        quadfind::SaveFile({reinterpret_cast<const std::uint8_t*>(png.constData()), std::size_t(png.size())}, argv[2]);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
