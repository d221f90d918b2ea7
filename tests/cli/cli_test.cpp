// quadfind-cli end to end: the real binary on files the test writes itself.
#include "bmp_writer.h"
#include "edge_detection.h"
#include "qt_picture.h"
#include "test_pictures.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QMap>
#include <QTemporaryDir>

#include <unistd.h>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace quadfind;
using namespace quadfind::testing;

namespace {

struct Outcome {
    int exitCode;
    QString out, err;
};

class Cli : public ::testing::Test {
protected:
    Outcome run(const QStringList& args, const QString& locale = QStringLiteral("C")) {
        return runIn(QStringLiteral("exec \"$0\" \"$@\""), args, locale);
    }
    // Runs the CLI from a shell line, where "$0" "$@" is the call, in `dir`.
    Outcome runIn(const QString& shell, const QStringList& args, const QString& locale = QStringLiteral("C"),
                  const QByteArray& input = {}) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LC_ALL"), locale);
        env.insert(QStringLiteral("LANG"), locale);
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(dir.path());
        p.start(QStringLiteral("/bin/sh"), QStringList{QStringLiteral("-c"), shell, QStringLiteral(QUADFIND_CLI)} + args);
        p.write(input);
        p.closeWriteChannel();
        EXPECT_TRUE(p.waitForFinished(60000));
        return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
    }
    // Every file under the test's folder with a hash of its bytes: what a
    // refused or failed call must leave exactly as it was.
    QMap<QString, QByteArray> snapshot() const {
        QMap<QString, QByteArray> files;
        QDirIterator it(dir.path(), QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile f(it.next());
            f.open(QIODevice::ReadOnly);
            files[it.filePath()] = QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha1);
        }
        return files;
    }
    QString write(const char* name, const PictureSurface& picture) {
        const QString file = dir.filePath(QString::fromUtf8(name));
        SaveBmp(picture, file.toStdString());
        return file;
    }
    QTemporaryDir dir;
};

TEST_F(Cli, PanelTextForTheWhiteSquare) {
    const QString file = write("square.bmp", whiteSquare());
    const Outcome o = run({file});
    EXPECT_EQ(o.exitCode, 0) << o.err.toStdString();
    const QString expected = file + QStringLiteral(
        ": 10 x 10, 32 edge pixels\n"
        "                                               X          Y\n"
        "整張影像大小      whole picture size           8          8\n"
        "四邊形3之座標     corner 3                     7          7\n"
        "四邊形1之座標     corner 1                     2          2\n"
        "四邊形2之座標     corner 2                     7          2\n"
        "四邊形4之座標     corner 4                     2          7\n"
        "四邊形之大小      box size                     5          5\n"
        "四邊形之中心座標  half box size              2.5        2.5\n");
    EXPECT_EQ(o.out.toStdString(), expected.toStdString());
    EXPECT_TRUE(o.err.isEmpty());
}

TEST_F(Cli, JsonLinesInFieldOrderWithNullsForUnwrittenFields) {
    const QString square = write("square.bmp", whiteSquare());
    const QString uniform = write("uniform.bmp", filled(6, 4, 0x808080));
    const Outcome o = run({QStringLiteral("--json"), square, uniform});
    ASSERT_EQ(o.exitCode, 0) << o.err.toStdString();
    const QStringList lines = o.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2);

    // Key order is part of the format: Edit1 ... Edit14, not sorted.
    qsizetype at = 0;
    for (int n = 1; n <= 14; ++n) {
        const qsizetype next = lines[0].indexOf(QStringLiteral("\"Edit%1\":").arg(n));
        ASSERT_GT(next, at) << "Edit" << n << " out of order";
        at = next;
    }
    const QJsonObject first = QJsonDocument::fromJson(lines[0].toUtf8()).object();
    EXPECT_EQ(first[QStringLiteral("file")].toString(), square);
    EXPECT_EQ(first[QStringLiteral("width")].toInt(), 10);
    EXPECT_EQ(first[QStringLiteral("edge_count")].toInt(), 32);
    const QJsonObject f = first[QStringLiteral("fields")].toObject();
    const char* want[] = {"7", "7", "8", "8", "5", "5", "2", "2", "7", "2", "2", "7", "2.5", "2.5"};
    for (int n = 1; n <= 14; ++n)
        EXPECT_EQ(f[QStringLiteral("Edit%1").arg(n)].toString().toStdString(), want[n - 1]) << "Edit" << n;

    const QJsonObject second = QJsonDocument::fromJson(lines[1].toUtf8()).object();
    const QJsonObject g = second[QStringLiteral("fields")].toObject();
    for (int n : {1, 2, 7, 8})
        EXPECT_TRUE(g[QStringLiteral("Edit%1").arg(n)].isNull()) << "Edit" << n;
    EXPECT_EQ(g[QStringLiteral("Edit3")].toString(), QStringLiteral("4"));
    EXPECT_EQ(g[QStringLiteral("Edit13")].toString(), QStringLiteral("0"));
}

