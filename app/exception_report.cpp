#include "exception_report.h"

#include <QApplication>
#include <QMessageBox>

#include <cstdio>
#include <stdexcept>
#include <string>

namespace quadfind {

void ShowException(const std::exception& error) noexcept {
    try {
        const QString message = QString::fromUtf8(error.what());
        if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
            // Only when the application object itself could not be made.
            std::fprintf(stderr, "%s\n", error.what());
            return;
        }
        QMessageBox::critical(QApplication::activeWindow(), QCoreApplication::applicationName(), message);
    } catch (...) {
        // The report is the last resort; it has nowhere to pass a failure on to.
    }
}

void ShowUnknownException() noexcept {
    // Whatever was thrown carries no message we can read: report it the way
    // every other exception is reported, as one with an empty message.
    try {
        throw std::runtime_error(std::string());
    } catch (const std::exception& error) {
        ShowException(error);
    }
}

} // namespace quadfind
