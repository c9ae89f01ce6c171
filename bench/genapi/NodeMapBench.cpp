// Loading a generated 2,000-node description and a real camera's sized one with faulty nodes, cached
// reads and writes with dependents, and limits that come down a long chain of pValue links.
#include "CameraDescription.h"
#include "RatioReport.h"

#include <GenApi/GenApi.h>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

using namespace GenApi;

namespace {
const int kGroups = 400; // five nodes each: register, integer, converter, swiss knife, boolean

std::string generatedDescription()
{
    std::string xml = "<?xml version=\"1.0\"?>\n<RegisterDescription ModelName=\"Bench\" VendorName=\"Bench\">\n"
                      "<Category Name=\"Root\">";
    for (int i = 0; i < kGroups; ++i)
        xml += "<pFeature>Value" + std::to_string(i) + "</pFeature>";
    xml += "</Category>\n<Port Name=\"Device\"/>\n";
    for (int i = 0; i < kGroups; ++i) {
        const std::string n = std::to_string(i);
        xml += "<IntReg Name=\"Reg" + n + "\"><Address>" + std::to_string(i * 4) +
               "</Address><Length>4</Length><AccessMode>RW</AccessMode><pPort>Device</pPort></IntReg>\n"
               "<Integer Name=\"Value" +
               n + "\"><pValue>Reg" + n +
               "</pValue><Min>0</Min><Max>100000</Max></Integer>\n"
               "<Converter Name=\"Scaled" +
               n + "\"><pValue>Value" + n +
               "</pValue><FormulaTo>FROM*10</FormulaTo><FormulaFrom>TO/10</FormulaFrom></Converter>\n"
               "<SwissKnife Name=\"Sum" +
               n + "\"><pVariable Name=\"A\">Value" + n + "</pVariable><pVariable Name=\"B\">Scaled" + n +
               "</pVariable><Formula>A+B*2</Formula></SwissKnife>\n"
               "<Boolean Name=\"Lock" +
               n + "\"><Value>0</Value></Boolean>\n";
    }
    xml += "</RegisterDescription>\n";
    return xml;
}

class MemoryPort : public IPort {
public:
    EAccessMode GetAccessMode() const override { return RW; }
    void Read(void* buffer, int64_t address, int64_t length) override
    {
        std::memcpy(buffer, bytes.data() + address, static_cast<size_t>(length));
    }
    void Write(const void* buffer, int64_t address, int64_t length) override
    {
        std::memcpy(bytes.data() + address, buffer, static_cast<size_t>(length));
    }
    std::vector<uint8_t> bytes = std::vector<uint8_t>(kGroups * 4, 0);
};

struct Fixture {
    Fixture() : map(CreateNodeMap(generatedDescription().c_str(), {}, "Bench")) { map->Connect(&port); }
    ~Fixture() { DestroyNodeMap(map); }
    MemoryPort port;
    INodeMap* map;
};

struct Sink {
    void onChange(INode*) { ++calls; }
    int64_t calls = 0;
};

void BM_Load(benchmark::State& state)
{
    const std::string xml = generatedDescription();
    for (auto _ : state) {
        INodeMap* map = CreateNodeMap(xml.c_str(), {}, "Bench");
        benchmark::DoNotOptimize(map);
        DestroyNodeMap(map);
    }
    state.counters["nodes"] = kGroups * 5 + 2;
}
BENCHMARK(BM_Load)->Unit(benchmark::kMillisecond);

void BM_CachedIntegerRead(benchmark::State& state)
{
    Fixture f;
    CIntegerPtr value = f.map->GetNode("Value7");
    value->GetValue();
    for (auto _ : state)
        benchmark::DoNotOptimize(value->GetValue());
}
BENCHMARK(BM_CachedIntegerRead);

void BM_CachedFormulaRead(benchmark::State& state)
{
    Fixture f;
    CFloatPtr sum = f.map->GetNode("Sum7");
    sum->GetValue();
    for (auto _ : state)
        benchmark::DoNotOptimize(sum->GetValue());
}
BENCHMARK(BM_CachedFormulaRead);

void BM_GetNodeByName(benchmark::State& state)
{
    Fixture f;
    for (auto _ : state)
        benchmark::DoNotOptimize(f.map->GetNode("Scaled399"));
}
BENCHMARK(BM_GetNodeByName);

// A write through the converter: register write, then the integer, converter and swiss knife are
// invalidated and their callbacks run; the next read recomputes the formula.
void BM_WriteWithDependents(benchmark::State& state)
{
    Fixture f;
    Sink sink;
    for (const char* name : {"Reg7", "Value7", "Scaled7", "Sum7"})
        Register(f.map->GetNode(name), sink, &Sink::onChange);
    CFloatPtr scaled = f.map->GetNode("Scaled7");
    CFloatPtr sum = f.map->GetNode("Sum7");
    double v = 0;
    for (auto _ : state) {
        v = v >= 9999 ? 0 : v + 1;
        scaled->SetValue(v);
        benchmark::DoNotOptimize(sum->GetValue());
    }
    state.counters["callbacks/write"] = benchmark::Counter(static_cast<double>(sink.calls) / state.iterations());
}
BENCHMARK(BM_WriteWithDependents);

// A description of a real camera's size whose faulty nodes are left out (the nodes are built again
// without them).
void BM_LoadCameraDescriptionWithFaultyNodes(benchmark::State& state)
{
    const std::string xml = genapitest::cameraDescription().xml;
    for (auto _ : state) {
        INodeMap* map = CreateNodeMap(xml.c_str(), {}, "Bench");
        benchmark::DoNotOptimize(map);
        DestroyNodeMap(map);
    }
    state.counters["bytes"] = static_cast<double>(xml.size());
}
BENCHMARK(BM_LoadCameraDescriptionWithFaultyNodes)->Unit(benchmark::kMillisecond);

// The minimum of the first of 24 integer and float nodes, each with its pValue on the next, the last
// holding the limits: each node asks the next one for both limits at once.
void BM_LimitsAlongAChainOf24(benchmark::State& state)
{
    const int length = 24;
    std::string xml = "<?xml version=\"1.0\"?>\n<RegisterDescription ModelName=\"Bench\" VendorName=\"Bench\">\n";
    for (int i = 0; i + 1 < length; ++i) {
        const std::string kind = i % 2 ? "Float" : "Integer";
        xml += "<" + kind + " Name=\"Link" + std::to_string(i) + "\"><pValue>Link" + std::to_string(i + 1) +
               "</pValue></" + kind + ">\n";
    }
    xml += "<Integer Name=\"Link" + std::to_string(length - 1) +
           "\"><Value>20</Value><Min>5</Min><Max>1000</Max></Integer>\n</RegisterDescription>\n";
    INodeMap* map = CreateNodeMap(xml.c_str(), {}, "Bench");
    CIntegerPtr head = map->GetNode("Link0");
    const auto begin = std::chrono::steady_clock::now();
    for (auto _ : state)
        benchmark::DoNotOptimize(head->GetMin());
    const std::chrono::duration<double> spent = std::chrono::steady_clock::now() - begin;
    state.counters["ms_per_query"] = 1000.0 * spent.count() / static_cast<double>(state.iterations());
    DestroyNodeMap(map);
}
BENCHMARK(BM_LimitsAlongAChainOf24)->Unit(benchmark::kMicrosecond);
} // namespace

int main(int argc, char** argv)
{
    return benchratio::runWithRatios(argc, argv,
                                     {benchratio::counterAtMost("limits along a chain of 24 pValue links: ms a query",
                                                                "BM_LimitsAlongAChainOf24", "ms_per_query", 100.0)});
}
