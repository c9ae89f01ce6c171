// The converter's parameter node map: a GenICam description whose registers are the converter's fields.
#include <nimbo/ImageFormatConverter.h>

#include <GenApi/GenApi.h>

#include <cstring>
#include <string>

namespace Nimbo {

namespace {

enum Address : int64_t { PixelFormatAt = 0, PaddingAt = 8, OrientationAt = 16, EdgesAt = 20 };

std::string entry(const char* name, long long value, const char* toolTip)
{
    return std::string("<EnumEntry Name=\"") + name + "\"><ToolTip>" + toolTip + "</ToolTip><Value>" +
           std::to_string(value) + "</Value></EnumEntry>";
}

std::string reg(const char* name, int64_t address, int length)
{
    return std::string("<IntReg Name=\"") + name + "\"><Visibility>Invisible</Visibility><Address>" +
           std::to_string(address) + "</Address><Length>" + std::to_string(length) +
           "</Length><AccessMode>RW</AccessMode><pPort>ConverterPort</pPort><Cachable>NoCache</Cachable>"
           "<Sign>Unsigned</Sign><Endianess>LittleEndian</Endianess></IntReg>";
}

std::string description()
{
    std::string xml =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
        "<RegisterDescription ModelName=\"ImageFormatConverter\" VendorName=\"Nimbo\" StandardNameSpace=\"None\" "
        "SchemaMajorVersion=\"1\" SchemaMinorVersion=\"1\" SchemaSubMinorVersion=\"0\" MajorVersion=\"1\" "
        "MinorVersion=\"0\" SubMinorVersion=\"0\">\n"
        "<Category Name=\"Root\"><pFeature>ImageFormatConverter</pFeature></Category>\n"
        "<Category Name=\"ImageFormatConverter\"><DisplayName>Image Format Converter</DisplayName>"
        "<pFeature>OutputPixelFormat</pFeature><pFeature>OutputPaddingX</pFeature>"
        "<pFeature>OutputOrientation</pFeature><pFeature>InconvertibleEdgeHandling</pFeature></Category>\n"
        "<Enumeration Name=\"OutputPixelFormat\"><ToolTip>Pixel format of the converted image.</ToolTip>"
        "<DisplayName>Output Pixel Format</DisplayName>";
    xml += entry("Mono8", PixelType_Mono8, "8-bit grey.");
    xml += entry("RGB8", PixelType_RGB8packed, "8-bit red, green, blue.");
    xml += entry("BGR8", PixelType_BGR8packed, "8-bit blue, green, red.");
    xml += entry("BGRa8", PixelType_BGRA8packed, "8-bit blue, green, red and opaque alpha.");
    xml += "<pValue>OutputPixelFormatReg</pValue></Enumeration>\n";
    xml += "<Integer Name=\"OutputPaddingX\"><ToolTip>Bytes added at the end of every output line.</ToolTip>"
           "<DisplayName>Output Padding X</DisplayName><pValue>OutputPaddingXReg</pValue><Min>0</Min>"
           "<Max>2147483647</Max><Unit>B</Unit></Integer>\n";
    xml += "<Enumeration Name=\"OutputOrientation\"><ToolTip>Line order of the converted image.</ToolTip>"
           "<DisplayName>Output Orientation</DisplayName>";
    xml += entry("Unchanged", OutputOrientation_Unchanged, "The line order of the input.");
    xml += entry("TopDown", OutputOrientation_TopDown, "The top line first.");
    xml += entry("BottomUp", OutputOrientation_BottomUp, "The bottom line first.");
    xml += "<pValue>OutputOrientationReg</pValue></Enumeration>\n";
    xml += "<Enumeration Name=\"InconvertibleEdgeHandling\"><ToolTip>What Bayer demosaicing does with the "
           "outermost pixels.</ToolTip><DisplayName>Inconvertible Edge Handling</DisplayName>";
    xml += entry("SetZero", InconvertibleEdgeHandling_SetZero, "The outermost pixels are black.");
    xml += entry("Extend", InconvertibleEdgeHandling_Extend, "The image is mirrored at its border.");
    xml += "<pValue>InconvertibleEdgeHandlingReg</pValue></Enumeration>\n";
    xml += reg("OutputPixelFormatReg", PixelFormatAt, 4) + "\n";
    xml += reg("OutputPaddingXReg", PaddingAt, 8) + "\n";
    xml += reg("OutputOrientationReg", OrientationAt, 4) + "\n";
    xml += reg("InconvertibleEdgeHandlingReg", EdgesAt, 4) + "\n";
    xml += "<Port Name=\"ConverterPort\"/>\n</RegisterDescription>\n";
    return xml;
}

uint64_t decode(const void* buffer, int64_t length)
{
    uint64_t value = 0;
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    for (int64_t i = 0; i < length && i < 8; ++i)
        value |= uint64_t(bytes[i]) << (8 * i);
    return value;
}

void encode(uint64_t value, void* buffer, int64_t length)
{
    auto* bytes = static_cast<uint8_t*>(buffer);
    for (int64_t i = 0; i < length; ++i)
        bytes[i] = i < 8 ? uint8_t(value >> (8 * i)) : 0;
}

} // namespace

// The port reads and writes the converter's fields; writes go through the converter's setters, so the
// node map and the C++ interface check values alike.
class CImageFormatConverter::ParameterNodeMap : public GenApi::IPort {
public:
    explicit ParameterNodeMap(CImageFormatConverter& converter)
        : m_converter(converter), m_map(GenApi::CreateNodeMap(description().c_str(), {}, "ImageFormatConverter"))
    {
        m_map->Connect(this, "ConverterPort");
    }
    ~ParameterNodeMap() override { GenApi::DestroyNodeMap(m_map); }

