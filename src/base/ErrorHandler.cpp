// What happens to a failure no command caught.

#include "base/ErrorHandler.h"

#include <cstdio>

#include "base/Exceptions.h"

namespace tessel {

namespace {

void PrintToStderr(const std::string& text) {
    std::fprintf(stderr, "%s\n", text.c_str());
}

TErrorPresenter& Presenter() {
    static TErrorPresenter presenter = PrintToStderr;
    return presenter;
}

}  // namespace

std::string ErrorDisplayText(const std::string& message) {
    if (!message.empty() && static_cast<unsigned char>(message.back()) > static_cast<unsigned char>('.'))
        return message + ".";
    return message;
}

void SetErrorPresenter(TErrorPresenter presenter) {
    Presenter() = presenter ? std::move(presenter) : TErrorPresenter(PrintToStderr);
}

void HandleException(std::exception_ptr failure) noexcept {
    std::string text;
    try {
        std::rethrow_exception(failure);
    } catch (const EAbort&) {
        return;
    } catch (const std::exception& e) {
        text = ErrorDisplayText(e.what());
    } catch (...) {
        text = "Unknown error.";
    }
    try {
        Presenter()(text);
    } catch (...) {
        std::fprintf(stderr, "%s\n", text.c_str());
    }
}

bool RunGuarded(const std::function<void()>& command) noexcept {
    try {
        command();
        return true;
    } catch (...) {
        HandleException(std::current_exception());
        return false;
    }
}

}  // namespace tessel