TEST_F(Cli, BrokenPictureIsReportedAndTheOthersStillRun) {
    const QString good = write("good.bmp", whiteSquare());
    const QString missing = dir.filePath(QStringLiteral("missing.bmp"));
    const Outcome o = run({QStringLiteral("--json"), missing, good});
    EXPECT_EQ(o.exitCode, 1);
    EXPECT_TRUE(o.err.contains(QDir::toNativeSeparators(missing))) << o.err.toStdString();
    EXPECT_EQ(o.err.count(QLatin1Char('\n')), 1) << "one line per failed picture";
    EXPECT_TRUE(o.out.contains(good));
}

TEST_F(Cli, OverlayIsTheResultPicture) {
    const PictureSurface picture = whiteSquare();
    PictureSurface expected;
    RunEdgeDetection(picture, expected, testWorkspace(), ".");

    const QString one = write("one.bmp", picture);
    const QString target = dir.filePath(QStringLiteral("result.bmp"));
    ASSERT_EQ(run({QStringLiteral("--overlay"), target, one}).exitCode, 0);
    EXPECT_EQ(SurfaceFromImage(QImage(target)), expected);

    const QString two = write("two.bmp", randomPicture(9, 7, 1));
    const QString outDir = dir.filePath(QStringLiteral("overlays"));
    ASSERT_EQ(run({QStringLiteral("--overlay"), outDir, one, two}).exitCode, 0);
    EXPECT_EQ(SurfaceFromImage(QImage(QDir(outDir).filePath(QStringLiteral("one.bmp")))), expected);
    EXPECT_EQ(QImage(QDir(outDir).filePath(QStringLiteral("two.bmp"))).width(), 9);
}

TEST_F(Cli, DecimalSeparatorFollowsTheLocale) {
    const QString file = write("square.bmp", whiteSquare());
    const Outcome o = run({QStringLiteral("--json"), file}, QStringLiteral("de_DE.UTF-8"));
    const QJsonObject f = QJsonDocument::fromJson(o.out.toUtf8()).object()[QStringLiteral("fields")].toObject();
    EXPECT_EQ(f[QStringLiteral("Edit13")].toString(), QStringLiteral("2,5"));
    EXPECT_EQ(f[QStringLiteral("Edit5")].toString(), QStringLiteral("5"));
}

TEST_F(Cli, UsageErrorsExitWithTwo) {
    const QString file = write("square.bmp", whiteSquare());
    for (const QStringList& args : {QStringList{}, QStringList{QStringLiteral("--bogus"), file},
                                    QStringList{QStringLiteral("--overlay")},
                                    QStringList{QStringLiteral("--max-megapixels"), QStringLiteral("-3"), file},
                                    QStringList{QStringLiteral("--max-megapixels"), QStringLiteral("1e-7"), file},
                                    QStringList{QStringLiteral("--jobs"), QStringLiteral("0"), file},
                                    QStringList{QStringLiteral("-0"), file},
                                    QStringList{QStringLiteral("--min-sum"), QStringLiteral("0"), file},
                                    QStringList{QStringLiteral("--files-from"), QStringLiteral("no-such-list"), file}}) {
        const Outcome o = run(args);
        EXPECT_EQ(o.exitCode, 2) << args.join(' ').toStdString();
        EXPECT_TRUE(o.out.isEmpty());
        EXPECT_FALSE(o.err.isEmpty());
    }
    const Outcome help = run({QStringLiteral("--help")});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.contains(QStringLiteral("--overlay")));
}

