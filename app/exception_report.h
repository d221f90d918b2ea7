// The application's exception report: what happens to an exception that
// reaches the top of a command or of the program. One critical message box
// with the exception's message; the program then goes on.
#pragma once

#include <exception>

namespace quadfind {

void ShowException(const std::exception& error) noexcept;

// For a `catch (...)`: reports an exception that carries no message.
void ShowUnknownException() noexcept;

} // namespace quadfind
