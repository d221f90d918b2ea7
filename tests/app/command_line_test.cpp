// The window's command line, as a shell or a file manager uses it. With no
// display at all: --help, --version and a usage error must answer without
// opening a window, which could only fail here.
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>

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
        EXPECT_TRUE(c.out.isEmpty() ? run.out.isEmpty() : run.out.startsWith(c.out))
            << qPrintable(what) << ": " << qPrintable(run.out);
        EXPECT_TRUE(c.err.isEmpty() ? run.err.isEmpty() : run.err.contains(c.err))
            << qPrintable(what) << ": " << qPrintable(run.err);
    }
    EXPECT_TRUE(Quadfind({"--help"}).out.contains("[FILE]"));

    // A full disk takes no help: said, and not reported as success.
    const Outcome full = Quadfind({"--help"}, "/dev/full");
    EXPECT_EQ(full.status, 1);
    EXPECT_TRUE(full.err.contains("cannot write to standard output: No space left on device")) << qPrintable(full.err);
}

// A session that ends, kill or Ctrl+C: the window closes as if asked to,
// with a picture loaded, and nothing is said on stderr.
TEST(CommandLine, ClosesCleanlyWhenAskedToGo) {
    // A session has its runtime folder; without one Qt says so on stderr.
    const QTemporaryDir runtime;
    ASSERT_TRUE(runtime.isValid());
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("XDG_RUNTIME_DIR", runtime.path());
        program.setProcessEnvironment(env);
        program.start(QStringLiteral(QUADFIND_PROGRAM), {QStringLiteral(QUADFIND_SAMPLE)});
        ASSERT_TRUE(program.waitForStarted());
        // Sent once the program has taken the signal over (its bit in
        // SigCgt), so that the default action cannot win a race.
        const unsigned long long bit = 1ULL << (signal - 1);
        bool caught = false;
        for (int i = 0; i < 2000 && !caught && program.state() == QProcess::Running; ++i) {
            QFile status(QStringLiteral("/proc/%1/status").arg(program.processId()));
            if (status.open(QIODevice::ReadOnly))
                for (const QByteArray& line : status.readAll().split('\n'))
                    if (line.startsWith("SigCgt:"))
                        caught = (line.mid(7).trimmed().toULongLong(nullptr, 16) & bit) != 0;
            if (!caught)
                QThread::msleep(10);
        }
        ASSERT_TRUE(caught) << "signal " << signal << " is never handled";
        ::kill(pid_t(program.processId()), signal);
        ASSERT_TRUE(program.waitForFinished(20000));
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit) << "signal " << signal;
        EXPECT_EQ(program.exitCode(), 0) << "signal " << signal;
        EXPECT_EQ(program.readAllStandardError().toStdString(), "") << "signal " << signal;
    }
}

} // namespace
