// A stand-in for a file manager in the window suite: a small window that,
// when pressed, drags the file URLs on its command line as a text/uri-list.
// The URL comes percent-encoded, as a file manager sends it, so that it can
// name a file whose name is not UTF-8.
// It prints "accepted" once a drop target has taken the drag, so that the
// suite releases the button only then; it runs until the suite ends it.
#include <QApplication>
#include <QDrag>
#include <QMimeData>
#include <QPushButton>
#include <QUrl>

#include <cstdio>

int main(int argc, char** argv) { // argv[1]...: the files' URLs
    QApplication application(argc, argv);
    std::setvbuf(stdout, nullptr, _IONBF, 0); // read by the suite while this runs
    QPushButton source;
    source.setWindowTitle(QStringLiteral("quadfind drag source"));
    source.setGeometry(1100, 850, 120, 80); // clear of the form
    QObject::connect(&source, &QPushButton::pressed, [&] {
        // Both stay after the drop: the target reads the dropped data from them.
        auto* drag = new QDrag(&source);
        drag->setMimeData(new QMimeData);
        QList<QUrl> urls;
        for (int i = 1; i < argc; ++i)
            urls << QUrl::fromEncoded(argv[i]);
        drag->mimeData()->setUrls(urls);
        QObject::connect(drag, &QDrag::actionChanged, [](Qt::DropAction action) {
            if (action != Qt::IgnoreAction)
                std::puts("accepted");
        });
        drag->exec(Qt::CopyAction);
    });
    source.show();
    return QApplication::exec();
}
