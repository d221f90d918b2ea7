// quadfind-cli end to end: the real binary, run from a shell in a folder of
// pictures the test writes itself.
#include "bmp_writer.h"
#include "edge_detection.h"
#include "edge_rule.h"
#include "image_from_surface.h"
#include "qt_picture.h"
#include "test_pictures.h"

#include <QDirIterator>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace quadfind;
using namespace quadfind::testing;
using ::testing::HasSubstr;

namespace {

constexpr const char* kExec = "exec \"$0\" \"$@\"";

struct Outcome {
    int exitCode;
    std::string out, err;
};

PictureSurface Detected(const PictureSurface& picture) {
    PictureSurface result;
    RunEdgeDetection(picture, result, testWorkspace(), ".");
    return result;
}

class Cli : public ::testing::Test {
protected:
    // Runs the shell line `shell`, where "$0" "$@" is the call, in the folder.
    Outcome run(const QStringList& args, const char* shell = kExec, const QByteArray& input = {}) {
        QProcess p;
        p.setWorkingDirectory(dir.path());
        p.start("/bin/sh", QStringList{"-c", QString("export LC_ALL=C; ") + shell, QUADFIND_CLI} + args);
        p.write(input);
        p.closeWriteChannel();
        EXPECT_TRUE(p.waitForFinished(60000));
        return {p.exitCode(), p.readAllStandardOutput().toStdString(), p.readAllStandardError().toStdString()};
    }
    // Every file in the folder with its bytes: what a refused or failed call
    // must leave exactly as it was.
    QMap<QString, QByteArray> snapshot() const {
        QMap<QString, QByteArray> files;
        for (QDirIterator it(dir.path(), QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
             it.hasNext();) {
            QFile f(it.next());
            files[it.filePath()] = f.open(QIODevice::ReadOnly) ? f.readAll() : "unreadable";
        }
        return files;
    }
    void write(const QString& name, const PictureSurface& picture) {
        SaveBmp(picture, QFile::encodeName(dir.filePath(name)).toStdString());
    }
    void writeText(const QString& name, const QByteArray& text) {
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(text) == text.size());
    }
    PictureSurface read(const QString& name) const { return SurfaceFromImage(QImage(dir.filePath(name))); }

