#include "codec_messages.h"

#include <QtGlobal>

#include <cstdio>
#include <cstring>
#include <mutex>
#include <utility>

namespace quadfind {

namespace {

// Codecs report damage only through Qt's message log (libjpeg's "Corrupt
// JPEG data", libpng's "Read Error", Qt's own "Rejecting image..."), and
// often still return a picture. The handler is installed once and chains to
// the one before it; a decode collects what its own thread logs, so that
// files decoded on other threads keep their messages apart.
thread_local QStringList* tCaptured = nullptr;
QtMessageHandler gPreviousHandler = nullptr;

// Qt 6.4 logs libpng's warnings (a gAMA out of range, a PLTE after IDAT)
// as info of its image-I/O category: a codec's warning all the same.
bool isCodecReport(QtMsgType type, const QMessageLogContext& context) {
    return type == QtWarningMsg || type == QtCriticalMsg ||
           (type == QtInfoMsg && context.category && std::strcmp(context.category, "qt.gui.imageio") == 0);
}

void captureHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (tCaptured && isCodecReport(type, context)) {
        tCaptured->append(message.trimmed());
        return;
    }
    if (gPreviousHandler)
        gPreviousHandler(type, context, message);
    else
        std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
}

} // namespace

CapturedMessages::CapturedMessages() {
    static std::once_flag installed;
    std::call_once(installed, [] { gPreviousHandler = qInstallMessageHandler(captureHandler); });
    outer_ = std::exchange(tCaptured, &messages);
}

CapturedMessages::~CapturedMessages() {
    tCaptured = outer_;
}

std::string CapturedMessages::summary() const {
    constexpr qsizetype kShown = 3;
    QString text = messages.mid(0, kShown).join(QStringLiteral("; "));
    if (messages.size() > kShown)
        text += QStringLiteral(" (and %1 more)").arg(messages.size() - kShown);
    return text.toStdString();
}

} // namespace quadfind
