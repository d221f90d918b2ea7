// quadfind-cli end to end: the real binary, run from a shell in a folder of
// pictures the test writes itself.
#include "bmp_writer.h"
#include "edge_detection.h"
#include "qt_picture.h"
#include "test_pictures.h"

#include <QCryptographicHash>
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
    Outcome run(const QStringList& args, const char* shell = kExec, const char* locale = "C",
                const QByteArray& input = {}) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("LC_ALL", locale);
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(dir.path());
        p.start("/bin/sh", QStringList{"-c", shell, QUADFIND_CLI} + args);
        p.write(input);
        p.closeWriteChannel();
        EXPECT_TRUE(p.waitForFinished(60000));
        return {p.exitCode(), p.readAllStandardOutput().toStdString(), p.readAllStandardError().toStdString()};
    }
    // Every file in the folder with a hash of its bytes: what a refused or
    // failed call must leave exactly as it was.
    QMap<QString, QByteArray> snapshot() const {
        QMap<QString, QByteArray> files;
        for (QDirIterator it(dir.path(), QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
             it.hasNext();) {
            QFile f(it.next());
            f.open(QIODevice::ReadOnly);
            files[it.filePath()] = QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha1);
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

// A failed picture is reported and the others still run; a name cannot
// break a line or drive the terminal.
TEST_F(Cli, PanelAsTextWithEscapedNames) {
    const QString evil = "evil\n\x1b[31mred\\.bmp";
    write("square.bmp", whiteSquare());
    write(evil, whiteSquare());
    const Outcome o = run({"missing\x1b]0;title\x07.bmp", "square.bmp", evil});
    EXPECT_EQ(o.exitCode, 1);
    const std::string panel = "                                               X          Y\n"
                              "整張影像大小      whole picture size           8          8\n"
                              "四邊形3之座標     corner 3                     7          7\n"
                              "四邊形1之座標     corner 1                     2          2\n"
                              "四邊形2之座標     corner 2                     7          2\n"
                              "四邊形4之座標     corner 4                     2          7\n"
                              "四邊形之大小      box size                     5          5\n"
                              "四邊形之中心座標  half box size              2.5        2.5\n";
    EXPECT_EQ(o.out, "square.bmp: 10 x 10, 32 edge pixels\n" + panel +
                         "evil\\x0A\\x1B[31mred\\\\.bmp: 10 x 10, 32 edge pixels\n" + panel);
    EXPECT_EQ(o.err, "quadfind-cli: Cannot load missing\\x1B]0;title\\x07.bmp: No such file or directory\n");
}

// Keys in field order, null for the fields a run leaves, the locale's
// decimal separator for the half sizes only, names as JSON strings.
TEST_F(Cli, JsonLines) {
    const QString evil = "evil\n\x1b[31m\"red\"\\.bmp";
    write("square.bmp", whiteSquare());
    write("uniform.bmp", filled(6, 4, 0x808080));
    write(evil, whiteSquare());
    const Outcome o = run({"--json", "square.bmp", "uniform.bmp", evil}, kExec, "de_DE.UTF-8");
    ASSERT_EQ(o.exitCode, 0) << o.err;
    const QList<QByteArray> lines = QByteArray::fromStdString(o.out).split('\n');
    ASSERT_EQ(lines.size(), 4) << o.out;
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

TEST_F(Cli, UsageErrorsExitWithTwo) {
    write("square.bmp", whiteSquare());
    for (const QStringList& args :
         {QStringList{}, {"--bogus", "square.bmp"}, {"--overlay"}, {"--max-megapixels", "-3", "square.bmp"},
          {"--max-megapixels", "1e-7", "square.bmp"}, {"--jobs", "0", "square.bmp"}, {"-0", "square.bmp"},
          {"--min-sum", "0", "square.bmp"}, {"--files-from", "no-such-list", "square.bmp"}}) {
        const Outcome o = run(args);
        EXPECT_EQ(o.exitCode, 2) << args.join(' ').toStdString();
        EXPECT_EQ(o.out, "");
        EXPECT_NE(o.err, "");
    }
}

TEST_F(Cli, OverlaysThatWouldReplaceAPictureOrEachOtherAreRefusedBeforeAnythingRuns) {
    ASSERT_TRUE(QDir(dir.path()).mkpath("d1") && QDir(dir.path()).mkpath("d2"));
    for (const char* name : {"photo.bmp", "a.bmp", "b.bmp", "x.bmp", "d1/pic.bmp", "d2/pic.bmp"})
        write(name, randomPicture(12, 9, 4));
    ASSERT_TRUE(ImageFromSurface(whiteSquare()).save(dir.filePath("x.png")));
    ASSERT_EQ(::link(QFile::encodeName(dir.filePath("a.bmp")), QFile::encodeName(dir.filePath("hard.bmp"))), 0);
    ASSERT_TRUE(QFile::link(dir.filePath("b.bmp"), dir.filePath("soft.bmp")));
    // Renaming over a FIFO (or, as root, /dev/null) would replace it. It
    // lives elsewhere: the snapshot would block reading it.
    QTemporaryDir elsewhere;
    const QString fifo = elsewhere.filePath("fifo.bmp");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo), 0600), 0);
    // The call, and what its message must name.
    const std::pair<QStringList, QStringList> cases[] = {
        {{"--overlay", "photo.bmp", "photo.bmp"}, {"photo.bmp"}},
        {{"--overlay", "./photo.bmp", "photo.bmp"}, {"photo.bmp"}},
        {{"--overlay", ".", "a.bmp", "b.bmp"}, {"a.bmp", "b.bmp"}},
        {{"--overlay", "out", "d1/pic.bmp", "d2/pic.bmp"}, {"out/pic.bmp", "d1/pic.bmp", "d2/pic.bmp"}},
        {{"--overlay", ".", "x.png", "x.bmp"}, {"x.bmp", "x.png"}},
        {{"--overlay", "out", "x.png", "x.bmp"}, {"out/x.bmp", "x.png", "x.bmp"}},
        {{"--overlay", "hard.bmp", "a.bmp"}, {"hard.bmp", "a.bmp"}},
        {{"--overlay", "b.bmp", "soft.bmp"}, {"b.bmp", "soft.bmp"}},
        {{"--overlay", "d1", "photo.bmp", "d1/pic.bmp", "d1"}, {"d1/pic.bmp"}},
        {{"--overlay", fifo, "a.bmp"}, {fifo}},
    };
    const auto before = snapshot();
    for (const auto& [args, named] : cases) {
        const Outcome o = run(args);
        const std::string call = args.join(' ').toStdString();
        EXPECT_EQ(o.exitCode, 2) << call;
        EXPECT_EQ(o.out, "") << call;
        for (const QString& name : named)
            EXPECT_THAT(o.err, HasSubstr(name.toStdString())) << call;
        EXPECT_EQ(snapshot(), before) << call << " changed a file";
    }
    struct stat st {};
    EXPECT_TRUE(::lstat(QFile::encodeName(fifo), &st) == 0 && S_ISFIFO(st.st_mode)) << "the FIFO was replaced";
}

