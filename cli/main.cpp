// quadfind-cli: the window's edge-detection command for batch use.
//
// Each picture is processed as the window's edge-detection button would on a
// freshly started program; the output is the panel as text, or one JSON
// object per picture (JSON Lines). Exit status: 0 all processed, 1 any
// picture failed, 2 usage error.
#include "bmp_writer.h"
#include "edge_detection.h"
#include "panel_text.h"
#include "picture_file.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLocale>
#include <QString>
#include <QStringList>

#include <cstdio>
#include <exception>
#include <string>

using namespace quadfind;

namespace {

QString panelText(const QString& file, const PictureSurface& picture, const EdgeDetectionRun& run) {
    return QStringLiteral("%1: %2 x %3, %4 edge pixels\n")
               .arg(file)
               .arg(picture.width())
               .arg(picture.height())
               .arg(run.scan.EdgeCount)
           + QString::fromStdString(PanelText(ShownAfterFirstRun(run.fields)));
}

QString jsonString(const QString& s) {
    // QJsonObject sorts its keys, so the line is assembled here in the
    // documented order and only the escaping is left to QJsonDocument.
    const QByteArray array = QJsonDocument(QJsonArray{s}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(array.mid(1, array.size() - 2));
}

QString jsonLine(const QString& file, const PictureSurface& picture, const EdgeDetectionRun& run) {
    QString fields;
    for (int n = 1; n <= FieldTexts::kCount; ++n) {
        const auto& text = run.fields.edit(n);
        fields += QStringLiteral("%1\"Edit%2\":%3")
                      .arg(n == 1 ? "" : ",")
                      .arg(n)
                      .arg(text ? jsonString(QString::fromStdString(*text)) : QStringLiteral("null"));
    }
    return QStringLiteral("{\"file\":%1,\"width\":%2,\"height\":%3,\"edge_count\":%4,\"fields\":{%5}}\n")
        .arg(jsonString(file))
        .arg(picture.width())
        .arg(picture.height())
        .arg(run.scan.EdgeCount)
        .arg(fields);
}

void print(FILE* stream, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stream);
}

int usageError(const QString& message) {
    print(stderr, QStringLiteral("quadfind-cli: %1\nTry 'quadfind-cli --help'.\n").arg(message));
    return 2;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quadfind-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUADFIND_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Finds the quadrilateral in each picture as the quadfind window's edge-detection "
                       "button does, and prints the fourteen figures of its panel."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption jsonOption(QStringLiteral("json"),
                                        QStringLiteral("One JSON object per picture per line (JSON Lines)."));
    const QCommandLineOption overlayOption(
        QStringLiteral("overlay"),
        QStringLiteral("Write the result picture as a 24-bit BMP: to <path> for one picture, into the "
                       "directory <path> (same base name, .bmp) for several."),
        QStringLiteral("path"));
    const QCommandLineOption limitOption(
        QStringLiteral("max-megapixels"),
        QStringLiteral("Refuse pictures with more than <n> million pixels (default %1, at most %2).")
            .arg(LoadLimits::kDefaultMaxPixels / 1'000'000)
            .arg(LoadLimits::kHighestMaxPixels / 1'000'000),
        QStringLiteral("n"));
    parser.addOption(jsonOption);
    parser.addOption(overlayOption);
    parser.addOption(limitOption);
    parser.addPositionalArgument(QStringLiteral("PICTURE"), QStringLiteral("Picture files to process, in order."),
                                 QStringLiteral("PICTURE..."));

    if (!parser.parse(QCoreApplication::arguments()))
        return usageError(parser.errorText());
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(0);
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion();
    const QStringList pictures = parser.positionalArguments();
    if (pictures.isEmpty())
        return usageError(QStringLiteral("no picture given"));

    LoadLimits limits;
    if (parser.isSet(limitOption)) {
        bool ok = false;
        const double megapixels = parser.value(limitOption).toDouble(&ok);
        if (!ok || !(megapixels > 0) || megapixels * 1e6 > double(LoadLimits::kHighestMaxPixels))
            return usageError(QStringLiteral("--max-megapixels takes a number above 0 and at most %1")
                                  .arg(LoadLimits::kHighestMaxPixels / 1'000'000));
        limits.maxPixels = std::uint64_t(megapixels * 1e6);
    }

    const bool json = parser.isSet(jsonOption);
    const QString overlay = parser.value(overlayOption);
    const bool overlayIntoDirectory = !overlay.isEmpty() && pictures.size() > 1;
    if (overlayIntoDirectory && !QDir().mkpath(overlay))
        return usageError(QStringLiteral("cannot create the overlay directory %1").arg(overlay));

    const std::string separator = QLocale::system().decimalPoint().toStdString();
    PictureSurface working;
    int failures = 0;
    for (const QString& file : pictures) {
        try {
            const PictureSurface picture = LoadPictureArgument(QFile::encodeName(file).toStdString(), limits);
            const EdgeDetectionRun run = RunEdgeDetection(picture, working, separator);
            if (!overlay.isEmpty()) {
                const QString target = overlayIntoDirectory
                                           ? QDir(overlay).filePath(QFileInfo(file).completeBaseName() + ".bmp")
                                           : overlay;
                SaveBmp(working, target.toStdString());
            }
            print(stdout, json ? jsonLine(file, picture, run) : panelText(file, picture, run));
            std::fflush(stdout);
        } catch (const std::exception& e) {
            ++failures;
            print(stderr, QStringLiteral("quadfind-cli: %1\n").arg(QString::fromUtf8(e.what())));
        }
    }
    return failures == 0 ? 0 : 1;
}
