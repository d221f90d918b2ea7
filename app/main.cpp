// The program entry: the command line, the top-level guard, the form, the
// event loop.
#include "Unit1.h"
#include "command_line.h"
#include "exception_report.h"
#include "quit_on_signal.h"

#include <QApplication>

#include <exception>
#include <memory>
#include <optional>

int main(int argc, char* argv[]) {
    const quadfind::CommandLine line = quadfind::ReadCommandLine(argc, argv);
    if (line.exitStatus)
        return *line.exitStatus;
    // Qt reads options of its own (-style, -platform...) from what it is
    // given: only the program's name, so that a picture named like one of
    // them still loads. QT_QPA_PLATFORM and the like still apply.
    int qtArgc = 1;
    // Declared outside the guard so that its report can still use them.
    std::optional<QApplication> application;
    std::unique_ptr<TForm1> form;
    try {
        application.emplace(qtArgc, argv);
        // Lets a Wayland desktop match the window to its menu entry and icon.
        QGuiApplication::setDesktopFileName(QStringLiteral("io.github.quadfind.quadfind"));
        quadfind::QuitOnSignal();
        form = std::make_unique<TForm1>();
        Form1 = form.get();
        form->show();
        // Without a window manager nobody else gives the window the keyboard,
        // and a user who starts with Space on "Laod" would type into nothing.
        form->activateWindow();
        if (line.file)
            form->openWhenShown(*line.file);
        QApplication::exec();
    } catch (const std::exception& error) {
        quadfind::ShowException(error);
    } catch (...) {
        quadfind::ShowUnknownException();
    }
    Form1 = nullptr;
    return 0;
}
