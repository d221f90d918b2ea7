// quadfind-cli: the window's edge-detection command for batch use.
//
// Each picture is processed as the window's edge-detection button would on a
// freshly started program; the output is the panel as text, or one JSON
// object per picture (JSON Lines). Exit status: 0 all processed, 1 any
// picture failed or the results could not be written, 2 usage error (nothing
// processed).
#include "batch.h"
#include "names.h"
#include "overlay_plan.h"
#include "terminal.h"
#include "quadfind_version.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <QThread>

#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <csignal>
#include <cmath>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <langinfo.h>
#include <strings.h>

using namespace quadfind;
using namespace quadfind::cli;

namespace {

int usageError(const std::string& message) {
    WriteErr("quadfind-cli: " + message + "\nTry 'quadfind-cli --help'.\n");
    return 2;
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

} // namespace

// Qt needs a UTF-8 character type and, from 6.5 on, says so in four lines on
// stderr when the locale is C or POSIX, as under cron. Switching only the
// character type here, before Qt looks, keeps stderr ours; the numbers'
// category, and with it the decimal separator, stays the user's.
static void UseUtf8CharacterType() {
    // A locale the system lacks (LANG=de_DE.UTF-8 sent over ssh) makes
    // setlocale fail and leaves the program in C, which Qt complains of too.
    std::setlocale(LC_ALL, "");
    const char* codeset = nl_langinfo(CODESET);
    if (codeset && (strcasecmp(codeset, "UTF-8") == 0 || strcasecmp(codeset, "utf8") == 0))
        return;
    // LC_ALL outranks LC_CTYPE: hand its value to the other categories.
    if (const char* all = std::getenv("LC_ALL"); all && *all) {
        const std::string value = all;
        for (const char* category : {"LC_NUMERIC", "LC_TIME", "LC_COLLATE", "LC_MONETARY", "LC_MESSAGES",
                                     "LC_PAPER", "LC_NAME", "LC_ADDRESS", "LC_TELEPHONE", "LC_MEASUREMENT",
                                     "LC_IDENTIFICATION"})
            ::setenv(category, value.c_str(), 1);
        ::unsetenv("LC_ALL");
    }
    ::setenv("LC_CTYPE", "C.UTF-8", 1);
    // Qt sets the locale from the environment again; where the environment
    // names a locale the system lacks, that call fails and changes nothing,
    // so the character type set here stays.
    if (!std::setlocale(LC_ALL, ""))
        std::setlocale(LC_CTYPE, "C.UTF-8");
}

int main(int argc, char* argv[]) {
    UseUtf8CharacterType();
    // A reader that goes away is a failed write like any other: reported,
    // with the run's overlays left complete or not at all.
    std::signal(SIGPIPE, SIG_IGN);
    if (!PrepareStandardStreams()) {
        WriteErr(std::string("quadfind-cli: cannot write to standard output: ") + std::strerror(errno) + "\n");
        return 1;
    }
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quadfind-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUADFIND_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Finds the quadrilateral in each picture as the quadfind window's edge-detection "
                       "button does, and prints the fourteen figures of its panel. A folder stands for "
                       "its picture files, sorted by name."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption jsonOption(QStringLiteral("json"),
                                        QStringLiteral("One JSON object per picture per line (JSON Lines)."));
    const QCommandLineOption overlayOption(
        QStringLiteral("overlay"),
        QStringLiteral("Write the result picture as a 24-bit BMP: to <path> for one picture, into the folder "
                       "<path> (base name, .bmp) for several. Never writes over a picture of the call."),
        QStringLiteral("path"));
    const QCommandLineOption limitOption(
        QStringLiteral("max-megapixels"),
        QStringLiteral("Refuse pictures with more than <n> million pixels (default %1, at most %2).")
            .arg(LoadLimits::kDefaultMaxPixels / 1'000'000)
            .arg(LoadLimits::kHighestMaxPixels / 1'000'000),
        QStringLiteral("n"));
    const QCommandLineOption filesFromOption(
        QStringLiteral("files-from"),
        QStringLiteral("Also process the pictures named in <list>, one a line ('-': standard input)."),
        QStringLiteral("list"));
    const QCommandLineOption nulOption(QStringList{QStringLiteral("0"), QStringLiteral("null")},
                                       QStringLiteral("The --files-from list is separated by NUL bytes."));
    const QCommandLineOption jobsOption(
        QStringLiteral("jobs"),
        QStringLiteral("Process <n> pictures at a time (default: the number of cores). The output is the "
                       "same for every <n>."),
        QStringLiteral("n"));
    const QCommandLineOption minSumOption(
        QStringLiteral("min-sum"),
        QStringLiteral("A pixel is an edge when GradientY + GradientX is at least <n> (default 1, the window's "
                       "rule; up to 382). Photographs, whose noise makes every pixel an edge at 1, need more."),
        QStringLiteral("n"));
    const QCommandLineOption syncOption(
        QStringLiteral("sync"),
        QStringLiteral("Put each overlay in place only once it is on the disk (fsync), so that not even a crash "
                       "of the whole system can lose it after its line is printed. Slower."));
    for (const QCommandLineOption* option : {&jsonOption, &overlayOption, &limitOption, &filesFromOption, &nulOption,
                                             &jobsOption, &minSumOption, &syncOption})
        parser.addOption(*option);
    parser.addPositionalArgument(QStringLiteral("PICTURE"),
                                 QStringLiteral("Picture files or folders to process, in order."),
                                 QStringLiteral("PICTURE..."));

    if (!parser.parse(QCoreApplication::arguments()))
        return usageError(parser.errorText().toStdString());
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(0);
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion();

    try {
        RawArguments raw = rawArguments(argc, argv, {"overlay", "max-megapixels", "files-from", "jobs", "min-sum"});
        std::vector<std::string> names = std::move(raw.names);
        if (names.size() != std::size_t(parser.positionalArguments().size()))
            return usageError("cannot tell the file names from the options; put -- before the names");
        if (parser.isSet(nulOption) && !parser.isSet(filesFromOption))
            return usageError("-0 applies to --files-from, which is missing");
        if (parser.isSet(filesFromOption)) {
            const std::string list = raw.values["files-from"];
            for (const std::string& name : names)
                if (name == "-" && list == "-")
                    return usageError("standard input cannot be both the list and a picture");
            std::vector<std::string> listed = ReadNameList(list, parser.isSet(nulOption));
            names.insert(names.end(), listed.begin(), listed.end());
        }
        std::vector<std::string> expanded = ExpandFolders(names);
        // A list, several names or a folder ask for a folder of overlays,
        // however many pictures they turn out to hold.
        const bool batchForm = parser.isSet(filesFromOption) || names.size() > 1 || expanded != names;
        names = std::move(expanded);
        if (names.empty())
            return usageError(parser.isSet(filesFromOption) || !parser.positionalArguments().isEmpty()
                                  ? "no picture found in the names given"
                                  : "no picture given");

        Batch batch;
        batch.pictures = std::move(names);
        batch.json = parser.isSet(jsonOption);
        if (parser.isSet(limitOption)) {
            bool ok = false;
            const double megapixels = parser.value(limitOption).toDouble(&ok);
            const double pixels = megapixels * 1e6;
            if (!ok || !(pixels >= 1) || pixels > double(LoadLimits::kHighestMaxPixels))
                return usageError("--max-megapixels takes a number from 0.000001 (one pixel) to " +
                                  std::to_string(LoadLimits::kHighestMaxPixels / 1'000'000));
            batch.limits.maxPixels = std::uint64_t(std::floor(pixels));
        }
        batch.jobs = QThread::idealThreadCount();
        if (parser.isSet(jobsOption)) {
            bool ok = false;
            batch.jobs = parser.value(jobsOption).toInt(&ok);
            if (!ok || batch.jobs < 1 || batch.jobs > 256)
                return usageError("--jobs takes a whole number from 1 to 256");
        }
        if (parser.isSet(minSumOption)) {
            bool ok = false;
            batch.minSum = parser.value(minSumOption).toInt(&ok);
            if (!ok || batch.minSum < 1 || batch.minSum > 382)
                return usageError("--min-sum takes a whole number from 1 to 382");
        }
        if (parser.isSet(overlayOption)) {
            const std::string overlay = raw.values["overlay"];
            if (overlay.empty())
                return usageError("--overlay takes a file or folder name");
            batch.overlays = PlanOverlays(overlay, batch.pictures, batchForm);
        }
        if (parser.isSet(syncOption) && !parser.isSet(overlayOption))
            return usageError("--sync applies to --overlay, which is missing");
        if (parser.isSet(syncOption))
            batch.durability = Durability::OnDisk;
        batch.decimalSeparator = QLocale::system().decimalPoint().toStdString();
        return RunBatch(batch);
    } catch (const UsageError& e) {
        return usageError(e.message);
    }
}
