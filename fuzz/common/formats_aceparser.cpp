// The typed XML parser over untrusted bytes: the input is split at NUL bytes into up to
// four files "f0.xml" to "f3.xml" in a temporary folder, and a parser that walks every
// element, calls every getter on every attribute and follows "IncludeFile" reads f0.xml.
#include "common/AceParser.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace
{

const std::string& TempDir()
{
    static const std::string* dir = []
    {
        char tmpl[] = "/tmp/fuzz_formats_aceparser_XXXXXX";
        std::string* d = new std::string(std::string(mkdtemp(tmpl)) + "/");
        atexit(
            []
            {
                for (int i = 0; i < 4; ++i)
                    unlink((TempDir() + "f" + std::to_string(i) + ".xml").c_str());
                rmdir(TempDir().c_str());
            });
        return d;
    }();
    return *dir;
}

class WalkParser : public Vaxo::AceParser
{
public:
    void DoParse() override
    {
        while (NextElement())
        {
            if (mCurrentElement.mType != Vaxo::XMLElement::TYPE_START)
                continue;
            for (const auto& attribute : mCurrentElement.mAttributes)
                CallGetters(attribute.first);
            CallGetters("path");
            if (mCurrentElement.mValue == "IncludeFile")
                DoInclude();
        }
    }

private:
    template <typename F> static void Try(F call)
    {
        try
        {
            call();
        }
        catch (const Vaxo::AceException&)
        {
        }
    }

    void CallGetters(const std::string& key)
    {
        const Vaxo::XMLElementEx& e = mCurrentElement;
        std::string s;
        int i = 0;
        float f = 0;
        bool b = false;
        Try([&] { e.GetStringIfPresent(key, s) && e.GetStringReq(key).size(); });
        Try([&] { e.GetInt(key, 0); });
        Try([&] { e.GetIntReq(key); });
        Try([&] { e.GetIntIfPresent(key, i); });
        Try([&] { e.GetFloat(key, 0); });
        Try([&] { e.GetFloatReq(key); });
        Try([&] { e.GetFloatIfPresent(key, f); });
        Try([&] { e.GetBool(key, false); });
        Try([&] { e.GetBoolReq(key); });
        Try([&] { e.GetBoolIfPresent(key, b); });
        Vaxo::ParseStrWithEscapes(e.GetString(key));
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    size_t start = 0;
    for (int i = 0; i < 4; ++i)
    {
        size_t end = i == 3 ? std::string::npos : input.find('\0', start);
        std::string part = start <= input.size() ? input.substr(start, end - start) : std::string();
        FILE* f = fopen((TempDir() + "f" + std::to_string(i) + ".xml").c_str(), "wb");
        fwrite(part.data(), 1, part.size(), f);
        fclose(f);
        start = end == std::string::npos ? input.size() + 1 : end + 1;
    }
    WalkParser parser;
    parser.Parse(TempDir() + "f0.xml");
    parser.GetError();
    return 0;
}