// Written aside and renamed into place: a failed write (a full disk) leaves
// the earlier file and no part of the new one; a symlink at the name is
// replaced, not written through.
TEST_F(Cli, OverlayReplacesItsNameWholeOrNotAtAll) {
    const PictureSurface big = randomPicture(200, 100, 5); // a 60 kB overlay
    write("big.bmp", big);
    writeText("victim.txt", "an earlier file");
    ASSERT_TRUE(QFile::link(dir.filePath("victim.txt"), dir.filePath("result.bmp")));
    const auto before = snapshot();
    // A 20 kB file size limit: the write fails part way.
    const Outcome full = run({"--overlay", "result.bmp", "big.bmp"}, "trap '' XFSZ; ulimit -f 40; exec \"$0\" \"$@\"");
    EXPECT_EQ(full.exitCode, 1);
    EXPECT_THAT(full.err, HasSubstr("result.bmp: File too large"));
    EXPECT_EQ(snapshot(), before) << "a partial file stayed behind or the earlier one changed";

    ASSERT_EQ(run({"--overlay", "result.bmp", "big.bmp"}).exitCode, 0);
    EXPECT_FALSE(QFileInfo(dir.filePath("result.bmp")).isSymLink());
    EXPECT_EQ(read("result.bmp"), Detected(big));
    QFile victim(dir.filePath("victim.txt"));
    EXPECT_TRUE(victim.open(QIODevice::ReadOnly) && victim.readAll() == "an earlier file");
}

