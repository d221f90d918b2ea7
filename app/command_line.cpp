#include "command_line.h"

#include "quadfind_version.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace quadfind {

namespace {

// Checked to the end: `quadfind --help > /dev/full` must not report success.
int Print(std::FILE* stream, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    const bool written =
        std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stream) == std::size_t(bytes.size());
    if (std::fflush(stream) == 0 && written)
        return 0;
    const int cause = errno;
    std::fprintf(stderr, "quadfind: cannot write to %s: %s\n", stream == stdout ? "standard output" : "standard error",
                 std::strerror(cause));
    return 1;
}

} // namespace

CommandLine ReadCommandLine(int argc, char* argv[]) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Finds a quadrilateral in a picture: 邊緣偵測 (edge detection) marks the edges of the picture's blue "
        "component, takes the first and the last edge pixel as corners 1 and 3 and shows the fourteen figures "
        "of the quadrilateral. Laod (Ctrl+O) opens a picture; quadfind-cli does the same for many pictures."));
    // Our own help and version options: Qt's would also offer --help-all,
    // for Qt's options, which this program does not pass on.
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help and exit."));
    const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Show the version and exit."));
    parser.addOption(help);
    parser.addOption(version);
    parser.addPositionalArgument(QStringLiteral("FILE"),
                                 QStringLiteral("A picture to load into the left view once the window shows, as "
                                                "if it had been dropped there."),
                                 QStringLiteral("[FILE]"));
    // Latin-1 maps each byte to one character and back, so a file name that
    // is not valid in the locale's encoding comes out of the parser intact;
    // the options are ASCII either way.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLatin1(argv[i]);

    CommandLine line;
    if (!parser.parse(arguments) || parser.positionalArguments().size() > 1) {
        const QString why =
            parser.positionalArguments().size() > 1
                ? QStringLiteral("one picture at a time, but %1 were given").arg(parser.positionalArguments().size())
                : parser.errorText();
        Print(stderr, QStringLiteral("quadfind: %1\nTry 'quadfind --help'.\n").arg(why));
        line.exitStatus = 2;
        return line;
    }
    if (parser.isSet(help)) {
        // The usage line names the program as it was called, which only an
        // application object knows; no window comes of it.
        int count = 1;
        QCoreApplication named(count, argv);
        line.exitStatus = Print(stdout, parser.helpText());
        return line;
    }
    if (parser.isSet(version)) {
        line.exitStatus = Print(stdout, QStringLiteral("quadfind %1\n").arg(QStringLiteral(QUADFIND_VERSION)));
        return line;
    }
    if (!parser.positionalArguments().isEmpty())
        line.file = parser.positionalArguments().first().toLatin1().toStdString();
    return line;
}

} // namespace quadfind
