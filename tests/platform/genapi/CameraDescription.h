// A GenICam description the size of a real camera's (hundreds of features, several hundred KB), written the
// way vendors write them: SFNC categories, integer registers behind features, converters, enumerations
// with prefixed entries, bit fields in StructRegs, strings, commands, locks and invalidators, long texts;
// and a few of the faults real descriptions carry: each in a node named "Broken..." that is left out, or
// named "Loose..." where the fault has one sensible reading, which the node is loaded with.
#pragma once

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

namespace genapitest {
struct CameraDescription {
    std::string xml;
    int families = 0;                // feature families "<Area><i>..." (see familyNames)
    std::vector<std::string> broken; // the nodes that cannot be used
    std::vector<std::string> loose;  // the nodes loaded with a warning
    int64_t portSize = 0;            // bytes of register space the description addresses
};

// The areas the families are spread over; each family i of area a has these nodes (n = a + i):
// Param<n> (Integer over Param<n>Reg), Level<n> (Float, Converter over Level<n>Raw), Mode<n> (Enumeration),
// Flag<n>A..D (StructEntries of one StructReg), Label<n> (StringReg), Enable<n> (Boolean over a
// MaskedIntReg), Reset<n> (Command).
inline const std::vector<std::string>& familyAreas()
{
    static const std::vector<std::string> areas = {"Analog", "Image", "Acquisition", "Counter", "Timer",
                                                   "Lut",    "Io",    "Event",       "Chunk",   "Transport"};
    return areas;
}

inline CameraDescription cameraDescription(int familiesPerArea = 12)
{
    CameraDescription d;
    std::ostringstream x;
    const std::string lorem =
        "This feature controls a part of the camera's image pipeline. Changes take effect with the next frame; "
        "while the camera streams, features that change the payload are locked. The range depends on the "
        "sensor and on the pixel format in use; see the camera's user manual for the details of each mode.";
    x << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
         "<RegisterDescription ModelName=\"RealisticCam\" VendorName=\"Tester\" ToolTip=\"A large camera\" "
         "StandardNameSpace=\"GEV\" SchemaMajorVersion=\"1\" SchemaMinorVersion=\"1\" SchemaSubMinorVersion=\"0\" "
         "MajorVersion=\"3\" MinorVersion=\"2\" SubMinorVersion=\"1\" ProductGuid=\"0\" VersionGuid=\"0\" "
         "xmlns=\"http://www.genicam.org/GenApi/Version_1_1\">\n";
    x << "  <Category Name=\"Root\" NameSpace=\"Standard\">\n";
    for (const std::string& area : familyAreas())
        x << "    <pFeature>" << area << "Control</pFeature>\n";
    x << "    <pFeature>BrokenControl</pFeature>\n  </Category>\n";
    x << "  <Port Name=\"Device\" NameSpace=\"Standard\"><ToolTip>Port of the device</ToolTip></Port>\n";
    x << "  <Integer Name=\"TLParamsLocked\" NameSpace=\"Standard\"><Visibility>Invisible</Visibility>"
         "<Value>0</Value><Min>0</Min><Max>1</Max></Integer>\n";

    int64_t address = 0x1000;
    auto reg = [&](int length) {
        const int64_t a = address;
        address += length;
        std::ostringstream hex;
        hex << "0x" << std::hex << a;
        return hex.str();
    };
    auto texts = [&](const std::string& name) {
        return "<ToolTip>Sets " + name + ".</ToolTip><Description>" + name + ": " + lorem +
               "</Description><DisplayName>" + name + " (display)</DisplayName>";
    };

    for (const std::string& area : familyAreas()) {
        x << "  <Category Name=\"" << area << "Control\" NameSpace=\"Standard\">" << texts(area + "Control");
        for (int i = 0; i < familiesPerArea; ++i) {
            const std::string n = area + std::to_string(i);
            for (const char* f :
                 {"Param", "Level", "Mode", "FlagA", "FlagB", "FlagC", "FlagD", "Label", "Enable", "Reset"}) {
                std::string feature = f;
                if (feature.compare(0, 4, "Flag") == 0)
                    x << "<pFeature>Flag" << n << feature.substr(4) << "</pFeature>";
                else
                    x << "<pFeature>" << feature << n << "</pFeature>";
            }
        }
        x << "</Category>\n";
        for (int i = 0; i < familiesPerArea; ++i, ++d.families) {
            const std::string n = area + std::to_string(i);
            const char* visibility[] = {"Beginner", "Expert", "Guru"};
            // An integer feature over a big-endian register, locked while streaming.
            x << "  <Integer Name=\"Param" << n << "\" NameSpace=\"Custom\">" << texts("Param" + n) << "<Visibility>"
              << visibility[i % 3] << "</Visibility><pIsLocked>TLParamsLocked</pIsLocked><pValue>Param" << n
              << "Reg</pValue><Min>0</Min><Max>4095</Max><Inc>" << (i % 4 == 0 ? 4 : 1)
              << "</Inc><Representation>Linear</Representation><Unit>us</Unit></Integer>\n";
            x << "  <IntReg Name=\"Param" << n << "Reg\" NameSpace=\"Custom\"><Address>" << reg(4)
              << "</Address><Length>4</Length><AccessMode>RW</AccessMode><pPort>Device</pPort>"
                 "<Cachable>WriteThrough</Cachable><Sign>Unsigned</Sign><Endianess>BigEndian</Endianess></IntReg>\n";
            // A float feature through a converter over a raw register.
            x << "  <Converter Name=\"Level" << n << "\" NameSpace=\"Custom\">" << texts("Level" + n)
              << "<pInvalidator>Param" << n << "Reg</pInvalidator><FormulaTo>FROM*100</FormulaTo>"
              << "<FormulaFrom>TO/100</FormulaFrom><pValue>Level" << n
              << "Raw</pValue><Unit>dB</Unit><Representation>Linear</Representation>"
                 "<DisplayNotation>Fixed</DisplayNotation><DisplayPrecision>2</DisplayPrecision><Slope>Increasing"
                 "</Slope></Converter>\n";
            x << "  <IntReg Name=\"Level" << n << "Raw\" NameSpace=\"Custom\"><Address>" << reg(4)
              << "</Address><Length>4</Length><AccessMode>RW</AccessMode><pPort>Device</pPort><Sign>Signed</Sign>"
                 "<Endianess>BigEndian</Endianess></IntReg>\n";
            // An enumeration with prefixed entries, one only sometimes available.
            x << "  <Enumeration Name=\"Mode" << n << "\" NameSpace=\"Standard\">" << texts("Mode" + n);
            const char* symbols[] = {"Off", "Once", "Continuous", "Manual"};
            for (int e = 0; e < 4; ++e) {
                x << "<EnumEntry Name=\"EnumEntry_Mode" << n << "_" << symbols[e] << "\" NameSpace=\"Standard\">"
                  << "<ToolTip>" << symbols[e] << " mode</ToolTip>";
                if (e == 1)
                    x << "<DisplayName>Once only</DisplayName>";
                if (e == 3)
                    x << "<pIsAvailable>Mode" << n << "ManualAvailable</pIsAvailable>";
                x << "<Value>" << e << "</Value><Symbolic>" << symbols[e] << "</Symbolic></EnumEntry>";
            }
            x << "<pValue>Mode" << n << "Reg</pValue></Enumeration>\n";
            x << "  <IntReg Name=\"Mode" << n << "Reg\"><Address>" << reg(4)
              << "</Address><Length>4</Length><AccessMode>RW</AccessMode><pPort>Device</pPort>"
                 "<Endianess>BigEndian</Endianess></IntReg>\n";
            x << "  <IntSwissKnife Name=\"Mode" << n << "ManualAvailable\"><pVariable Name=\"P\">Param" << n
              << "</pVariable><Formula>P&gt;=100</Formula></IntSwissKnife>\n";
            // Four bit fields of one status/control register.
            x << "  <StructReg Comment=\"Flags" << n << "\"><Address>" << reg(4)
              << "</Address><Length>4</Length><AccessMode>RW</AccessMode><pPort>Device</pPort>"
                 "<Endianess>LittleEndian</Endianess><Cachable>NoCache</Cachable>"
              << "<StructEntry Name=\"Flag" << n << "A\">" << texts("Flag" + n + "A") << "<Bit>0</Bit></StructEntry>"
              << "<StructEntry Name=\"Flag" << n << "B\"><Bit>1</Bit></StructEntry>"
              << "<StructEntry Name=\"Flag" << n << "C\"><LSB>4</LSB><MSB>7</MSB></StructEntry>"
              << "<StructEntry Name=\"Flag" << n << "D\"><LSB>16</LSB><MSB>31</MSB><Sign>Signed</Sign>"
              << "</StructEntry></StructReg>\n";
            x << "  <StringReg Name=\"Label" << n << "\" NameSpace=\"Custom\">" << texts("Label" + n) << "<Address>"
              << reg(16)
              << "</Address><Length>16</Length><AccessMode>RW</AccessMode>"
                 "<pPort>Device</pPort></StringReg>\n";
            x << "  <Boolean Name=\"Enable" << n << "\">" << texts("Enable" + n) << "<pValue>Enable" << n
              << "Bit</pValue><OnValue>1</OnValue><OffValue>0</OffValue></Boolean>\n";
            x << "  <MaskedIntReg Name=\"Enable" << n << "Bit\"><Address>" << reg(4)
              << "</Address><Length>4</Length><AccessMode>RW</AccessMode><pPort>Device</pPort><Bit>3</Bit>"
                 "<Endianess>BigEndian</Endianess></MaskedIntReg>\n";
            x << "  <Command Name=\"Reset" << n << "\">" << texts("Reset" + n) << "<pValue>Reset" << n
              << "Reg</pValue><CommandValue>1</CommandValue></Command>\n";
            x << "  <IntReg Name=\"Reset" << n << "Reg\"><Address>" << reg(4)
              << "</Address><Length>4</Length><AccessMode>RW</AccessMode><pPort>Device</pPort>"
                 "<Cachable>NoCache</Cachable><Endianess>BigEndian</Endianess></IntReg>\n";
        }
    }

    // Faults seen in real descriptions; each node is logged and left out, the rest loads.
    x << "  <Category Name=\"BrokenControl\"><pFeature>LooseNoPort</pFeature><pFeature>BrokenLink</pFeature>"
         "<pFeature>BrokenFormula</pFeature><pFeature>LooseAccess</pFeature><pFeature>BrokenNumber</pFeature>"
         "<pFeature>BrokenUser</pFeature><pFeature>BrokenExpression</pFeature><pFeature>Analog0Gone</pFeature>"
         "</Category>\n";
    x << "  <IntReg Name=\"LooseNoPort\"><Address>0x10</Address><Length>4</Length><AccessMode>RO</AccessMode>"
         "</IntReg>\n";
    x << "  <Integer Name=\"BrokenLink\"><pValue>NoSuchRegister</pValue></Integer>\n";
    x << "  <SwissKnife Name=\"BrokenFormula\"><pVariable Name=\"A\">ParamAnalog0</pVariable>"
         "<Formula>A*UNKNOWN</Formula></SwissKnife>\n";
    x << "  <IntReg Name=\"LooseAccess\"><Address>0x14</Address><Length>4</Length><AccessMode>R"
         "</AccessMode><pPort>Device</pPort></IntReg>\n";
    x << "  <SwissKnife Name=\"BrokenExpression\"><pVariable Name=\"X\">ParamAnalog0</pVariable>"
         "<Constant Name=\"TEN\">10</Constant><Expression Name=\"E\">TEN + Xr</Expression><Formula>E</Formula>"
         "</SwissKnife>\n";
    x << "  <Float Name=\"BrokenNumber\"><Value>1,5</Value></Float>\n";
    x << "  <Integer Name=\"BrokenUser\"><pValue>BrokenLink</pValue></Integer>\n";
    x << "  <ConfRom Name=\"LegacyConfRom\"><Address>0</Address></ConfRom>\n";
    x << "  <Integer><Value>1</Value></Integer>\n";
    x << "</RegisterDescription>\n";
    d.broken = {"BrokenLink", "BrokenFormula", "BrokenNumber", "BrokenUser", "BrokenExpression"};
    d.loose = {"LooseNoPort", "LooseAccess"};
    d.portSize = address;
    d.xml = x.str();
    return d;
}
} // namespace genapitest
