#pragma once

// The application's error handling: display text, the presenter, guarded commands.

#include <exception>
#include <functional>
#include <string>

namespace tessel {

// The text a failure shows: its message with a full stop appended when the last character
// sorts after "." in character code order (a message ending in a letter, a digit, a quote or
// any non-ASCII character gains one; one ending in ".", "!", " " or ")" does not).
std::string ErrorDisplayText(const std::string& message);

// What the application does with a failure that no command caught. The window installs a
// handler that shows a message box; the default writes to stderr. A silent abort (EAbort)
// never reaches the handler.
using TErrorPresenter = std::function<void(const std::string& text)>;
void SetErrorPresenter(TErrorPresenter presenter);

// Hands the exception to the presenter (EAbort: nothing). Never throws.
void HandleException(std::exception_ptr failure) noexcept;

// Runs a command so that no failure escapes it: the failure goes to HandleException.
// Returns false when the command failed.
bool RunGuarded(const std::function<void()>& command) noexcept;

}  // namespace tessel
