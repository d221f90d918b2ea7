// The window's command line, as a shell or a file manager uses it. With no
// display at all: --help, --version and a usage error must answer without
// opening a window, which could only fail here.
#include <QProcess>

#include <gtest/gtest.h>

namespace {

struct Outcome {
    int status;
    QString out, err;
};

Outcome Quadfind(const QStringList& arguments, const QString& outputFile = {}) {
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.insert("QT_QPA_PLATFORM", "xcb"); // a window would abort: no display
    program.setProcessEnvironment(env);
    if (!outputFile.isEmpty())
        program.setStandardOutputFile(outputFile);
    program.start(QStringLiteral(QUADFIND_PROGRAM), arguments);
    EXPECT_TRUE(program.waitForFinished(20000)) << qPrintable(arguments.join(' '));
    return {program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1,
            QString::fromUtf8(program.readAllStandardOutput()), QString::fromUtf8(program.readAllStandardError())};
}

TEST(CommandLine, AnswersWithoutAWindow) {
    QProcess cli;
    cli.start(QStringLiteral(QUADFIND_CLI), {"--version"});
    ASSERT_TRUE(cli.waitForFinished(20000));
    const QString cliVersion = QString::fromUtf8(cli.readAllStandardOutput()).section(' ', 1);

    struct Case {
        QStringList arguments;
        int status;
        QString out; // the start of standard output
        QString err; // a part of standard error
    };
    const Case cases[] = {
        {{"--help"}, 0, "Usage: ", ""},
        {{"-h"}, 0, "Usage: ", ""},
        {{"--version"}, 0, "quadfind " + cliVersion, ""},
        {{"--bogus"}, 2, "", "quadfind: Unknown option 'bogus'.\nTry 'quadfind --help'.\n"},
        {{"a.bmp", "b.bmp"}, 2, "", "quadfind: one picture at a time, but 2 were given\n"},
    };
    for (const Case& c : cases) {
        const Outcome run = Quadfind(c.arguments);
        const QString what = c.arguments.join(' ');
        EXPECT_EQ(run.status, c.status) << qPrintable(what) << ": " << qPrintable(run.err);
        EXPECT_TRUE(c.out.isEmpty() ? run.out.isEmpty() : run.out.startsWith(c.out)) << qPrintable(what) << ": "
                                                                                     << qPrintable(run.out);
        EXPECT_TRUE(c.err.isEmpty() ? run.err.isEmpty() : run.err.contains(c.err)) << qPrintable(what) << ": "
                                                                                    << qPrintable(run.err);
    }
    EXPECT_TRUE(Quadfind({"--help"}).out.contains("[FILE]"));

    // A full disk takes no help: said, and not reported as success.
    const Outcome full = Quadfind({"--help"}, "/dev/full");
    EXPECT_EQ(full.status, 1);
    EXPECT_TRUE(full.err.contains("cannot write to standard output: No space left on device")) << qPrintable(full.err);
}

} // namespace
