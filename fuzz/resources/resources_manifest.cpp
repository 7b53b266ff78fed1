// The resource manifest reader over untrusted bytes: parsed once, then re-parsed (every
// id a redeclaration). It must end and not crash.
#include "resources/ResourceManager.h"

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
        char tmpl[] = "/tmp/fuzz_resources_manifest_XXXXXX";
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
    FILE* f = fopen(TempFile().c_str(), "wb");
    fwrite(data, 1, size, f);
    fclose(f);

    Vaxo::ResourceManager manager(nullptr);
    manager.ParseResourcesFile(TempFile());
    manager.ReparseResourcesFile(TempFile());
    return 0;
}
