// Small node maps for the feature tree tests and a model helper that finds rows by node name.
#pragma once

#include <GenApi/GenApi.h>
#include <orbelt/FeatureTreeModel.h>
#include <testsupport/NodeMaps.h>

#include <QModelIndex>

#include <memory>
#include <string>

namespace featuretreetest {

inline std::string describe(const std::string& nodes)
{
    return testsupport::describeNodes(nodes, "TreeModel");
}

// One category of every kind of value, plus the access modes a row must show.
inline const char* kCameraNodes = R"(
  <Category Name="Root" NameSpace="Standard"><pFeature>ImageFormatControl</pFeature><pFeature>States</pFeature></Category>
  <Category Name="ImageFormatControl" NameSpace="Standard">
    <DisplayName>Image Format Control</DisplayName>
    <pFeature>Width</pFeature><pFeature>Gain</pFeature><pFeature>Offset</pFeature><pFeature>Mode</pFeature>
    <pFeature>Flag</pFeature><pFeature>Label</pFeature><pFeature>Start</pFeature><pFeature>Ratio</pFeature><pFeature>Hidden</pFeature>
  </Category>
  <Category Name="States" NameSpace="Custom">
    <pFeature>Missing</pFeature><pFeature>Locked</pFeature><pFeature>WriteOnly</pFeature>
  </Category>
  <Integer Name="Width" NameSpace="Standard"><ToolTip>Width of the image.</ToolTip><DisplayName>Width</DisplayName>
    <Value>640</Value><Min>16</Min><pMax>WidthMax</pMax><Inc>1</Inc><Representation>Linear</Representation></Integer>
  <Integer Name="WidthMax" NameSpace="Custom"><Value>1280</Value></Integer>
  <Float Name="Gain" NameSpace="Standard"><DisplayName>Gain</DisplayName><Value>1.5</Value><Min>0</Min><Max>24</Max>
    <Unit>dB</Unit><Representation>Linear</Representation></Float>
  <Float Name="Ratio" NameSpace="Custom"><DisplayName>Ratio</DisplayName><Value>0.5</Value><Min>0</Min><Max>1</Max>
    <Representation>PureNumber</Representation></Float>
  <Integer Name="Offset" NameSpace="Standard"><DisplayName>Offset</DisplayName><Value>0</Value><Min>0</Min><Max>64</Max>
    <Representation>PureNumber</Representation></Integer>
  <Enumeration Name="Mode" NameSpace="Custom"><DisplayName>Mode</DisplayName>
    <EnumEntry Name="Off"><Value>0</Value></EnumEntry><EnumEntry Name="On"><Value>1</Value></EnumEntry><Value>0</Value></Enumeration>
  <Boolean Name="Flag" NameSpace="Custom"><DisplayName>Flag</DisplayName><Value>0</Value><OnValue>1</OnValue><OffValue>0</OffValue></Boolean>
  <String Name="Label" NameSpace="Custom"><DisplayName>Label</DisplayName><Value>abc</Value></String>
  <Command Name="Start" NameSpace="Custom"><DisplayName>Start</DisplayName><Value>0</Value><CommandValue>1</CommandValue></Command>
  <Integer Name="Missing" NameSpace="Custom"><DisplayName>Missing</DisplayName><pIsImplemented>Zero</pIsImplemented><Value>1</Value></Integer>
  <Integer Name="Locked" NameSpace="Custom"><DisplayName>Locked</DisplayName><pIsAvailable>Zero</pIsAvailable><Value>2</Value></Integer>
  <Integer Name="WriteOnly" NameSpace="Custom"><DisplayName>WriteOnly</DisplayName><ImposedAccessMode>WO</ImposedAccessMode><Value>3</Value></Integer>
  <Integer Name="Hidden" NameSpace="Custom"><DisplayName>Hidden</DisplayName><Visibility>Guru</Visibility><Value>4</Value></Integer>
  <Integer Name="Zero" NameSpace="Custom"><Value>0</Value></Integer>
)";

using testsupport::NodeMapPtr;

inline NodeMapPtr createCamera(const char* nodes = kCameraNodes)
{
    return testsupport::loadNodeMap(nodes, "Device", "TreeModel");
}

// Depth-first search of the model for a row whose column-0 name role is the node's name; builds rows as it goes.
inline QModelIndex findNode(const QAbstractItemModel& model, const QString& name, int column = 0,
                            const QModelIndex& parent = QModelIndex())
{
    for (int row = 0; row < model.rowCount(parent); ++row) {
        const QModelIndex index = model.index(row, 0, parent);
        if (model.data(index, 257).toString() == name)
            return index.sibling(row, column);
        const QModelIndex hit = findNode(model, name, column, index);
        if (hit.isValid())
            return hit;
    }
    return QModelIndex();
}

// Empties the shared favourites so that every test starts from none.
inline void clearFavorites(FavoritesData& favorites)
{
    favorites.blockUpdates(true);
    while (favorites.count() > 0)
        favorites.removeAt(0);
    favorites.blockUpdates(false);
}

} // namespace featuretreetest
