// A stand-in for a file manager in the window suite: a small window that,
// when pressed, drags the file named on its command line as a text/uri-list.
// It prints "accepted" once a drop target has taken the drag, so that the
// suite releases the button only then; it runs until the suite ends it.
#include <QApplication>
#include <QDrag>
#include <QMimeData>
#include <QPushButton>
#include <QUrl>

#include <cstdio>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc != 2) {
        std::fputs("usage: drag_source FILE\n", stderr);
        return 2;
    }
    QPushButton source(QStringLiteral("drag me"));
    source.setWindowTitle(QStringLiteral("quadfind drag source"));
    source.setFixedSize(120, 80);
    QObject::connect(&source, &QPushButton::pressed, [&] {
        auto* mime = new QMimeData;
        mime->setUrls({QUrl::fromLocalFile(QString::fromLocal8Bit(argv[1]))});
        // Stays after the drop: the target reads the dropped data from it.
        auto* drag = new QDrag(&source);
        drag->setMimeData(mime);
        QObject::connect(drag, &QDrag::actionChanged, [](Qt::DropAction action) {
            if (action != Qt::IgnoreAction) {
                std::puts("accepted");
                std::fflush(stdout);
            }
        });
        drag->exec(Qt::CopyAction);
    });
    source.move(1100, 850); // clear of the form
    source.show();
    return QApplication::exec();
}
