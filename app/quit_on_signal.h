// A desktop session that ends, `kill` or Ctrl+C in the terminal that started
// the window: each asks the program to go, and it closes as if Ctrl+Q had
// been pressed, with exit status 0, instead of dying in the middle.
#pragma once

namespace quadfind {

// For SIGTERM, SIGINT and SIGHUP, from now until the process ends. Needs a
// running QCoreApplication; returns false, leaving the signals' default
// action, where the system refuses the pipe it uses.
bool QuitOnSignal();

} // namespace quadfind