TEST_F(Cli, OverlaysThatWouldReplaceAPictureOrEachOtherAreRefusedBeforeAnythingRuns) {
    QDir(dir.path()).mkpath(QStringLiteral("d1"));
    QDir(dir.path()).mkpath(QStringLiteral("d2"));
    for (const char* name : {"photo.bmp", "a.bmp", "b.bmp", "x.bmp", "d1/pic.bmp", "d2/pic.bmp"})
        write(name, randomPicture(12, 9, 4));
    ASSERT_TRUE(ImageFromSurface(whiteSquare()).save(dir.filePath(QStringLiteral("x.png"))));
    ASSERT_EQ(::link(QFile::encodeName(dir.filePath(QStringLiteral("a.bmp"))).constData(),
                     QFile::encodeName(dir.filePath(QStringLiteral("hard.bmp"))).constData()), 0);
    ASSERT_TRUE(QFile::link(dir.filePath(QStringLiteral("b.bmp")), dir.filePath(QStringLiteral("soft.bmp"))));
    struct Case {
        QStringList args;
        QStringList named; // what the message must name
    };
    const Case cases[] = {
        {{"--overlay", "photo.bmp", "photo.bmp"}, {"photo.bmp"}},
        {{"--overlay", "./photo.bmp", "photo.bmp"}, {"photo.bmp"}},
        {{"--overlay", ".", "a.bmp", "b.bmp"}, {"a.bmp", "b.bmp"}},
        {{"--overlay", "out", "d1/pic.bmp", "d2/pic.bmp"}, {"out/pic.bmp", "d1/pic.bmp", "d2/pic.bmp"}},
        {{"--overlay", ".", "x.png", "x.bmp"}, {"x.bmp", "x.png"}},
        {{"--overlay", "out", "x.png", "x.bmp"}, {"out/x.bmp", "x.png", "x.bmp"}},
        {{"--overlay", "hard.bmp", "a.bmp"}, {"hard.bmp", "a.bmp"}},
        {{"--overlay", "b.bmp", "soft.bmp"}, {"b.bmp", "soft.bmp"}},
        {{"--overlay", "d1", "photo.bmp", "d1/pic.bmp", "d1"}, {"d1/pic.bmp"}},
    };
    const auto before = snapshot();
    for (const Case& c : cases) {
        const Outcome o = run(c.args);
        EXPECT_EQ(o.exitCode, 2) << c.args.join(' ').toStdString();
        EXPECT_TRUE(o.out.isEmpty()) << c.args.join(' ').toStdString();
        for (const QString& name : c.named)
            EXPECT_TRUE(o.err.contains(name)) << c.args.join(' ').toStdString() << " does not name " << name.toStdString()
                                              << ":\n" << o.err.toStdString();
        EXPECT_EQ(snapshot(), before) << c.args.join(' ').toStdString() << " changed a file";
    }
}

