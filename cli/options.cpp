#include "options.h"

#include "edge_rule.h"
#include "overlay_plan.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <QThread>

#include <cmath>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace quadfind::cli {

namespace {

struct Options {
    QCommandLineOption json, overlay, limit, filesFrom, nul, jobs, minSum, sync;
};

Options makeOptions() {
    return {
        {QStringLiteral("json"), QStringLiteral("One JSON object per picture per line (JSON Lines).")},
        {QStringLiteral("overlay"),
         QStringLiteral("Write the result picture as a 24-bit BMP: to <path> for one picture, into the folder "
                        "<path> (base name, .bmp) for several. Never writes over a picture of the call."),
         QStringLiteral("path")},
        {QStringLiteral("max-megapixels"),
         QStringLiteral("Refuse pictures with more than <n> million pixels (default %1, at most %2).")
             .arg(LoadLimits::kDefaultMaxPixels / 1'000'000)
             .arg(LoadLimits::kHighestMaxPixels / 1'000'000),
         QStringLiteral("n")},
        {QStringLiteral("files-from"),
         QStringLiteral("Also process the pictures named in <list>, one a line ('-': standard input)."),
         QStringLiteral("list")},
        {QStringList{QStringLiteral("0"), QStringLiteral("null")},
         QStringLiteral("The --files-from list is separated by NUL bytes.")},
        {QStringLiteral("jobs"),
         QStringLiteral("Process <n> pictures at a time (default: the number of cores). The output is the "
                        "same for every <n>."),
         QStringLiteral("n")},
        {QStringLiteral("min-sum"),
         QStringLiteral("A pixel is an edge when GradientY + GradientX is at least <n> (default %1, the window's "
                        "rule; up to %2). Photographs, whose noise makes every pixel an edge at 1, need more.")
             .arg(edge_rule::kThreshold)
             .arg(edge_rule::kLargestSum),
         QStringLiteral("n")},
        {QStringLiteral("sync"),
         QStringLiteral("Put each overlay in place only once it is on the disk (fsync), so that not even a crash "
                        "of the whole system can lose it after its line is printed. Slower.")},
    };
}

void describe(QCommandLineParser& parser, const Options& o) {
    parser.setApplicationDescription(
        QStringLiteral("Finds the quadrilateral in each picture as the quadfind window's edge-detection "
                       "button does, and prints the fourteen figures of its panel. A folder stands for "
                       "its picture files, sorted by name."));
    parser.addHelpOption();
    parser.addVersionOption();
    for (const QCommandLineOption* option :
         {&o.json, &o.overlay, &o.limit, &o.filesFrom, &o.nul, &o.jobs, &o.minSum, &o.sync})
        parser.addOption(*option);
    parser.addPositionalArgument(QStringLiteral("PICTURE"),
                                 QStringLiteral("Picture files or folders to process, in order."),
                                 QStringLiteral("PICTURE..."));
}

// The arguments exactly as the operating system passed them:
// QCommandLineParser hands them back decoded, which loses the bytes of a name
// that is not valid in the locale's encoding. This walk follows the parser's
// rules for the long options that take a value (which it has already
// checked): the names, and the last value of each such option.
struct RawArguments {
    std::vector<std::string> names;
    std::map<std::string, std::string> values;
};

RawArguments rawArguments(int argc, char* argv[], const std::set<std::string>& valued) {
    RawArguments raw;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (optionsEnded || arg == "-" || arg.empty() || arg[0] != '-') {
            raw.names.push_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg.starts_with("--")) {
            const std::size_t equals = arg.find('=');
            const std::string option = arg.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
            if (valued.count(option) == 0)
                continue;
            if (equals != std::string::npos)
                raw.values[option] = arg.substr(equals + 1);
            else if (i + 1 < argc)
                raw.values[option] = argv[++i];
        }
    }
    return raw;
}