// In input order, byte for byte, failures included; each overlay is its own
// picture's result.
TEST_F(Cli, JobsGiveTheSameOutputAndOverlaysAsOneJob) {
    QStringList names;
    std::vector<PictureSurface> pictures;
    for (int i = 0; i < 12; ++i) {
        // Sizes change from picture to picture, and back, to catch a reused
        // buffer that keeps a stale size.
        pictures.push_back(randomPicture(5 + 7 * (i % 3), 4 + 5 * (i % 4), std::uint32_t(i)));
        write(names.emplaceBack(QString("p%1.bmp").arg(i)), pictures.back());
        if (i == 5)
            names << "missing.bmp";
    }
    for (const char* format : {"--json", "--max-megapixels=2000"}) {
        const Outcome one = run(QStringList{format, "--jobs=1", "--overlay=one"} + names);
        const Outcome four = run(QStringList{format, "--jobs", "4", "--overlay=four"} + names);
        EXPECT_EQ(one.exitCode, 1);
        EXPECT_EQ(four.exitCode, 1);
        EXPECT_EQ(one.out, four.out);
        EXPECT_EQ(one.err, four.err);
        const QString out = QString::fromStdString(one.out);
        EXPECT_EQ(out.count("edge pixels") + out.count("\"edge_count\""), 12);
    }
    for (int i = 0; i < 12; ++i) {
        EXPECT_EQ(read(QString("one/p%1.bmp").arg(i)), Detected(pictures[std::size_t(i)])) << i;
        EXPECT_EQ(read(QString("four/p%1.bmp").arg(i)), Detected(pictures[std::size_t(i)])) << i;
    }
}

TEST_F(Cli, FailedWriteToStandardOutputEndsTheRunWithItsCause) {
    write("one.bmp", whiteSquare());
    for (const auto& [shell, cause] : {std::pair{"exec \"$0\" \"$@\" > /dev/full", "No space left on device"},
                                       std::pair{"exec \"$0\" \"$@\" >&-", "Bad file descriptor"}}) {
        const Outcome o = run({"--json", "one.bmp", "one.bmp", "one.bmp"}, shell);
        EXPECT_EQ(o.exitCode, 1) << shell;
        EXPECT_EQ(o.err, std::string("quadfind-cli: cannot write to standard output: ") + cause + "\n") << shell;
    }
}

TEST_F(Cli, ListsAndFoldersNameTheSamePicturesAsTheCommandLine) {
    ASSERT_TRUE(QDir(dir.path()).mkpath("folder/inner"));
    write("folder/b.bmp", randomPicture(6, 5, 1));
    write("folder/a.BMP", randomPicture(7, 5, 2));
    write("folder/inner/c.bmp", randomPicture(8, 5, 3));
    writeText("folder/notes.txt", "");
    const QString lineName = "odd\nname.bmp";
    write(lineName, whiteSquare());
    writeText("list.txt", "folder/a.BMP\nfolder/b.bmp\n");

    const Outcome direct = run({"--json", "folder/a.BMP", "folder/b.bmp", lineName});
    ASSERT_EQ(direct.exitCode, 0) << direct.err;
    EXPECT_EQ(run({"--json", "folder", lineName}).out, direct.out);
    const Outcome nul = run({"--json", "--files-from=-", "-0"}, kExec, "C",
                            QByteArray("folder/a.BMP\0folder/b.bmp\0", 26) + lineName.toUtf8() + '\0');
    EXPECT_EQ(nul.out, direct.out) << nul.err;
    EXPECT_EQ(run({"--json", "--files-from", "list.txt"}).out + run({"--json", lineName}).out, direct.out);
}

TEST_F(Cli, MinSumFindsTheQuadrilateralInANoisyPhotograph) {
    // A quality-100 JPEG of the sample: its noise makes nearly every pixel
    // an edge under the window's rule.
    ASSERT_TRUE(QImage(QUADFIND_SAMPLE).save(dir.filePath("photo.jpg"), "JPG", 100));
    const auto corners = [&](const QStringList& extra) {
        const Outcome o = run(QStringList{"--json", "photo.jpg"} + extra);
        const QJsonObject f = QJsonDocument::fromJson(QByteArray::fromStdString(o.out)).object()["fields"].toObject();
        return (QStringList{} << f["Edit7"].toString() << f["Edit8"].toString() << f["Edit1"].toString()
                              << f["Edit2"].toString()).join(' ').toStdString() + o.err;
    };
    EXPECT_EQ(corners({"--min-sum=4"}), "69 39 231 201");
    EXPECT_EQ(corners({"--min-sum=1"}), corners({}));
    EXPECT_NE(corners({}), "69 39 231 201");
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
