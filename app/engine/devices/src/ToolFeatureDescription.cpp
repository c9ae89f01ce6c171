// The application's own GenICam description injected into every device it creates.
#include "ToolFeatureDescription.h"

const GenICam::gcstring& toolFeatureDescription()
{
    static const GenICam::gcstring description(
        R"(<?xml version="1.0" encoding="utf-8"?>
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
)");
    return description;
}
