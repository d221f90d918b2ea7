// quadfind-cli end to end: the real binary on files the test writes itself.
#include "bmp_writer.h"
#include "edge_detection.h"
#include "qt_picture.h"
#include "test_pictures.h"

#include <QDir>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <gtest/gtest.h>

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
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LC_ALL"), locale);
        env.insert(QStringLiteral("LANG"), locale);
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(QUADFIND_CLI), args);
        EXPECT_TRUE(p.waitForFinished(60000));
        return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
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
                                    QStringList{QStringLiteral("--max-megapixels"), QStringLiteral("-3"), file}}) {
        const Outcome o = run(args);
        EXPECT_EQ(o.exitCode, 2) << args.join(' ').toStdString();
        EXPECT_TRUE(o.out.isEmpty());
        EXPECT_FALSE(o.err.isEmpty());
    }
    const Outcome help = run({QStringLiteral("--help")});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.contains(QStringLiteral("--overlay")));
}

} // namespace
