// The text helpers on arbitrary bytes: number parsing, XML entities, path folding and
// %name% substitution with variables taken from the input's "name=value" lines.
#include "common/Common.h"

#include <cstdlib>
#include <map>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    int i;
    double d;
    Vaxo::StringToInt(text, &i);
    Vaxo::StringToDouble(text, &d);
    Vaxo::StringToInt(Vaxo::StringToWString(text), &i);
    Vaxo::XMLDecodeString(text);
    if (Vaxo::XMLDecodeString(Vaxo::XMLEncodeString(text)) != text)
        abort();

    const size_t split = text.find('\n');
    const std::string first = text.substr(0, split);
    const std::string rest = split == std::string::npos ? std::string() : text.substr(split + 1);
    Vaxo::GetPathFrom(first, rest);
    Vaxo::GetPathFrom(rest, first);

    std::map<std::string, std::string> vars;
    for (size_t start = 0; start < rest.size();)
    {
        size_t end = rest.find('\n', start);
        const std::string line =
            rest.substr(start, end == std::string::npos ? std::string::npos : end - start);
        const size_t eq = line.find('=');
        if (eq != std::string::npos)
            vars[line.substr(0, eq)] = line.substr(eq + 1);
        start = end == std::string::npos ? rest.size() : end + 1;
    }
    Vaxo::Evaluate(first, vars);
    return 0;
}