    QTemporaryDir dir;
};

// A failed picture is reported and the others still run; a name can neither
// break a line nor drive the terminal. JSON keys come in field order, null
// for the fields a run leaves, the locale's decimal separator for the half
// sizes only, names as JSON strings.
TEST_F(Cli, PanelsAndJsonLinesWithEscapedNames) {
    const QString evil = "evil\n\x1b[31m\"red\"\\.bmp";
    write("square.bmp", whiteSquare());
    write("uniform.bmp", filled(6, 4, 0x808080));
    write(evil, whiteSquare());
    const Outcome text = run({"missing\x1b]0;title\x07.bmp", "square.bmp", evil});
    EXPECT_EQ(text.exitCode, 1);
    const std::string panel = "                                               X          Y\n"
                              "整張影像大小      whole picture size           8          8\n"
                              "四邊形3之座標     corner 3                     7          7\n"
                              "四邊形1之座標     corner 1                     2          2\n"
                              "四邊形2之座標     corner 2                     7          2\n"
                              "四邊形4之座標     corner 4                     2          7\n"
                              "四邊形之大小      box size                     5          5\n"
                              "四邊形之中心座標  half box size              2.5        2.5\n";
    EXPECT_EQ(text.out, "square.bmp: 10 x 10, 32 edge pixels\n" + panel +
                            "evil\\x0A\\x1B[31m\"red\"\\\\.bmp: 10 x 10, 32 edge pixels\n" + panel);
    EXPECT_EQ(text.err, "quadfind-cli: Cannot load missing\\x1B]0;title\\x07.bmp: No such file or directory\n");

    const Outcome json = run({"--json", "square.bmp", "uniform.bmp", evil}, "LC_ALL=de_DE.UTF-8 exec \"$0\" \"$@\"");
    ASSERT_EQ(json.exitCode, 0) << json.err;
    const QList<QByteArray> lines = QByteArray::fromStdString(json.out).split('\n');
    ASSERT_EQ(lines.size(), 4) << json.out;
    EXPECT_EQ(lines[0].toStdString(),
              R"({"file":"square.bmp","width":10,"height":10,"edge_count":32,"fields":{"Edit1":"7","Edit2":"7",)"
              R"("Edit3":"8","Edit4":"8","Edit5":"5","Edit6":"5","Edit7":"2","Edit8":"2","Edit9":"7","Edit10":"2",)"
              R"("Edit11":"2","Edit12":"7","Edit13":"2,5","Edit14":"2,5"}})");
    EXPECT_EQ(lines[1].toStdString(),
              R"({"file":"uniform.bmp","width":6,"height":4,"edge_count":0,"fields":{"Edit1":null,"Edit2":null,)"
              R"("Edit3":"4","Edit4":"2","Edit5":"0","Edit6":"0","Edit7":null,"Edit8":null,"Edit9":"0","Edit10":"0",)"
              R"("Edit11":"0","Edit12":"0","Edit13":"0","Edit14":"0"}})");
    EXPECT_EQ(QJsonDocument::fromJson(lines[2]).object()["file"].toString(), evil) << lines[2].toStdString();
}

// Refused before anything runs: usage errors, and overlays that would replace
// a picture or each other. Failed part way: a write to standard output, and
// an overlay's (a full disk), which leaves the earlier file and no part of
// the new one. Each says why in one message and changes no file. A symlink
// at an overlay's name is replaced, not written through.
TEST_F(Cli, RefusedAndFailedCallsSayWhyAndChangeNoFile) {
    ASSERT_TRUE(QDir(dir.path()).mkpath("d1") && QDir(dir.path()).mkpath("d2"));
    for (const char* name : {"photo.bmp", "a.bmp", "b.bmp", "x.bmp", "d1/pic.bmp", "d2/pic.bmp"})
        write(name, randomPicture(12, 9, 4));
    const PictureSurface big = randomPicture(200, 100, 5); // a 60 kB overlay
    write("big.bmp", big);
    ASSERT_TRUE(ImageFromSurface(whiteSquare()).save(dir.filePath("x.png")));
    ASSERT_EQ(::link(QFile::encodeName(dir.filePath("a.bmp")), QFile::encodeName(dir.filePath("hard.bmp"))), 0);
    ASSERT_TRUE(QFile::link(dir.filePath("b.bmp"), dir.filePath("soft.bmp")));
    writeText("victim.txt", "an earlier file");
    ASSERT_TRUE(QFile::link(dir.filePath("victim.txt"), dir.filePath("result.bmp")));
    // Renaming over a FIFO (or, as root, /dev/null) would replace it. It
    // lives elsewhere: the snapshot would block reading it.
    QTemporaryDir elsewhere;
    const QString fifo = elsewhere.filePath("fifo.bmp");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo), 0600), 0);
    struct Refused {
        QStringList args, named; // the call, and what its message must name
        const char* shell = kExec;
        int exitCode = 2;
    };
    const Refused cases[] = {
        {{}, {"no picture given"}},
        {{"--bogus", "a.bmp"}, {"bogus"}},
        {{"--overlay"}, {"--overlay"}},
        {{"--max-megapixels", "-3", "a.bmp"}, {"--max-megapixels"}},
        {{"--jobs", "0", "a.bmp"}, {"--jobs"}},
        {{"--max-megapixels", "1e-7", "a.bmp"}, {"--max-megapixels"}},
        {{"-0", "a.bmp"}, {"-0"}},
        {{"--min-sum", "0", "a.bmp"}, {"--min-sum"}},
        {{"--sync", "a.bmp"}, {"--sync"}},
        {{"--files-from", "no-such-list", "a.bmp"}, {"no-such-list: No such file or directory"}},
        {{"--overlay", "photo.bmp", "photo.bmp"}, {"photo.bmp"}},
        {{"--overlay", "./later.bmp", "later.bmp"}, {"later.bmp"}}, // by name: no file to compare yet
        {{"--overlay", ".", "a.bmp", "b.bmp"}, {"a.bmp", "b.bmp"}},
        {{"--overlay", "out", "d1/pic.bmp", "d2/pic.bmp"}, {"out/pic.bmp", "d1/pic.bmp", "d2/pic.bmp"}},
        {{"--overlay", ".", "x.png", "x.bmp"}, {"x.bmp", "x.png"}},
        {{"--overlay", "out", "x.png", "x.bmp"}, {"out/x.bmp", "x.png", "x.bmp"}},
        {{"--overlay", "hard.bmp", "a.bmp"}, {"hard.bmp", "a.bmp"}},
        {{"--overlay", "b.bmp", "soft.bmp"}, {"b.bmp", "soft.bmp"}},
        {{"--overlay", "soft.bmp", "b.bmp"}, {"soft.bmp", "b.bmp"}}, // an overlay's name that links to a picture
        {{"--overlay", "./photo.bmp", "photo.bmp"}, {"photo.bmp"}},
        {{"--overlay", "d1", "photo.bmp", "d1/pic.bmp", "d1"}, {"d1/pic.bmp"}},
        {{"--overlay", fifo, "a.bmp"}, {fifo}},
        // A 20 kB file size limit: the write fails part way.
        {{"--overlay", "result.bmp", "big.bmp"},
         {"result.bmp: File too large"},
         "trap '' XFSZ; ulimit -f 40; exec \"$0\" \"$@\"",
         1},
        {{"--json", "a.bmp", "a.bmp", "a.bmp"},
         {"cannot write to standard output: No space left on device\n"},
         "exec \"$0\" \"$@\" > /dev/full",
         1},
        {{"--json", "a.bmp", "a.bmp", "a.bmp"},
         {"cannot write to standard output: Bad file descriptor\n"},
         "exec \"$0\" \"$@\" >&-",
         1}};
    const auto before = snapshot();
    for (const Refused& c : cases) {
        const Outcome o = run(c.args, c.shell);
        const std::string call = c.args.join(' ').toStdString();
        EXPECT_EQ(o.exitCode, c.exitCode) << call;
        EXPECT_EQ(o.out, "") << call;
        EXPECT_EQ(QString::fromStdString(o.err).count("quadfind-cli:"), 1) << call << ": " << o.err;
        for (const QString& name : c.named)
            EXPECT_THAT(o.err, HasSubstr(name.toStdString())) << call;
        EXPECT_EQ(snapshot(), before) << call << " changed a file or left one behind";
    }
    struct stat st {};
    EXPECT_TRUE(::lstat(QFile::encodeName(fifo), &st) == 0 && S_ISFIFO(st.st_mode)) << "the FIFO was replaced";

    ASSERT_EQ(run({"--overlay", "result.bmp", "big.bmp"}).exitCode, 0);
    EXPECT_FALSE(QFileInfo(dir.filePath("result.bmp")).isSymLink());
    EXPECT_EQ(read("result.bmp"), Detected(big));
    EXPECT_EQ(snapshot()[dir.filePath("victim.txt")], "an earlier file");
}

