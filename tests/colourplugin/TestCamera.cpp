// The test camera's description and register space.
#include "TestCamera.h"

#include "FeatureDescription.h"

#include <GenICam/GenericException.h>

#include <cstring>
#include <sstream>
#include <stdexcept>

namespace huvanetest {

namespace {
std::string intReg(const char* name, int64_t address)
{
    std::ostringstream out;
    out << "<IntReg Name=\"" << name << "\"><Address>" << address << "</Address><Length>4</Length>"
        << "<AccessMode>RW</AccessMode><pPort>Device</pPort><Cachable>NoCache</Cachable>"
        << "<Sign>Unsigned</Sign><Endianess>LittleEndian</Endianess></IntReg>\n";
    return out.str();
}

std::string floatReg(const char* name, int64_t address)
{
    std::ostringstream out;
    out << "<FloatReg Name=\"" << name << "\"><Address>" << address << "</Address><Length>8</Length>"
        << "<AccessMode>RW</AccessMode><pPort>Device</pPort><Cachable>NoCache</Cachable>"
        << "<Endianess>LittleEndian</Endianess></FloatReg>\n";
    return out.str();
}

std::string enumeration(const char* name, const std::vector<std::string>& symbols, const char* valueNode,
                        const char* selected = nullptr)
{
    std::ostringstream out;
    out << "<Enumeration Name=\"" << name << "\">";
    for (size_t i = 0; i < symbols.size(); ++i)
        out << "<EnumEntry Name=\"EnumEntry_" << name << "_" << symbols[i] << "\"><Value>" << i << "</Value><Symbolic>"
            << symbols[i] << "</Symbolic></EnumEntry>";
    if (selected)
        out << "<pSelected>" << selected << "</pSelected>";
    out << "<pValue>" << valueNode << "</pValue></Enumeration>\n";
    return out.str();
}

std::string command(const char* name, const char* reg, int64_t address)
{
    std::ostringstream out;
    out << "<Command Name=\"" << name << "\"><pValue>" << name << "Reg</pValue><CommandValue>1</CommandValue>"
        << "</Command>\n"
        << intReg(reg, address);
    return out.str();
}
} // namespace

std::string cameraDescription(const CameraOptions& o)
{
    std::ostringstream out;
    out << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
        << "<RegisterDescription ModelName=\"qvTest\" VendorName=\"Test\" StandardNameSpace=\"None\" "
           "SchemaMajorVersion=\"1\" SchemaMinorVersion=\"1\" SchemaSubMinorVersion=\"0\" MajorVersion=\"1\" "
           "MinorVersion=\"0\" SubMinorVersion=\"0\" ProductGuid=\"11111111-2222-3333-4444-555555555555\" "
           "VersionGuid=\"11111111-2222-3333-4444-666666666666\" "
           "xmlns=\"http://www.genicam.org/GenApi/Version_1_1\">\n";
    out << "<Category Name=\"Root\"><pFeature>ImageFormatControl</pFeature></Category>\n"
        << "<Category Name=\"ImageFormatControl\">";
    if (o.pixelFormat)
        out << "<pFeature>PixelFormat</pFeature>";
    if (o.colourMatrix)
        out << "<pFeature>ColorTransformationValue</pFeature>";
    out << "</Category>\n";
    if (o.pixelFormat) {
        out << enumeration("PixelFormat", {"Mono8", "BayerRG8"}, "PixelFormatValue")
            << "<Integer Name=\"PixelFormatValue\"><Value>" << (o.mono ? 0 : 1) << "</Value></Integer>\n";
    }
    out << "<Boolean Name=\"LUTEnable\"><pValue>LUTEnableValue</pValue><OnValue>1</OnValue><OffValue>0</OffValue>"
           "</Boolean>\n"
        << "<Integer Name=\"LUTEnableValue\"><Value>" << (o.lutEnabled ? 1 : 0) << "</Value></Integer>\n";
    if (o.lutBytes > 0)
        out << "<Register Name=\"LUTValueAll\"><Address>" << LutAddress << "</Address><Length>" << o.lutBytes
            << "</Length><AccessMode>RW</AccessMode><pPort>Device</pPort><Cachable>NoCache</Cachable>"
               "</Register>\n";
    out << command("AcquisitionStart", "AcquisitionStartReg", AcquisitionStartAddress)
        << command("AcquisitionStop", "AcquisitionStopReg", AcquisitionStopAddress);
    if (o.colourMatrix)
        out << enumeration("ColorTransformationValueSelector",
                           {"Gain00", "Gain01", "Gain02", "Gain10", "Gain11", "Gain12", "Gain20", "Gain21", "Gain22"},
                           "ColourSelectorReg", "ColorTransformationValue")
            << intReg("ColourSelectorReg", ColourSelectorAddress)
            << "<Float Name=\"ColorTransformationValue\"><pValue>ColourValueReg</pValue><Min>-8</Min><Max>3.99</Max>"
               "</Float>\n"
            << floatReg("ColourValueReg", ColourValueAddress);
    out << enumeration("BalanceRatioSelector", {"Red", "Green", "Blue"}, "BalanceSelectorReg", "BalanceRatio")
        << intReg("BalanceSelectorReg", BalanceSelectorAddress)
        << "<Float Name=\"BalanceRatio\"><pValue>BalanceValueReg</pValue><Min>0</Min><Max>15.98</Max></Float>\n"
        << floatReg("BalanceValueReg", BalanceValueAddress);
    if (o.lightSourcePreset)
        out << enumeration("LightSourcePreset", {"Off", "Daylight5000K"}, "PresetReg")
            << intReg("PresetReg", PresetAddress);
    if (o.cameraToneFeatures)
        for (const char* name : {"VlrBrightness", "VlrContrast"})
            out << "<Float Name=\"" << name << "\"><Description>The camera's own.</Description><Value>0</Value>"
                << "<Min>-1</Min><Max>1</Max></Float>\n";
    out << "<Port Name=\"Device\"/>\n</RegisterDescription>\n";
    return out.str();
}

TestPort::TestPort() : m_memory(0x30000, 0)
{
    for (int k = 0; k < 9; ++k) {
        m_matrix[k] = k % 4 == 0 ? 1.0 : 0.0;
        presetMatrix[k] = m_matrix[k];
    }
    for (double& r : m_ratios)
        r = 1.0;
}

void TestPort::Read(void* buffer, int64_t address, int64_t length)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (address < 0 || address + length > int64_t(m_memory.size()))
        throw GENICAM_EXCEPTION(GenICam::OutOfRangeException)("test port: read outside the register space");
    uint32_t selector;
    if (address == ColourValueAddress && length == 8) {
        std::memcpy(&selector, &m_memory[ColourSelectorAddress], 4);
        std::memcpy(buffer, &m_matrix[selector % 9], 8);
    } else if (address == BalanceValueAddress && length == 8) {
        std::memcpy(&selector, &m_memory[BalanceSelectorAddress], 4);
        std::memcpy(buffer, &m_ratios[selector % 3], 8);
    } else {
        std::memcpy(buffer, &m_memory[address], size_t(length));
    }
}

