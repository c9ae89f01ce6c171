// Feature tree rows: value texts, units, editor types, flags, visibility and the correcting node callback.
#include "FeatureTreeFixtures.h"

#include <orbelt/FeatureTreeHighlighter.h>
#include <orbelt/FeatureTreeItem.h>
#include <orbelt/FeatureTreeModel.h>
#include <testsupport/LogCapture.h>

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <thread>

using namespace featuretreetest;

namespace {

class FeatureTreeItemTest : public ::testing::Test {
protected:
    NodeMapPtr map = createCamera();
    FeatureTreeModel model;
    FeatureTreeItem root{"", &model, false, "MasterRoot", "", nullptr, false};

    FeatureTreeINodeItem* row(const char* name)
    {
        return new FeatureTreeINodeItem(map->GetNode(name), &model, false, "<pFeature>", QString("Cam*") + name, &root,
                                        false);
    }
};

TEST_F(FeatureTreeItemTest, ValueColumnShowsTheValueOrWhyItCannot)
{
    struct Case {
        const char* node;
        const char* display;
        bool hasEditValue;
    } cases[] = {
        {"Width", "640", true},
        {"Missing", "<not implemented>", false},
        {"Locked", "<not available>", false},
        {"WriteOnly", "<not readable>", false},
        {"ImageFormatControl", "", false},
    };
    for (const Case& c : cases) {
        FeatureTreeINodeItem* item = row(c.node);
        EXPECT_EQ(item->data(1, Qt::DisplayRole).toString(), c.display) << c.node;
        EXPECT_EQ(item->data(1, Qt::EditRole).isValid(), c.hasEditValue) << c.node;
    }
}

TEST_F(FeatureTreeItemTest, NameColumnAddsTheUnitOnlyWhenThereIsOne)
{
    EXPECT_EQ(row("Gain")->data(0, Qt::DisplayRole).toString(), "Gain [dB]");
    EXPECT_EQ(row("Ratio")->data(0, Qt::DisplayRole).toString(), "Ratio");
    EXPECT_EQ(row("ImageFormatControl")->data(0, Qt::DisplayRole).toString(), "Image Format Control");
    FeatureTreeINodeItem debugRow(map->GetNode("Gain"), &model, true, "<pValue>", "Cam*Gain", &root, false);
    EXPECT_EQ(debugRow.data(0, Qt::DisplayRole).toString(), "<pValue> Gain");
}

TEST_F(FeatureTreeItemTest, EditorTypesFollowInterfaceAndRepresentation)
{
    struct Case {
        const char* node;
        FeatureTreeItem::EditorType type;
        bool persistent;
    } cases[] = {
        {"Width", FeatureTreeItem::EditIntegerSlider, true},
        {"Offset", FeatureTreeItem::EditInteger, false},
        {"Gain", FeatureTreeItem::EditFloatSlider, true},
        {"Ratio", FeatureTreeItem::EditFloat, true},
        {"Mode", FeatureTreeItem::EditEnumeration, true},
        {"Flag", FeatureTreeItem::EditBoolean, true},
        {"Label", FeatureTreeItem::EditString, false},
        {"Start", FeatureTreeItem::EditCommand, true},
        {"ImageFormatControl", FeatureTreeItem::EditNone, false},
    };
    for (const Case& c : cases) {
        FeatureTreeINodeItem* item = row(c.node);
        EXPECT_EQ(item->editorType(), c.type) << c.node;
        EXPECT_EQ(item->usePersistentEditor(), c.persistent) << c.node;
    }
    EXPECT_EQ(FeatureTreeItem::editorType(QModelIndex()), FeatureTreeItem::EditUnknown);
    EXPECT_EQ(FeatureTreeINodeItem::editorType(static_cast<const GenApi::INode*>(nullptr)),
              FeatureTreeItem::EditUnknown);
    FeatureTreeINodeItem deadEnd(map->GetNode("Width"), &model, true, "<pDependent>", "Cam*Width", &root, true);
    EXPECT_EQ(deadEnd.editorType(), FeatureTreeItem::EditNone);
    EXPECT_EQ(deadEnd.data(1, Qt::DisplayRole).toString(), "640");
    EXPECT_FALSE(deadEnd.flags(1) & Qt::ItemIsEditable);
    EXPECT_TRUE(deadEnd.flags(1) & Qt::ItemNeverHasChildren);
}

TEST_F(FeatureTreeItemTest, FlagsAllowEditingOnlyWhatCanBeWritten)
{
    EXPECT_TRUE(row("Width")->flags(1) & Qt::ItemIsEditable);
    EXPECT_TRUE(row("Width")->flags(0) & Qt::ItemIsDragEnabled);
    EXPECT_FALSE(row("Locked")->flags(1) & Qt::ItemIsEditable);
    EXPECT_FALSE(row("ImageFormatControl")->flags(0) & Qt::ItemIsDragEnabled);
    EXPECT_TRUE(row("Width")->isEditable());
    EXPECT_FALSE(row("Locked")->isEditable());
    EXPECT_FALSE(row("ImageFormatControl")->isEditable());
    FeatureTreeItem dummy("placeholder", &model, false, "Dummy", "Dummy", &root, true);
    EXPECT_EQ(dummy.flags(0), Qt::NoItemFlags);
    EXPECT_FALSE(dummy.data(1, Qt::DisplayRole).isValid());
}

TEST_F(FeatureTreeItemTest, VisibilityDecidesWhereARowIsShown)
{
    FeatureTreeItem plain("plain", &model, false, "", "plain", &root, false);
    EXPECT_FALSE(plain.ShowMe(GenApi::Invisible)) << "a plain item has no visibility until it is given one";
    plain.setVisibility(GenApi::Expert);
    EXPECT_FALSE(plain.ShowMe(GenApi::Beginner));
    EXPECT_TRUE(plain.ShowMe(GenApi::Expert));

    EXPECT_FALSE(row("Hidden")->ShowMe(GenApi::Expert));
    EXPECT_TRUE(row("Hidden")->ShowMe(GenApi::Guru));
    EXPECT_FALSE(row("Missing")->ShowMe(GenApi::Guru));
    EXPECT_TRUE(row("Missing")->ShowMe(GenApi::Invisible)) << "the debug level shows everything";
}

TEST_F(FeatureTreeItemTest, RowsChildrenAndSearches)
{
    EXPECT_EQ(root.row(), 0);
    FeatureTreeINodeItem* width = row("Width");
    FeatureTreeINodeItem* gain = row("Gain");
    root.appendChild(width);
    root.insertChild(gain, 0);
    EXPECT_EQ(width->row(), 1);
    EXPECT_EQ(root.child(2), nullptr);
    EXPECT_EQ(root.child(-1), nullptr);
    EXPECT_EQ(root.findByFullNameShallow("Cam*Width"), width);
    EXPECT_EQ(root.findByFullNameShallow("cam*width"), nullptr);
    EXPECT_EQ(root.findByRoleShallow(FeatureTreeItem::GenicamNameRole, "Gain"), gain);
    EXPECT_TRUE(root.findShallow(gain));
    EXPECT_EQ(root.removeChild(2), nullptr);
    EXPECT_EQ(root.removeChild(0), gain);
    EXPECT_FALSE(root.findShallow(gain));
    EXPECT_EQ(gain->row(), -1);
    delete gain;
}

TEST_F(FeatureTreeItemTest, ToolTipNamesTheNodeAndHighlightsTheSearchText)
{
    FeatureTreeHighlighter highlighter;
    highlighter.setSearchText("wid");
    FeatureTreeINodeItem* width = row("Width");
    EXPECT_EQ(width->data(0, Qt::ToolTipRole).toString(),
              "<nobr><b>Width (Width)</b></nobr><br><nobr>Width of the image.</nobr>");
    width->setHighlighter(&highlighter);
    const QString tip = width->data(0, Qt::ToolTipRole).toString();
    EXPECT_EQ(tip.count("<span style='background-color: #ffff50; font-weight:bold'>Wid</span>"), 2)
        << tip.toStdString();
    EXPECT_EQ(row("ImageFormatControl")->data(0, Qt::ToolTipRole).toString(),
              "<nobr><b>Image Format Control</b></nobr>");
}

TEST_F(FeatureTreeItemTest, RichTextShowsNamesAsWritten)
{
    NodeMapPtr odd = createCamera(R"(
  <Category Name="Root" NameSpace="Standard"><pFeature>Odd</pFeature></Category>
  <Integer Name="Odd" NameSpace="Custom"><DisplayName>A &lt;b&gt; &amp; C</DisplayName><Value>1</Value>
    <Min>0</Min><Max>9</Max></Integer>)");
    ASSERT_TRUE(odd);
    FeatureTreeINodeItem item(odd->GetNode("Odd"), &model, false, "<pFeature>", "Cam*Odd", &root, false);
    EXPECT_EQ(item.data(0, Qt::ToolTipRole).toString(), "<nobr><b>A &lt;b&gt; &amp; C (Odd)</b></nobr>");
    FeatureTreeHighlighter highlighter;
    highlighter.setSearchText("&");
    item.setHighlighter(&highlighter);
    EXPECT_EQ(item.data(0, Qt::ToolTipRole).toString(),
              "<nobr><b>A &lt;b&gt; <span style='background-color: #ffff50; font-weight:bold'>&amp;</span> C "
              "(Odd)</b></nobr>");
    // The search text is matched in the name, never in the markup around it.
    highlighter.setSearchText("b>");
    EXPECT_EQ(highlighter.highlightPlainText("<b>"),
              "&lt;<span style='background-color: #ffff50; font-weight:bold'>b&gt;</span>");
}

TEST_F(FeatureTreeItemTest, PlainRowsHaveNothingToEdit)
{
    // Placeholders and the search-help row have no node behind them.
    FeatureTreeItem plain("Type to search", &model, false, "", "SearchHelp", &root, false);
    EXPECT_EQ(plain.editorType(), FeatureTreeItem::EditNone);
    EXPECT_EQ(FeatureTreeItem::editorType(&plain), FeatureTreeItem::EditNone);
    EXPECT_FALSE(plain.usePersistentEditor());
    EXPECT_FALSE(plain.flags(1) & Qt::ItemIsEditable);
    FeatureTreeINodeItem* width = row("Width");
    EXPECT_EQ(FeatureTreeItem::editorType(width), width->editorType());
}

TEST_F(FeatureTreeItemTest, CallbackFromAnotherThreadLeavesTheRowToTheGuiThread)
{
    FeatureTreeINodeItem* width = row("Width");
    QSignalSpy updated(width, &FeatureTreeINodeItem::nodeUpdated);
    // The parent's child list belongs to the GUI thread; a callback elsewhere must not walk it.
    std::thread writer([&] { GenApi::CIntegerPtr(map->GetNode("Width"))->SetValue(400); });
    writer.join();
    ASSERT_EQ(updated.count(), 1);
    EXPECT_EQ(updated.at(0).at(0).toInt(), -1);
    GenApi::CIntegerPtr(map->GetNode("Width"))->SetValue(300);
    ASSERT_EQ(updated.count(), 2);
    EXPECT_EQ(updated.at(1).at(0).toInt(), width->row());
}

TEST_F(FeatureTreeItemTest, SetDataWritesTheValueAndIgnoresOtherCells)
{
    FeatureTreeINodeItem* width = row("Width");
    width->setData(0, 800, Qt::EditRole);
    width->setData(1, 800, Qt::DisplayRole);
    EXPECT_EQ(GenApi::CIntegerPtr(map->GetNode("Width"))->GetValue(), 640);
    width->setData(1, QString("800"), Qt::EditRole);
    EXPECT_EQ(GenApi::CIntegerPtr(map->GetNode("Width"))->GetValue(), 800);

    testsupport::LogCapture log;
    row("Ratio")->setData(1, QString("0.25"), Qt::EditRole);
    EXPECT_DOUBLE_EQ(GenApi::CFloatPtr(map->GetNode("Ratio"))->GetValue(), 0.25);
    EXPECT_TRUE(log.contains("float editor, but no double in variant()  (node name = Ratio )"));
}

TEST_F(FeatureTreeItemTest, CallbackCorrectsAValueBeyondItsNewMaximum)
{
    FeatureTreeINodeItem* width = row("Width");
    QSignalSpy updated(width, &FeatureTreeINodeItem::nodeUpdated);
    GenApi::CIntegerPtr(map->GetNode("WidthMax"))->SetValue(500);
    EXPECT_EQ(GenApi::CIntegerPtr(map->GetNode("Width"))->GetValue(), 500);
    EXPECT_EQ(updated.count(), 0) << "a corrected value is not reported";

    GenApi::CIntegerPtr(map->GetNode("Width"))->SetValue(400);
    EXPECT_EQ(updated.count(), 1);

    model.setGenICamCallbacksEnable(false);
    GenApi::CIntegerPtr(map->GetNode("Width"))->SetValue(300);
    EXPECT_EQ(updated.count(), 1);
}

TEST_F(FeatureTreeItemTest, DeletedRowLeavesNoCallbackBehind)
{
    FeatureTreeINodeItem* width = row("Width");
    root.removeChild(width->row());
    delete width;
    GenApi::CIntegerPtr(map->GetNode("Width"))->SetValue(700); // would reach freed memory under ASan
    SUCCEED();
}

TEST(FeatureTreeFavoritesItemTest, RootRowAcceptsDrops)
{
    FeatureTreeModel model;
    FeatureTreeFavoritesItem favorites("Favorites", &model, "Favorites", nullptr);
    EXPECT_EQ(favorites.getFullName(), "FavoritesTopLevel");
    EXPECT_TRUE(favorites.flags(0) & Qt::ItemIsDropEnabled);
    EXPECT_FALSE(favorites.flags(1) & Qt::ItemIsDropEnabled);
    EXPECT_TRUE(favorites.data(0, FeatureTreeItem::GenicamCategory).toBool());
    EXPECT_TRUE(favorites.ShowMe(GenApi::Beginner));
    EXPECT_FALSE(favorites.data(0, Qt::ForegroundRole).isValid());
}

} // namespace