    GenApi::INodeMap* map() const { return m_map; }

    GenApi::EAccessMode GetAccessMode() const override { return GenApi::RW; }

    void Read(void* buffer, int64_t address, int64_t length) override
    {
        uint64_t value = 0;
        switch (address) {
        case PixelFormatAt: value = uint32_t(m_converter.m_outputPixelFormat); break;
        case PaddingAt: value = m_converter.m_outputPaddingX; break;
        case OrientationAt: value = uint32_t(m_converter.m_outputOrientation); break;
        case EdgesAt: value = uint32_t(m_converter.m_edgeHandling); break;
        default: throw OUT_OF_RANGE_EXCEPTION("No converter parameter at address %lld", (long long)address);
        }
        encode(value, buffer, length);
    }

    void Write(const void* buffer, int64_t address, int64_t length) override
    {
        const uint64_t value = decode(buffer, length);
        m_writing = true;
        try {
            switch (address) {
            case PixelFormatAt: m_converter.SetOutputPixelFormat(EPixelType(int32_t(uint32_t(value)))); break;
            case PaddingAt: m_converter.SetOutputPaddingX(size_t(value)); break;
            case OrientationAt: m_converter.SetOutputOrientation(EOutputOrientation(value)); break;
            case EdgesAt: m_converter.SetInconvertibleEdgeHandling(EInconvertibleEdgeHandling(value)); break;
            default: throw OUT_OF_RANGE_EXCEPTION("No converter parameter at address %lld", (long long)address);
            }
        } catch (...) {
            m_writing = false;
            throw;
        }
        m_writing = false;
    }

    // A change made through the C++ interface: let the nodes' observers see it.
    void changedOutside()
    {
        if (!m_writing)
            m_map->InvalidateNodes();
    }

private:
    CImageFormatConverter& m_converter;
    GenApi::INodeMap* m_map;
    bool m_writing = false;
};

GenApi::INodeMap* CImageFormatConverter::GetNodeMap()
{
    if (!m_nodeMap)
        m_nodeMap = std::make_unique<ParameterNodeMap>(*this);
    return m_nodeMap->map();
}

void CImageFormatConverter::parameterChanged()
{
    if (m_nodeMap)
        m_nodeMap->changedOutside();
}

CImageFormatConverter::CImageFormatConverter() = default;
CImageFormatConverter::~CImageFormatConverter() = default;

} // namespace Nimbo
