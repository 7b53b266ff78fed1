// The exception of the data readers.
//
// The typed XML parser and the binary save-format reader throw AceException
// with a fixed message text; their entry points catch it and report failure.
#pragma once

#include <exception>
#include <string>

namespace Vaxo
{

class AceException : public std::exception
{
public:
    explicit AceException(const std::string& message) : mMessage(message) {}
    ~AceException() override = default;

    const char* what() const noexcept override { return mMessage.c_str(); }

    std::string mMessage;
};

// Formats printf-style and throws an AceException with the text.
[[noreturn]] void ThrowAceException(const char* format, ...) __attribute__((format(printf, 1, 2)));

} // namespace Vaxo
