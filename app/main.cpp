// The program entry: the top-level guard, the form, the event loop.
#include "Unit1.h"
#include "exception_report.h"

#include <QApplication>

#include <exception>
#include <memory>
#include <optional>

int main(int argc, char* argv[]) {
    // Declared outside the guard so that its report can still use them.
    std::optional<QApplication> application;
    std::unique_ptr<TForm1> form;
    try {
        application.emplace(argc, argv);
        form = std::make_unique<TForm1>();
        Form1 = form.get();
        form->show();
        // Without a window manager nobody else gives the window the keyboard,
        // and a user who starts with Space on "Laod" would type into nothing.
        form->activateWindow();
        QApplication::exec();
    } catch (const std::exception& error) {
        quadfind::ShowException(error);
    } catch (...) {
        quadfind::ShowUnknownException();
    }
    Form1 = nullptr;
    return 0;
}