// Names on the command line, a folder's picture files (sorted, not those of
// its subfolders), a list and a NUL-separated list on standard input give
// the same output, failures included, byte for byte with one job or four;
// each overlay is its own picture's result. Sizes change from picture to
// picture, and back, to catch a reused buffer that keeps a stale size.
TEST_F(Cli, ListsFoldersAndJobsGiveWhatOneJobGivesForTheSameNames) {
    ASSERT_TRUE(QDir(dir.path()).mkpath("folder/inner"));
    write("folder/inner/c.bmp", whiteSquare());
    writeText("folder/notes.txt", "");
    QStringList names{"odd\nname.bmp", "missing.bmp"};
    std::vector<PictureSurface> pictures{whiteSquare()};
    write(names[0], pictures[0]);
    for (int i = 0; i < 12; ++i) {
        pictures.push_back(randomPicture(5 + 7 * (i % 3), 4 + 5 * (i % 4), std::uint32_t(i)));
        write(names.emplaceBack(QString("folder/p%1.%2").arg(i + 10).arg(i % 2 ? "bmp" : "BMP")), pictures.back());
    }
    writeText("list.txt", names.mid(1).join('\n').toUtf8()); // no separator after the last name
    const Outcome one = run(QStringList{"--json", "--jobs=1", "--overlay=one"} + names);
    EXPECT_EQ(one.exitCode, 1);
    EXPECT_EQ(QString::fromStdString(one.out).count("\"edge_count\""), 13);
    for (const Outcome& o :
         {run({"--jobs", "4", "--sync", "--overlay=four", "--json", names[0], "missing.bmp", "folder"}),
          run({"--json", "--files-from", "list.txt", names[0]}),
          run({"--json", "--files-from=-", "-0"}, kExec, names.join(QChar(0)).toUtf8())}) {
        EXPECT_EQ(o.out, one.out);
        EXPECT_EQ(o.err, one.err);
    }
    for (int i = 0; i < 13; ++i)
        for (const char* folder : {"one", "four"})
            EXPECT_EQ(
                read(QString("%1/%2.bmp").arg(QString(folder), QFileInfo(names[i ? i + 1 : 0]).completeBaseName())),
                Detected(pictures[std::size_t(i)]))
                << folder << " " << i;
}

