// Qt's image format plug-ins need an application object; test programs that
// load pictures through Qt make one, once, before their first test.
#pragma once

#include <QCoreApplication>

namespace quadfind::testing {

inline void ensureCoreApplication() {
    static int argc = 1;
    static char name[] = "quadfind_tests";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance())
        new QCoreApplication(argc, argv); // lives as long as the test program
}

} // namespace quadfind::testing
