// The two descriptions the suite injects into camera node maps: the tool's picker switch and the colour features.
#pragma once

#include <string>

namespace genapitest {
inline const char* toolDescription()
{
    return R"(<?xml version="1.0" encoding="utf-8"?>
<RegisterDescription ModelName="TesvarToolSchema" VendorName="Velmar" ToolTip="Floating nodes for Tesvar Tool white balance" StandardNameSpace="None" SchemaMajorVersion="1" SchemaMinorVersion="1" SchemaSubMinorVersion="0" MajorVersion="1" MinorVersion="0" SubMinorVersion="0" ProductGuid="3BFF5F02-0E9B-4440-BCF6-2FAB97AEF26B" VersionGuid="B0EC4C8E-2FBA-4D61-BFBF-E03F91907C02" xmlns="http://www.genicam.org/GenApi/Version_1_1" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance" xsi:schemaLocation="http://www.genicam.org/GenApi/Version_1_1 http://www.genicam.org/GenApi/GenApiSchema_Version_1_1.xsd">
  <Category Name="Root" NameSpace="Standard">
    <pFeature>WhiteBalancePickerControls</pFeature>
  </Category>
  <Category Name="WhiteBalancePickerControls" NameSpace="Custom">
    <DisplayName>White Balance Picker Controls</DisplayName>
    <pFeature>WhiteBalancePickerEnable</pFeature>
  </Category>
  <Boolean Name="WhiteBalancePickerEnable" NameSpace="Custom">
    <ToolTip>Enables the white balance picker tool.</ToolTip>
    <Description>This value controls the use of the white balance picker tool.</Description>
    <DisplayName>Enable White Balance</DisplayName>
    <Streamable>No</Streamable>
    <Value>0</Value>
    <OnValue>1</OnValue>
    <OffValue>0</OffValue>
  </Boolean>
</RegisterDescription>
)";
}

// One colour feature: a float the user sets, converted to and from the raw integer that holds it.
struct ColourFeature {
    const char* name;
    const char* displayName;
    const char* toolTip;
    const char* description; // kept with its trailing spaces, as the plug-in ships it
    const char* formulaTo;
    const char* formulaFrom;
    int precision;
    int rawValue, rawMin, rawMax;
};

inline std::string colourConverter(const ColourFeature& f)
{
    const std::string name = f.name;
    return "  <Converter Name=\"" + name + "\" NameSpace=\"Custom\" MergePriority=\"+1\">\n    <ToolTip>" + f.toolTip +
           "</ToolTip>\n    <Description>" + f.description + "</Description>\n    <DisplayName>" + f.displayName +
           "</DisplayName>\n    <Streamable>Yes</Streamable>\n    <pAlias>" + name + "Raw</pAlias>\n    <FormulaTo>" +
           f.formulaTo + "</FormulaTo>\n    <FormulaFrom>" + f.formulaFrom + "</FormulaFrom>\n    <pValue>" + name +
           "Raw</pValue>\n    <Representation>Linear</Representation>\n    <DisplayNotation>Fixed</DisplayNotation>\n"
           "    <DisplayPrecision>" +
           std::to_string(f.precision) +
           "</DisplayPrecision>\n    <Slope>Increasing</Slope>\n    <IsLinear>Yes</IsLinear>\n  </Converter>\n";
}

inline std::string colourRawInteger(const ColourFeature& f)
{
    return std::string("  <Integer Name=\"") + f.name + "Raw\" NameSpace=\"Custom\" MergePriority=\"+1\">\n" +
           "    <DisplayName>" + f.displayName + "</DisplayName>\n    <Value>" + std::to_string(f.rawValue) +
           "</Value>\n    <Min>" + std::to_string(f.rawMin) + "</Min>\n    <Max>" + std::to_string(f.rawMax) +
           "</Max>\n    <Inc>1</Inc>\n    <Representation>Linear</Representation>\n  </Integer>\n";
}

