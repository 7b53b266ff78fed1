// The XML tokenizer over untrusted bytes. The first byte picks the source: a narrow
// string, a wide string (4 bytes a character), or a file read with the sniffed encoding
// or each forced one; its top bit allows comments.
#include "common/XMLParser.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace
{

const std::string& TempFile()
{
    static const std::string* path = []
    {
        char tmpl[] = "/tmp/fuzz_formats_xml_XXXXXX";
        int fd = mkstemp(tmpl);
        close(fd);
        std::string* p = new std::string(tmpl);
        atexit([] { unlink(TempFile().c_str()); });
        return p;
    }();
    return *path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const int mode = data[0] & 0x7F;
    const std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);

    Vaxo::XMLParser parser;
    parser.AllowComments((data[0] & 0x80) != 0);
    if (mode % 8 == 0)
        parser.SetStringSource(bytes);
    else if (mode % 8 == 1)
    {
        std::wstring wide(bytes.size() / 4, L'\0');
        for (size_t i = 0; i < wide.size(); ++i)
            wide[i] = static_cast<wchar_t>(
                uint32_t(uint8_t(bytes[4 * i])) | uint32_t(uint8_t(bytes[4 * i + 1])) << 8 |
                uint32_t(uint8_t(bytes[4 * i + 2])) << 16 | uint32_t(uint8_t(bytes[4 * i + 3])) << 24);
        parser.SetStringSource(wide);
    }
    else
    {
        FILE* f = fopen(TempFile().c_str(), "wb");
        fwrite(bytes.data(), 1, bytes.size(), f);
        fclose(f);
        if (mode % 8 >= 3) // 2: sniffed; 3 to 7: forced 0 to 4
            parser.SetEncodingType(static_cast<Vaxo::XMLEncodingType>(mode % 8 - 3));
        if (!parser.OpenFile(TempFile()))
            abort();
    }

    Vaxo::XMLElement element;
    while (parser.NextElement(&element))
        element.mAttributeNames.clear();
    return 0;
}
