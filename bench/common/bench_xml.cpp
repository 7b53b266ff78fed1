// The XML tokenizer against expat on the same generated documents: a 1 MB manifest-like
// document (elements with attributes, comments, text) and documents nested 1,000 and
// 10,000 levels deep (time per byte must not grow with the depth).
//
// Both sides deliver the same tokens to the caller: element names, attribute maps keyed
// without case, text with entities resolved.
#include "common/XMLParser.h"

#include <benchmark/benchmark.h>
#if VAXO_HAVE_EXPAT
#include <expat.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

using namespace Vaxo;

namespace
{

std::string MakeManifest(size_t targetBytes)
{
    std::string doc = "<?xml version=\"1.0\"?>\n<!-- generated resource manifest -->\n<ResourceManifest>\n";
    char line[512];
    for (int group = 0; doc.size() < targetBytes; ++group)
    {
        snprintf(line, sizeof(line), "  <Resources id=\"Group%d\">\n    <!-- images of group %d -->\n", group,
                 group);
        doc += line;
        snprintf(line, sizeof(line), "    <SetDefaults path=\"images/group%d\" idprefix=\"IMAGE_\"/>\n",
                 group);
        doc += line;
        for (int i = 0; i < 20; ++i)
        {
            snprintf(line, sizeof(line),
                     "    <Image id=\"BUTTON_%d_%d\" path=\"button_%d\" alphaimage=\"button_%d_\" "
                     "rows=\"%d\" cols=\"4\" a8r8g8b8=\"true\"/>\n",
                     group, i, i, i, i % 5 + 1);
            doc += line;
        }
        snprintf(line, sizeof(line),
                 "    <Sound id=\"SOUND_CLICK_%d\" path=\"sounds/click%d\" volume=\"0.5\"/>\n"
                 "    <Font id=\"FONT_%d\" path=\"fonts/Arial%d.txt\" tags=\"small, bold\"/>\n"
                 "    <Note>Loads &amp; binds the images of group %d  before   the menu</Note>\n"
                 "  </Resources>\n",
                 group, group, group, group, group);
        doc += line;
    }
    doc += "</ResourceManifest>\n";
    return doc;
}

std::string MakeNested(int depth)
{
    std::string doc;
    for (int i = 0; i < depth; ++i)
        doc += "<e k=\"v\">";
    doc += "x";
    for (int i = 0; i < depth; ++i)
        doc += "</e>";
    return doc;
}

const std::string& Manifest()
{
    static const std::string* doc = new std::string(MakeManifest(1 << 20));
    return *doc;
}

const std::string& ManifestFile()
{
    static const std::string* path = []
    {
        char tmpl[] = "/tmp/bench_xml_XXXXXX";
        std::string* p = new std::string(std::string(mkdtemp(tmpl)) + "/manifest.xml");
        FILE* f = fopen(p->c_str(), "wb");
        fwrite(Manifest().data(), 1, Manifest().size(), f);
        fclose(f);
        return p;
    }();
    return *path;
}

// ---- Ours ------------------------------------------------------------------------------

size_t DrainTokenizer(XMLParser& parser)
{
    XMLElement e;
    size_t tokens = 0;
    while (parser.NextElement(&e))
    {
        tokens += 1 + e.mAttributes.size();
        e.mAttributeNames.clear();
    }
    if (parser.HasFailed())
        std::abort();
    return tokens;
}

void BM_TokenizerString(benchmark::State& state, const std::string& doc)
{
    for (auto _ : state)
    {
        XMLParser parser;
        parser.SetStringSource(doc);
        benchmark::DoNotOptimize(DrainTokenizer(parser));
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(doc.size()));
}

void BM_TokenizerFile(benchmark::State& state)
{
    const std::string& path = ManifestFile();
    for (auto _ : state)
    {
        XMLParser parser;
        if (!parser.OpenFile(path))
            std::abort();
        benchmark::DoNotOptimize(DrainTokenizer(parser));
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(Manifest().size()));
}

#if VAXO_HAVE_EXPAT
// ---- expat -----------------------------------------------------------------------------

struct ExpatSink
{
    XMLElement element; // filled like the tokenizer fills its element
    std::string text;
    size_t tokens = 0;
};

void FlushText(ExpatSink* sink)
{
    if (!sink->text.empty())
    {
        sink->element.mValue.swap(sink->text);
        sink->text.clear();
        ++sink->tokens;
    }
}

void XMLCALL ExpatStart(void* data, const XML_Char* name, const XML_Char** atts)
{
    ExpatSink* sink = static_cast<ExpatSink*>(data);
    FlushText(sink);
    sink->element.mAttributes.clear();
    sink->element.mValue = name;
    for (const XML_Char** a = atts; *a; a += 2)
        sink->element.mAttributes[a[0]] = a[1];
    sink->tokens += 1 + sink->element.mAttributes.size();
}

void XMLCALL ExpatEnd(void* data, const XML_Char* name)
{
    ExpatSink* sink = static_cast<ExpatSink*>(data);
    FlushText(sink);
    sink->element.mValue = name;
    ++sink->tokens;
}

void XMLCALL ExpatText(void* data, const XML_Char* s, int len)
{
    static_cast<ExpatSink*>(data)->text.append(s, size_t(len));
}

size_t ParseExpat(const char* bytes, size_t size)
{
    XML_Parser parser = XML_ParserCreate(nullptr);
    ExpatSink sink;
    XML_SetUserData(parser, &sink);
    XML_SetElementHandler(parser, ExpatStart, ExpatEnd);
    XML_SetCharacterDataHandler(parser, ExpatText);
    if (XML_Parse(parser, bytes, int(size), 1) != XML_STATUS_OK)
        std::abort();
    XML_ParserFree(parser);
    return sink.tokens;
}

void BM_ExpatString(benchmark::State& state, const std::string& doc)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(ParseExpat(doc.data(), doc.size()));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(doc.size()));
}

void BM_ExpatFile(benchmark::State& state)
{
    const std::string& path = ManifestFile();
    std::string bytes;
    for (auto _ : state)
    {
        FILE* f = fopen(path.c_str(), "rb");
        bytes.resize(Manifest().size());
        size_t n = fread(&bytes[0], 1, bytes.size(), f);
        fclose(f);
        benchmark::DoNotOptimize(ParseExpat(bytes.data(), n));
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(Manifest().size()));
}
#endif

} // namespace

BENCHMARK_CAPTURE(BM_TokenizerString, manifest_1MB, Manifest())->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TokenizerFile)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_TokenizerString, nested_1000, MakeNested(1000))->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_TokenizerString, nested_10000, MakeNested(10000))->Unit(benchmark::kMicrosecond);
#if VAXO_HAVE_EXPAT
BENCHMARK_CAPTURE(BM_ExpatString, manifest_1MB, Manifest())->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExpatFile)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ExpatString, nested_1000, MakeNested(1000))->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ExpatString, nested_10000, MakeNested(10000))->Unit(benchmark::kMicrosecond);
#endif