// A quality-100 JPEG of the sample: its noise makes nearly every pixel an
// edge under the window's rule, not under a higher threshold.
TEST_F(Cli, MinSumFindsTheQuadrilateralInANoisyPhotograph) {
    ASSERT_TRUE(QImage(QUADFIND_SAMPLE).save(dir.filePath("photo.jpg"), "JPG", 100));
    const std::string corners = "corner 3                   231        201\n"
                                "四邊形1之座標     corner 1                    69         39\n";
    EXPECT_THAT(run({"--min-sum=4", "photo.jpg"}).out, HasSubstr(corners));
    EXPECT_THAT(run({"photo.jpg"}).out, ::testing::Not(HasSubstr(corners)));
    EXPECT_EQ(run({"--min-sum=1", "photo.jpg"}).out, run({"photo.jpg"}).out);
    // The largest sum the two operators can give is still a threshold; one more is a usage error.
    EXPECT_EQ(run({QString("--min-sum=%1").arg(edge_rule::kLargestSum), "photo.jpg"}).exitCode, 0);
    EXPECT_EQ(run({QString("--min-sum=%1").arg(edge_rule::kLargestSum + 1), "photo.jpg"}).exitCode, 2);
}

// Only a picture's last ending gives way to .bmp in an overlay folder.
TEST_F(Cli, OverlayNamesKeepAllButTheLastEnding) {
    write("scan.2024.01.bmp", whiteSquare());
    const Outcome o = run({"--overlay", "out/", "scan.2024.01.bmp"});
    EXPECT_EQ(o.exitCode, 0) << o.err;
    EXPECT_TRUE(QFile::exists(dir.filePath("out/scan.2024.01.bmp")))
        << QDir(dir.filePath("out")).entryList().join(' ').toStdString();
}

// Stopped by a signal, a run leaves complete overlays and no temporary file.
TEST_F(Cli, StoppedRunLeavesOnlyCompleteOverlays) {
    QStringList args{"--jobs=2", "--overlay", "out"};
    for (int i = 0; i < 60; ++i)
        write(args.emplaceBack(QString("p%1.bmp").arg(i)), randomPicture(600, 400, std::uint32_t(i)));
    QProcess p;
    p.setWorkingDirectory(dir.path());
    p.start(QUADFIND_CLI, args);
    ASSERT_TRUE(p.waitForReadyRead(60000));
    p.terminate();
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitStatus(), QProcess::CrashExit) << "ends by the signal, as it would have without cleaning up";
    const QDir out(dir.filePath("out"));
    const QStringList written = out.entryList(QDir::Files);
    EXPECT_EQ(out.entryList(QDir::Files | QDir::Hidden), written) << "a temporary file stayed behind";
    EXPECT_LT(written.size(), 60) << "the run was not stopped early; the test proves nothing";
    for (const QString& name : written)
        EXPECT_EQ(QImage(out.filePath(name)).size(), QSize(600, 400)) << name.toStdString();
}

TEST_F(Cli, NamesThatAreNotUtf8ReachTheFileSystemAsTheyAre) {
    write("one.bmp", whiteSquare());
    // \376 is never part of UTF-8: a decoded and re-encoded name would differ.
    const Outcome o = run({}, "printf 'one.bmp\\n' > \"$(printf 'list\\376')\"; "
                              "exec \"$0\" --overlay \"$(printf 'out\\376')\" --files-from \"$(printf 'list\\376')\"");
    EXPECT_EQ(o.exitCode, 0) << o.err;
    const std::string folder = QFile::encodeName(dir.path()).toStdString() + "/out\376";
    EXPECT_EQ(::access((folder + "/one.bmp").c_str(), R_OK), 0) << "overlay folder name changed";
    // QTemporaryDir cannot remove what it cannot name.
    ::unlink((folder + "/one.bmp").c_str());
    ::rmdir(folder.c_str());
    ::unlink((QFile::encodeName(dir.path()).toStdString() + "/list\376").c_str());
}

} // namespace