// The pictures: the names, then the list's, each folder by its pictures.
// `batchForm`: a list, several names or a folder ask for a folder of
// overlays, however many pictures they turn out to hold.
std::vector<std::string> pictureNames(const QCommandLineParser& parser, const Options& o, RawArguments& raw,
                                      bool& batchForm) {
    std::vector<std::string> names = std::move(raw.names);
    if (names.size() != std::size_t(parser.positionalArguments().size()))
        throw UsageError{"cannot tell the file names from the options; put -- before the names"};
    if (parser.isSet(o.nul) && !parser.isSet(o.filesFrom))
        throw UsageError{"-0 applies to --files-from, which is missing"};
    if (parser.isSet(o.filesFrom)) {
        const std::string list = raw.values["files-from"];
        for (const std::string& name : names)
            if (name == "-" && list == "-")
                throw UsageError{"standard input cannot be both the list and a picture"};
        std::vector<std::string> listed = ReadNameList(list, parser.isSet(o.nul));
        names.insert(names.end(), listed.begin(), listed.end());
    }
    std::vector<std::string> expanded = ExpandFolders(names);
    batchForm = parser.isSet(o.filesFrom) || names.size() > 1 || expanded != names;
    if (expanded.empty())
        throw UsageError{parser.isSet(o.filesFrom) || !parser.positionalArguments().isEmpty()
                             ? "no picture found in the names given"
                             : "no picture given"};
    return expanded;
}

// --max-megapixels, --jobs and --min-sum.
void readNumbers(const QCommandLineParser& parser, const Options& o, Batch& batch) {
    if (parser.isSet(o.limit)) {
        bool ok = false;
        const double megapixels = parser.value(o.limit).toDouble(&ok);
        const double pixels = megapixels * 1e6;
        if (!ok || !(pixels >= 1) || pixels > double(LoadLimits::kHighestMaxPixels))
            throw UsageError{"--max-megapixels takes a number from 0.000001 (one pixel) to " +
                             std::to_string(LoadLimits::kHighestMaxPixels / 1'000'000)};
        batch.limits.maxPixels = std::uint64_t(std::floor(pixels));
    }
    batch.jobs = QThread::idealThreadCount();
    if (parser.isSet(o.jobs)) {
        bool ok = false;
        batch.jobs = parser.value(o.jobs).toInt(&ok);
        if (!ok || batch.jobs < 1 || batch.jobs > 256)
            throw UsageError{"--jobs takes a whole number from 1 to 256"};
    }
    if (parser.isSet(o.minSum)) {
        bool ok = false;
        batch.minSum = parser.value(o.minSum).toInt(&ok);
        if (!ok || batch.minSum < 1 || batch.minSum > edge_rule::kLargestSum)
            throw UsageError{"--min-sum takes a whole number from 1 to " + std::to_string(edge_rule::kLargestSum)};
    }
}

Batch batchOf(const QCommandLineParser& parser, const Options& o, RawArguments& raw) {
    Batch batch;
    bool batchForm = false;
    batch.pictures = pictureNames(parser, o, raw, batchForm);
    batch.json = parser.isSet(o.json);
    readNumbers(parser, o, batch);
    if (parser.isSet(o.overlay)) {
        const std::string overlay = raw.values["overlay"];
        if (overlay.empty())
            throw UsageError{"--overlay takes a file or folder name"};
        batch.overlays = PlanOverlays(overlay, batch.pictures, batchForm);
    }
    if (parser.isSet(o.sync) && !parser.isSet(o.overlay))
        throw UsageError{"--sync applies to --overlay, which is missing"};
    if (parser.isSet(o.sync))
        batch.durability = Durability::OnDisk;
    batch.decimalSeparator = QLocale::system().decimalPoint().toStdString();
    return batch;
}

} // namespace

std::variant<Batch, UsageError> ParseArguments(int argc, char* argv[]) {
    const Options options = makeOptions();
    QCommandLineParser parser;
    describe(parser, options);
    if (!parser.parse(QCoreApplication::arguments()))
        return UsageError{parser.errorText().toStdString()};
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(0);
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion();
    try {
        RawArguments raw = rawArguments(argc, argv, {"overlay", "max-megapixels", "files-from", "jobs", "min-sum"});
        return batchOf(parser, options, raw);
    } catch (const UsageError& e) {
        return e;
    }
}

} // namespace quadfind::cli
