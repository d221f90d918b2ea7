// A stand-in for a file manager in the window suite: a small window that,
// when pressed, drags the file named on its command line as a text/uri-list.
// It prints "accepted" once a drop target has taken the drag, so that the
// suite releases the button only then; it runs until the suite ends it.
#include <QApplication>
#include <QDrag>
#include <QMimeData>
#include <QMouseEvent>
#include <QUrl>
#include <QWidget>

#include <cstdio>

namespace {

class Source : public QWidget {
public:
    explicit Source(QString path) : path_(std::move(path)) {
        setWindowTitle(QStringLiteral("quadfind drag source"));
        setFixedSize(120, 80);
        setAutoFillBackground(true);
    }

protected:
    void mousePressEvent(QMouseEvent*) override {
        auto* mime = new QMimeData;
        mime->setUrls({QUrl::fromLocalFile(path_)});
        auto* drag = new QDrag(this);
        drag->setMimeData(mime);
        connect(drag, &QDrag::actionChanged, [](Qt::DropAction action) {
            if (action != Qt::IgnoreAction) {
                std::puts("accepted");
                std::fflush(stdout);
            }
        });
        // Stays after the drop: the target reads the dropped data from it.
        drag->exec(Qt::CopyAction);
    }

private:
    QString path_;
};

} // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc != 2) {
        std::fputs("usage: drag_source FILE\n", stderr);
        return 2;
    }
    Source source(QString::fromLocal8Bit(argv[1]));
    source.move(1100, 850); // clear of the form
    source.show();
    return QApplication::exec();
}
