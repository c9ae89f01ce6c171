// The feature tree delegate: which editor a value cell gets, and how values move between node and editor.
#include "FeatureTreeFixtures.h"

#include <orbelt/CheckBoxEditor.h>
#include <orbelt/EnumEditor.h>
#include <orbelt/FeatureTreeDelegate.h>
#include <orbelt/FeatureTreeHighlighter.h>
#include <orbelt/FloatEditor.h>
#include <orbelt/FloatSliderEditor.h>
#include <orbelt/IntEditor.h>
#include <orbelt/IntSliderEditor.h>
#include <orbelt/ToolButtonEditor.h>

#include <QLineEdit>
#include <QStyleOptionViewItem>

#include <gtest/gtest.h>

#include <memory>

using namespace featuretreetest;

namespace {

class FeatureTreeDelegateTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        clearFavorites(model.GetFavorites());
        model.addNodeMap(map.get(), "Camera", "Cam", false);
    }
    void TearDown() override { clearFavorites(model.GetFavorites()); }

    std::unique_ptr<QWidget> editorFor(const char* name)
    {
        return std::unique_ptr<QWidget>(
            delegate.createEditor(&parent, QStyleOptionViewItem(), findNode(model, name, 1)));
    }

    NodeMapPtr map = createCamera(R"(
      <Category Name="Root" NameSpace="Standard"><pFeature>Controls</pFeature></Category>
      <Category Name="Controls" NameSpace="Standard">
        <pFeature>Width</pFeature><pFeature>Offset</pFeature><pFeature>Gain</pFeature><pFeature>Ratio</pFeature>
        <pFeature>Exposure</pFeature><pFeature>Mode</pFeature><pFeature>Flag</pFeature><pFeature>Start</pFeature>
        <pFeature>Label</pFeature><pFeature>Locked</pFeature></Category>
      <Integer Name="Width" NameSpace="Standard"><Value>640</Value><Min>16</Min><Max>1280</Max><Representation>Linear</Representation></Integer>
      <Integer Name="Offset" NameSpace="Standard"><Value>16</Value><Min>0</Min><Max>255</Max><Representation>HexNumber</Representation></Integer>
      <Float Name="Gain" NameSpace="Standard"><Value>1</Value><Min>0</Min><Max>24</Max><Representation>Linear</Representation></Float>
      <Float Name="Ratio" NameSpace="Standard"><Value>0.5</Value><Min>0</Min><Max>1</Max><Representation>PureNumber</Representation></Float>
      <Converter Name="Exposure" NameSpace="Standard"><pAlias>ExposureRaw</pAlias><FormulaTo>FROM</FormulaTo><FormulaFrom>TO</FormulaFrom>
        <pValue>ExposureRaw</pValue><Representation>Linear</Representation></Converter>
      <Integer Name="ExposureRaw" NameSpace="Custom"><Value>100</Value><Min>10</Min><Max>1000</Max></Integer>
      <Enumeration Name="Mode" NameSpace="Custom"><EnumEntry Name="Off"><Value>0</Value></EnumEntry><EnumEntry Name="On"><Value>1</Value></EnumEntry><Value>0</Value></Enumeration>
      <Boolean Name="Flag" NameSpace="Custom"><Value>0</Value><OnValue>1</OnValue><OffValue>0</OffValue></Boolean>
      <Command Name="Start" NameSpace="Custom"><Value>0</Value><CommandValue>1</CommandValue></Command>
      <String Name="Label" NameSpace="Custom"><Value>abc</Value></String>
      <Integer Name="Locked" NameSpace="Custom"><pIsAvailable>Zero</pIsAvailable><Value>2</Value></Integer>
      <Integer Name="Zero" NameSpace="Custom"><Value>0</Value></Integer>)");
    FeatureTreeModel model;
    GenApi::EVisibility level = GenApi::Guru;
    FeatureTreeDelegate delegate{nullptr, &model, &level, nullptr};
    QWidget parent;
};

TEST_F(FeatureTreeDelegateTest, EditorFollowsTypeAndRepresentation)
{
    EXPECT_NE(dynamic_cast<IntSliderEditor*>(editorFor("Width").get()), nullptr);
    EXPECT_NE(dynamic_cast<IntEditor*>(editorFor("Offset").get()), nullptr);
    EXPECT_NE(dynamic_cast<FloatEditor*>(editorFor("Gain").get()), nullptr) << "a linear float without alias";
    EXPECT_NE(dynamic_cast<FloatEditor*>(editorFor("Ratio").get()), nullptr);
    EXPECT_NE(dynamic_cast<FloatSliderEditor*>(editorFor("Exposure").get()), nullptr);
    EXPECT_NE(dynamic_cast<EnumEditor*>(editorFor("Mode").get()), nullptr);
    EXPECT_NE(dynamic_cast<CheckBoxEditor*>(editorFor("Flag").get()), nullptr);
    EXPECT_NE(dynamic_cast<ToolButtonEditor*>(editorFor("Start").get()), nullptr);
    EXPECT_NE(qobject_cast<QLineEdit*>(editorFor("Label").get()), nullptr);
    EXPECT_EQ(editorFor("Locked"), nullptr) << "an unavailable value gets no editor";
    EXPECT_EQ(delegate.createEditor(&parent, QStyleOptionViewItem(), QModelIndex()), nullptr);
}

TEST_F(FeatureTreeDelegateTest, ValuesMoveBetweenNodeAndEditor)
{
    const QModelIndex width = findNode(model, "Width", 1);
    auto editor = editorFor("Width");
    delegate.setEditorData(editor.get(), width);
    auto* itemEditor = dynamic_cast<AbstractItemEditor*>(editor.get());
    ASSERT_NE(itemEditor, nullptr);
    EXPECT_EQ(itemEditor->editorData().toLongLong(), 640);

    const QModelIndex label = findNode(model, "Label", 1);
    auto line = editorFor("Label");
    delegate.setEditorData(line.get(), label);
    EXPECT_EQ(qobject_cast<QLineEdit*>(line.get())->text(), "abc");
    qobject_cast<QLineEdit*>(line.get())->setText("xyz");
    delegate.setModelData(line.get(), &model, label);
    EXPECT_EQ(GenApi::CStringPtr(map->GetNode("Label"))->GetValue(), "xyz");
}

TEST_F(FeatureTreeDelegateTest, RowsAreOfFixedHeight)
{
    EXPECT_EQ(delegate.sizeHint(QStyleOptionViewItem(), findNode(model, "Width")).height(), 23);
}

} // namespace
