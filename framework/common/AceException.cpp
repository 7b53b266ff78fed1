#include "common/AceException.h"

#include "common/Common.h"

#include <cstdarg>

namespace Vaxo
{

void ThrowAceException(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::string message = vformat(format, args);
    va_end(args);
    throw AceException(message);
}

} // namespace Vaxo