// The colour plug-in's description: hue, saturation, brightness and contrast over raw integers, and the
// contrast mode.
inline std::string colourDescription()
{
    static const ColourFeature features[] = {
        {"VlrSaturation", "Saturation", "Saturation of the colors in an image.",
         "Saturation of colors in an image in a range of 0.0 to 2.0. 0.0 results in images without color (grey). "
         "1.0 is a neutral setting (no changes). Settings higher than 1.0 increase the saturation.   ",
         "FROM*64", "TO/64", 2, 64, 0, 128},
        {"VlrHue", "Hue", "Hue of the colors in an image.",
         "Hue of the colors in an image in a range of -180 to +180. 0 is a neutral hue setting (no change of "
         "colors).   ",
         "FROM", "TO", 0, 0, -180, 180},
        {"VlrBrightness", "Brightness", "Brightness of the image.",
         "Brightness of the image in a range of -1.0 (darkest) to +1.0 (brightest). 0.0 is a neutral setting (no "
         "change in brightness).   ",
         "(FROM*128)+128", "(TO-128)/128", 2, 128, 0, 256},
        {"VlrContrast", "Contrast", "Contrast used in the image.",
         "Contrast of the image in a range of -1.0 (no contrast) to +1.0 (highest contrast). 0.0 is a neutral "
         "setting (no change in contrast).   ",
         "(FROM*128)+128", "(TO-128)/128", 2, 128, 0, 256},
    };
    std::string text =
        R"(<?xml version="1.0" encoding="utf-8"?>
<RegisterDescription ModelName="Features" VendorName="OEM" ToolTip="Features" StandardNameSpace="GEV" SchemaMajorVersion="1" SchemaMinorVersion="1" SchemaSubMinorVersion="0" MajorVersion="1" MinorVersion="0" SubMinorVersion="0" ProductGuid="8CBE5C98-EEE3-4a31-AE5A-D54C10BE8B09" VersionGuid="B4789C89-2B67-4a6e-AA1A-00B367CE7958" xmlns="http://www.genicam.org/GenApi/Version_1_1" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance" xsi:schemaLocation="http://www.genicam.org/GenApi/Version_1_1 http://www.genicam.org/GenApi/GenApiSchema_Version_1_1.xsd">
  <Category Name="Root" NameSpace="Standard" MergePriority="+1">
    <pFeature>Huvane</pFeature>
  </Category>
  <Category Name="Huvane" NameSpace="Custom" MergePriority="+1">
    <ToolTip>Huvane</ToolTip>
    <Description>Huvane</Description>
    <DisplayName>Huvane</DisplayName>
    <pFeature>VlrHue</pFeature>
    <pFeature>VlrSaturation</pFeature>
    <pFeature>VlrBrightness</pFeature>
    <pFeature>VlrContrast</pFeature>
    <pFeature>VlrContrastMode</pFeature>
  </Category>
)";
    for (const ColourFeature& f : features)
        text += colourConverter(f);
    for (const ColourFeature& f : features)
        text += colourRawInteger(f);
    text += R"(  <Enumeration Name="VlrContrastMode" NameSpace="Custom" MergePriority="+1">
    <ToolTip>Sets the contrast mode.</ToolTip>
    <Description>Sets the contrast mode.   </Description>
    <DisplayName>Contrast Mode</DisplayName>
    <Streamable>Yes</Streamable>
    <EnumEntry Name="EnumEntry_VlrContrastMode_Linear" NameSpace="Custom">
      <ToolTip>Linear contrast will be used.</ToolTip>
      <Description>Linear contrast will be used. Dark and bright values will be clipped.   </Description>
      <DisplayName>Linear</DisplayName>
      <Value>0</Value>
    </EnumEntry>
    <EnumEntry Name="EnumEntry_VlrContrastMode_SCurve" NameSpace="Custom">
      <ToolTip>An S-shaped contrast curve will be used.</ToolTip>
      <Description>An S-shaped contrast curve will be used. Dark and bright values will be compressed but not clipped.   </Description>
      <DisplayName>S-Curve</DisplayName>
      <Value>1</Value>
    </EnumEntry>
    <Value>0</Value>
  </Enumeration>
</RegisterDescription>
)";
    return text;
}
} // namespace genapitest
