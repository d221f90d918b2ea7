// quadfind-cli: the window's edge-detection command for batch use.
//
// Each picture is processed as the window's edge-detection button would on a
// freshly started program; the output is the panel as text, or one JSON
// object per picture (JSON Lines). Exit status: 0 all processed, 1 any
// picture failed or the results could not be written, 2 usage error (nothing
// processed).
#include "batch.h"
#include "options.h"
#include "quadfind_version.h"
#include "terminal.h"

#include <QCoreApplication>
#include <QString>

#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>
#include <variant>

#include <langinfo.h>
#include <strings.h>

using namespace quadfind::cli;

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
        for (const char* category : {"LC_NUMERIC", "LC_TIME", "LC_COLLATE", "LC_MONETARY", "LC_MESSAGES", "LC_PAPER",
                                     "LC_NAME", "LC_ADDRESS", "LC_TELEPHONE", "LC_MEASUREMENT", "LC_IDENTIFICATION"})
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
    std::variant<Batch, UsageError> call = ParseArguments(argc, argv);
    if (const auto* error = std::get_if<UsageError>(&call)) {
        WriteErr("quadfind-cli: " + error->message + "\nTry 'quadfind-cli --help'.\n");
        return 2;
    }
    return RunBatch(std::get<Batch>(call));
}
