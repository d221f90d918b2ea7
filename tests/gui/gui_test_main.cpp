// The GUI suites need one QApplication for the whole process. Without a
// platform chosen, they run offscreen, also when CTest lists the tests.
#include "modal_script.h"

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QTimer>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);

    // A modal window that no test scripted would wait for a click for ever:
    // fail the running test and close the window instead.
    QTimer watchdog;
    QObject::connect(&watchdog, &QTimer::timeout, [] {
        auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!modal || !modal->isVisible() || quadfind::testing::ModalScript::waiting() > 0)
            return;
        const auto* box = qobject_cast<QMessageBox*>(modal);
        ADD_FAILURE() << "unexpected modal " << modal->metaObject()->className()
                      << (box ? ": " + box->text().toStdString() : std::string());
        modal->reject();
    });
    watchdog.start(200);
    return RUN_ALL_TESTS();
}