void TestPort::Write(const void* buffer, int64_t address, int64_t length)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (address < 0 || address + length > int64_t(m_memory.size()))
            throw GENICAM_EXCEPTION(GenICam::OutOfRangeException)("test port: write outside the register space");
        m_writes.push_back({address, length, std::chrono::steady_clock::now()});
        uint32_t selector;
        if (address == ColourValueAddress && length == 8) {
            std::memcpy(&selector, &m_memory[ColourSelectorAddress], 4);
            std::memcpy(&m_matrix[selector % 9], buffer, 8);
        } else if (address == BalanceValueAddress && length == 8) {
            std::memcpy(&selector, &m_memory[BalanceSelectorAddress], 4);
            std::memcpy(&m_ratios[selector % 3], buffer, 8);
        } else if (address == AcquisitionStartAddress || address == AcquisitionStopAddress) {
            // Self-clearing: the command is done at once.
            m_acquiring = address == AcquisitionStartAddress;
        } else {
            std::memcpy(&m_memory[address], buffer, size_t(length));
            if (address == PresetAddress && length == 4) {
                uint32_t preset;
                std::memcpy(&preset, buffer, 4);
                if (preset != 0) {
                    std::memcpy(m_matrix, presetMatrix, sizeof m_matrix);
                    for (double& r : m_ratios)
                        r = 1.0;
                }
            }
        }
    }
    m_changed.notify_all();
}

std::vector<TestPort::Access> TestPort::writes() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_writes;
}

std::vector<TestPort::Access> TestPort::writesIn(int64_t from, int64_t to) const
{
    std::vector<Access> result;
    for (const Access& w : writes())
        if (w.address >= from && w.address < to)
            result.push_back(w);
    return result;
}

void TestPort::clearWrites()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_writes.clear();
}

bool TestPort::acquiring() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_acquiring;
}

double TestPort::matrix(int row, int column) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_matrix[row * 3 + column];
}

void TestPort::setMatrix(int row, int column, double value)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_matrix[row * 3 + column] = value;
}

double TestPort::balanceRatio(int colour) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_ratios[colour];
}

void TestPort::setBalanceRatio(int colour, double value)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_ratios[colour] = value;
}

std::vector<uint32_t> TestPort::lut(size_t entries) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<uint32_t> table(entries);
    std::memcpy(table.data(), &m_memory[LutAddress], entries * 4);
    return table;
}

TestCamera::TestCamera(const CameraOptions& options)
{
    GenICam::gcstring_vector injected;
    if (options.pluginFeatures) {
        GenICam::gcstring description;
        Huvane::loadFeatureDescription(description);
        injected.push_back(description);
    }
    m_nodeMap = GenApi::CreateNodeMap(cameraDescription(options).c_str(), injected, "Device");
    if (!m_nodeMap->Connect(&m_port, "Device"))
        throw std::runtime_error("test camera: cannot connect the port");
}

TestCamera::~TestCamera()
{
    GenApi::DestroyNodeMap(m_nodeMap);
}

} // namespace huvanetest