// Renaming over a FIFO (or, as root, /dev/null) would replace it.
TEST_F(Cli, AnOverlayIsNeverRenamedOverAFifo) {
    write("a.bmp", whiteSquare());
    QTemporaryDir elsewhere; // the snapshot of dir would block reading a FIFO
    const QString fifo = elsewhere.filePath(QStringLiteral("fifo.bmp"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const Outcome o = run({QStringLiteral("--overlay"), fifo, QStringLiteral("a.bmp")});
    EXPECT_EQ(o.exitCode, 2);
    EXPECT_TRUE(o.err.contains(fifo)) << o.err.toStdString();
    struct stat st {};
    ASSERT_EQ(::lstat(QFile::encodeName(fifo).constData(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode)) << "the FIFO was replaced";
}

TEST_F(Cli, FailedOverlayLeavesTheEarlierFileAndNoPartOfTheNewOne) {
    write("big.bmp", randomPicture(200, 100, 5)); // a 60 kB overlay
    QFile earlier(dir.filePath(QStringLiteral("result.bmp")));
    ASSERT_TRUE(earlier.open(QIODevice::WriteOnly));
    earlier.write("an earlier overlay");
    earlier.close();
    const auto before = snapshot();
    // A 20 kB file size limit: the write fails part way, as on a full disk.
    const Outcome o = runIn(QStringLiteral("trap '' XFSZ; ulimit -f 40; exec \"$0\" \"$@\""),
                            {QStringLiteral("--overlay"), QStringLiteral("result.bmp"), QStringLiteral("big.bmp")});
    EXPECT_EQ(o.exitCode, 1);
    EXPECT_TRUE(o.err.contains(QStringLiteral("result.bmp: File too large"))) << o.err.toStdString();
    EXPECT_EQ(snapshot(), before) << "a partial file stayed behind or the earlier one changed";
}

TEST_F(Cli, SymlinkAtTheOverlayIsReplacedNotWrittenThrough) {
    write("one.bmp", whiteSquare());
    QFile victim(dir.filePath(QStringLiteral("victim.txt")));
    ASSERT_TRUE(victim.open(QIODevice::WriteOnly));
    victim.write("not yours");
    victim.close();
    ASSERT_TRUE(QFile::link(dir.filePath(QStringLiteral("victim.txt")), dir.filePath(QStringLiteral("result.bmp"))));
    ASSERT_EQ(run({QStringLiteral("--overlay"), QStringLiteral("result.bmp"), QStringLiteral("one.bmp")}).exitCode, 0);
    ASSERT_TRUE(victim.open(QIODevice::ReadOnly));
    EXPECT_EQ(victim.readAll(), QByteArray("not yours"));
    EXPECT_FALSE(QFileInfo(dir.filePath(QStringLiteral("result.bmp"))).isSymLink());
    EXPECT_EQ(QImage(dir.filePath(QStringLiteral("result.bmp"))).width(), 10);
}

TEST_F(Cli, FailedWriteToStandardOutputEndsTheRunWithItsCause) {
    write("one.bmp", whiteSquare());
    struct Case {
        const char* shell;
        const char* cause;
    };
    for (const Case c : {Case{"exec \"$0\" \"$@\" > /dev/full", "No space left on device"},
                         Case{"exec \"$0\" \"$@\" >&-", "Bad file descriptor"}}) {
        const Outcome o = runIn(QString::fromUtf8(c.shell), {QStringLiteral("--json"), QStringLiteral("one.bmp"),
                                                              QStringLiteral("one.bmp"), QStringLiteral("one.bmp")});
        EXPECT_EQ(o.exitCode, 1) << c.shell;
        EXPECT_EQ(o.err.toStdString(), std::string("quadfind-cli: cannot write to standard output: ") + c.cause + "\n")
            << c.shell;
    }
}

TEST_F(Cli, ControlCharactersInNamesAreEscapedInText) {
    const QString name = QStringLiteral("evil\n\x1b[31mred\\.bmp");
    write(name.toUtf8().constData(), whiteSquare());
    const Outcome o = run({name, QStringLiteral("missing\x1b]0;title\x07.bmp")});
    EXPECT_EQ(o.exitCode, 1);
    EXPECT_TRUE(o.out.startsWith(QStringLiteral("evil\\x0A\\x1B[31mred\\\\.bmp: 10 x 10, 32 edge pixels\n"))) << o.out.toStdString();
    EXPECT_EQ(o.out.count(QLatin1Char('\n')), 9);
    EXPECT_FALSE(o.out.contains(QChar(0x1b)));
    EXPECT_TRUE(o.err.contains(QStringLiteral("missing\\x1B]0;title\\x07.bmp"))) << o.err.toStdString();
    EXPECT_FALSE(o.err.contains(QChar(0x1b)));
    const Outcome json = run({QStringLiteral("--json"), name});
    EXPECT_EQ(QJsonDocument::fromJson(json.out.toUtf8()).object()[QStringLiteral("file")].toString(), name);
}

TEST_F(Cli, JobsGiveTheSameOutputAndOverlaysAsOneJob) {
    QStringList names;
    for (int i = 0; i < 12; ++i) {
        const std::string name = "p" + std::to_string(i) + ".bmp";
        // Sizes change from picture to picture, and back, to catch a reused
        // buffer that keeps a stale size.
        write(name.c_str(), randomPicture(5 + 7 * (i % 3), 4 + 5 * (i % 4), std::uint32_t(i)));
        names << QString::fromStdString(name);
        if (i == 5)
            names << QStringLiteral("missing.bmp");
    }
    for (const QString& format : {QStringLiteral("--json"), QStringLiteral("--max-megapixels=2000")}) {
        const Outcome one = run(QStringList{format, QStringLiteral("--jobs=1"), QStringLiteral("--overlay=one")} + names);
        const Outcome four = run(QStringList{format, QStringLiteral("--jobs"), QStringLiteral("4"),
                                             QStringLiteral("--overlay=four")} + names);
        EXPECT_EQ(one.exitCode, 1);
        EXPECT_EQ(four.exitCode, 1);
        EXPECT_EQ(one.out.toStdString(), four.out.toStdString());
        EXPECT_EQ(one.err.toStdString(), four.err.toStdString());
        EXPECT_EQ(one.out.count(QStringLiteral("edge pixels")) + one.out.count(QStringLiteral("\"edge_count\"")), 12);
    }
    for (const QString& name : names) {
        if (name == QStringLiteral("missing.bmp"))
            continue;
        const QString overlay = QStringLiteral("/") + name;
        const QImage one(dir.path() + QStringLiteral("/one") + overlay), four(dir.path() + QStringLiteral("/four") + overlay);
        ASSERT_FALSE(one.isNull()) << name.toStdString();
        EXPECT_EQ(one, four) << name.toStdString();
    }
}

TEST_F(Cli, ListsAndFoldersNameTheSamePicturesAsTheCommandLine) {
    QDir(dir.path()).mkpath(QStringLiteral("folder/inner"));
    write("folder/b.bmp", randomPicture(6, 5, 1));
    write("folder/a.BMP", randomPicture(7, 5, 2));
    write("folder/inner/c.bmp", randomPicture(8, 5, 3));
    QFile note(dir.filePath(QStringLiteral("folder/notes.txt")));
    ASSERT_TRUE(note.open(QIODevice::WriteOnly));
    note.close();
    const QString lineName = QStringLiteral("odd\nname.bmp");
    write(lineName.toUtf8().constData(), whiteSquare());

    const Outcome direct = run({QStringLiteral("--json"), QStringLiteral("folder/a.BMP"), QStringLiteral("folder/b.bmp"),
                                lineName});
    ASSERT_EQ(direct.exitCode, 0) << direct.err.toStdString();
    const Outcome folder = run({QStringLiteral("--json"), QStringLiteral("folder"), lineName});
    EXPECT_EQ(folder.out.toStdString(), direct.out.toStdString());
    const Outcome nul = runIn(QStringLiteral("exec \"$0\" \"$@\""),
                              {QStringLiteral("--json"), QStringLiteral("--files-from=-"), QStringLiteral("-0")},
                              QStringLiteral("C"), QByteArray("folder/a.BMP\0folder/b.bmp\0", 26) + lineName.toUtf8() + '\0');
    EXPECT_EQ(nul.out.toStdString(), direct.out.toStdString()) << nul.err.toStdString();
    QFile list(dir.filePath(QStringLiteral("list.txt")));
    ASSERT_TRUE(list.open(QIODevice::WriteOnly));
    list.write("folder/a.BMP\nfolder/b.bmp\n");
    list.close();
    const Outcome lines = run({QStringLiteral("--json"), QStringLiteral("--files-from"), QStringLiteral("list.txt")});
    EXPECT_EQ(lines.out.toStdString(), direct.out.section(QLatin1Char('\n'), 0, 1).toStdString() + "\n");
}

TEST_F(Cli, MinSumFindsTheQuadrilateralInANoisyPhotograph) {
    // A quality-100 JPEG of the sample: its noise makes nearly every pixel
    // an edge under the window's rule.
    const QString jpeg = dir.filePath(QStringLiteral("photo.jpg"));
    ASSERT_TRUE(QImage(QStringLiteral(QUADFIND_SAMPLE)).save(jpeg, "JPG", 100));
    const auto corners = [&](const QStringList& extra) {
        const Outcome o = run(QStringList{QStringLiteral("--json"), jpeg} + extra);
        const QJsonObject f = QJsonDocument::fromJson(o.out.toUtf8()).object()[QStringLiteral("fields")].toObject();
        QStringList c;
        for (int n : {7, 8, 1, 2})
            c << f[QStringLiteral("Edit%1").arg(n)].toString();
        return c.join(' ').toStdString() + o.err.toStdString();
    };
    EXPECT_EQ(corners({QStringLiteral("--min-sum=4")}), "69 39 231 201");
    EXPECT_EQ(corners({QStringLiteral("--min-sum=1")}), corners({}));
    EXPECT_NE(corners({}), "69 39 231 201");
}

TEST_F(Cli, StoppedRunLeavesOnlyCompleteOverlays) {
    QStringList args{QStringLiteral("--jobs=2"), QStringLiteral("--overlay"), dir.filePath(QStringLiteral("out"))};
    for (int i = 0; i < 60; ++i) {
        const std::string name = "p" + std::to_string(i) + ".bmp";
        args << write(name.c_str(), randomPicture(600, 400, std::uint32_t(i)));
    }
    QProcess p;
    p.start(QStringLiteral(QUADFIND_CLI), args);
    ASSERT_TRUE(p.waitForReadyRead(60000));
    p.terminate();
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitStatus(), QProcess::CrashExit) << "ends by the signal, as it would have without cleaning up";
    const QDir out(dir.filePath(QStringLiteral("out")));
    EXPECT_EQ(out.entryList(QDir::Files | QDir::Hidden).filter(QRegularExpression(QStringLiteral("^\\."))),
              QStringList{}) << "a temporary file stayed behind";
    const QStringList written = out.entryList(QDir::Files);
    EXPECT_LT(written.size(), 60) << "the run was not stopped early; the test proves nothing";
    for (const QString& name : written)
        EXPECT_EQ(QImage(out.filePath(name)).size(), QSize(600, 400)) << name.toStdString();
}

TEST_F(Cli, NamesThatAreNotUtf8ReachTheFileSystemAsTheyAre) {
    write("one.bmp", whiteSquare());
    // \376 is never part of UTF-8: a decoded and re-encoded name would differ.
    const Outcome o = runIn(QStringLiteral("printf 'one.bmp\\n' > \"$(printf 'list\\376')\"; "
                                           "exec \"$0\" --overlay \"$(printf 'out\\376')\" "
                                           "--files-from \"$(printf 'list\\376')\""),
                            {});
    EXPECT_EQ(o.exitCode, 0) << o.err.toStdString();
    const std::string folder = QFile::encodeName(dir.path()).toStdString() + "/out\376";
    EXPECT_EQ(::access((folder + "/one.bmp").c_str(), R_OK), 0) << "overlay folder name changed";
    // QTemporaryDir cannot remove what it cannot name.
    ::unlink((folder + "/one.bmp").c_str());
    ::rmdir(folder.c_str());
    ::unlink((QFile::encodeName(dir.path()).toStdString() + "/list\376").c_str());
}

} // namespace
