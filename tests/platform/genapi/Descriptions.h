// The two descriptions the suite injects into camera node maps: the tool's picker switch and the colour features.
#pragma once

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

inline const char* colourDescription()
{
    return R"(<?xml version="1.0" encoding="utf-8"?>
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
  <Converter Name="VlrSaturation" NameSpace="Custom" MergePriority="+1">
    <ToolTip>Saturation of the colors in an image.</ToolTip>
    <Description>Saturation of colors in an image in a range of 0.0 to 2.0. 0.0 results in images without color (grey). 1.0 is a neutral setting (no changes). Settings higher than 1.0 increase the saturation.   </Description>
    <DisplayName>Saturation</DisplayName>
    <Streamable>Yes</Streamable>
    <pAlias>VlrSaturationRaw</pAlias>
    <FormulaTo>FROM*64</FormulaTo>
    <FormulaFrom>TO/64</FormulaFrom>
    <pValue>VlrSaturationRaw</pValue>
    <Representation>Linear</Representation>
    <DisplayNotation>Fixed</DisplayNotation>
    <DisplayPrecision>2</DisplayPrecision>
    <Slope>Increasing</Slope>
    <IsLinear>Yes</IsLinear>
  </Converter>
  <Converter Name="VlrHue" NameSpace="Custom" MergePriority="+1">
    <ToolTip>Hue of the colors in an image.</ToolTip>
    <Description>Hue of the colors in an image in a range of -180 to +180. 0 is a neutral hue setting (no change of colors).   </Description>
    <DisplayName>Hue</DisplayName>
    <Streamable>Yes</Streamable>
    <pAlias>VlrHueRaw</pAlias>
    <FormulaTo>FROM</FormulaTo>
    <FormulaFrom>TO</FormulaFrom>
    <pValue>VlrHueRaw</pValue>
    <Representation>Linear</Representation>
    <DisplayNotation>Fixed</DisplayNotation>
    <DisplayPrecision>0</DisplayPrecision>
    <Slope>Increasing</Slope>
    <IsLinear>Yes</IsLinear>
  </Converter>
  <Converter Name="VlrBrightness" NameSpace="Custom" MergePriority="+1">
    <ToolTip>Brightness of the image.</ToolTip>
    <Description>Brightness of the image in a range of -1.0 (darkest) to +1.0 (brightest). 0.0 is a neutral setting (no change in brightness).   </Description>
    <DisplayName>Brightness</DisplayName>
    <Streamable>Yes</Streamable>
    <pAlias>VlrBrightnessRaw</pAlias>
    <FormulaTo>(FROM*128)+128</FormulaTo>
    <FormulaFrom>(TO-128)/128</FormulaFrom>
    <pValue>VlrBrightnessRaw</pValue>
    <Representation>Linear</Representation>
    <DisplayNotation>Fixed</DisplayNotation>
    <DisplayPrecision>2</DisplayPrecision>
    <Slope>Increasing</Slope>
    <IsLinear>Yes</IsLinear>
  </Converter>
  <Converter Name="VlrContrast" NameSpace="Custom" MergePriority="+1">
    <ToolTip>Contrast used in the image.</ToolTip>
    <Description>Contrast of the image in a range of -1.0 (no contrast) to +1.0 (highest contrast). 0.0 is a neutral setting (no change in contrast).   </Description>
    <DisplayName>Contrast</DisplayName>
    <Streamable>Yes</Streamable>
    <pAlias>VlrContrastRaw</pAlias>
    <FormulaTo>(FROM*128)+128</FormulaTo>
    <FormulaFrom>(TO-128)/128</FormulaFrom>
    <pValue>VlrContrastRaw</pValue>
    <Representation>Linear</Representation>
    <DisplayNotation>Fixed</DisplayNotation>
    <DisplayPrecision>2</DisplayPrecision>
    <Slope>Increasing</Slope>
    <IsLinear>Yes</IsLinear>
  </Converter>
  <Integer Name="VlrSaturationRaw" NameSpace="Custom" MergePriority="+1">
    <DisplayName>Saturation</DisplayName>
    <Value>64</Value>
    <Min>0</Min>
    <Max>128</Max>
    <Inc>1</Inc>
    <Representation>Linear</Representation>
  </Integer>
  <Integer Name="VlrHueRaw" NameSpace="Custom" MergePriority="+1">
    <DisplayName>Hue</DisplayName>
    <Value>0</Value>
    <Min>-180</Min>
    <Max>180</Max>
    <Inc>1</Inc>
    <Representation>Linear</Representation>
  </Integer>
  <Integer Name="VlrBrightnessRaw" NameSpace="Custom" MergePriority="+1">
    <DisplayName>Brightness</DisplayName>
    <Value>128</Value>
    <Min>0</Min>
    <Max>256</Max>
    <Inc>1</Inc>
    <Representation>Linear</Representation>
  </Integer>
  <Integer Name="VlrContrastRaw" NameSpace="Custom" MergePriority="+1">
    <DisplayName>Contrast</DisplayName>
    <Value>128</Value>
    <Min>0</Min>
    <Max>256</Max>
    <Inc>1</Inc>
    <Representation>Linear</Representation>
  </Integer>
  <Enumeration Name="VlrContrastMode" NameSpace="Custom" MergePriority="+1">
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
}
} // namespace genapitest
