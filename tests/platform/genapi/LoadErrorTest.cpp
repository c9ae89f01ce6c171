// Broken descriptions: each gives a RuntimeException that names the problem, and nothing crashes.
#include "Descriptions.h"
#include "GenApiFixtures.h"

#include <gtest/gtest.h>

#include <random>

using namespace GenApi;
using namespace genapitest;

namespace {
struct BrokenCase {
    const char* what;
    std::string text;
    const char* fragment;
};

std::string expectRuntimeError(const std::string& text)
{
    try {
        INodeMap* map = CreateNodeMap(text.c_str(), {}, "Cam");
        DestroyNodeMap(map);
    } catch (const GenICam::RuntimeException& e) {
        return e.GetDescription();
    }
    return "<accepted>";
}
} // namespace

TEST(LoadErrorTest, BrokenDescriptionsNameTheProblem)
{
    auto nestedGroups = [](int depth) {
        std::string g;
        for (int i = 0; i < depth; ++i)
            g += "<Group>";
        for (int i = 0; i < depth; ++i)
            g += "</Group>";
        return g;
    };
    const BrokenCase cases[] = {
        {"empty", "", "empty"},
        {"not XML", "hello", "not well-formed"},
        {"unclosed", "<RegisterDescription><Integer Name=\"A\">", "not well-formed"},
        {"wrong root", "<Foo/>", "<Foo>"},
        {"nameless node", describe("<Integer><Value>1</Value></Integer>"), "has no Name"},
        {"unknown link", describe("<Integer Name=\"A\"><pValue>B</pValue></Integer>"), "unknown node 'B'"},
        {"bad number", describe("<Integer Name=\"A\"><Value>one</Value></Integer>"), "not an integer"},
        {"bad float", describe("<Float Name=\"A\"><Value>1.2.3</Value></Float>"), "not a number"},
        {"bad visibility", describe("<Integer Name=\"A\"><Visibility>Everyone</Visibility></Integer>"), "Visibility"},
        {"register without port", describe("<IntReg Name=\"A\"><Address>0</Address><Length>4</Length></IntReg>"),
         "pPort"},
        {"converter without formula",
         describe(
             "<Integer Name=\"I\"/><Converter Name=\"C\"><pValue>I</pValue><FormulaFrom>TO</FormulaFrom></Converter>"),
         "FormulaTo"},
        {"unknown variable", describe("<SwissKnife Name=\"K\"><Formula>X+1</Formula></SwissKnife>"),
         "unknown variable 'X'"},
        {"integer register too long",
         describe(
             "<Port Name=\"P\"/><IntReg Name=\"A\"><Address>0</Address><Length>9</Length><pPort>P</pPort></IntReg>"),
         "1 to 8 bytes"},
        {"groups nested too deep", describe(nestedGroups(40)), "nested"},
        {"pPort not a port",
         describe(
             "<Integer Name=\"P\"/><IntReg Name=\"A\"><Address>0</Address><Length>4</Length><pPort>P</pPort></IntReg>"),
         "is not a Port"},
    };
    for (const BrokenCase& c : cases) {
        const std::string message = expectRuntimeError(c.text);
        EXPECT_NE(message.find(c.fragment), std::string::npos) << c.what << ": " << message;
    }
    // A broken injected description is named as such.
    try {
        CreateNodeMap(describe("<Integer Name=\"A\"/>").c_str(), {"<RegisterDescription>"}, "Cam");
        ADD_FAILURE();
    } catch (const GenICam::RuntimeException& e) {
        EXPECT_NE(std::string(e.GetDescription()).find("Injected GenICam description 1"), std::string::npos);
    }
}

TEST(LoadErrorTest, ReferenceCyclesThrowInsteadOfOverflowingTheStack)
{
    auto map =
        load("<Integer Name=\"A\"><pValue>B</pValue></Integer><Integer Name=\"B\"><pValue>A</pValue></Integer>"
             "<IntSwissKnife Name=\"K\"><pVariable Name=\"K\">K</pVariable><Formula>K+1</Formula></IntSwissKnife>");
    EXPECT_THROW(CIntegerPtr(map->GetNode("A"))->GetValue(), GenICam::GenericException);
    EXPECT_THROW(CIntegerPtr(map->GetNode("A"))->SetValue(1), GenICam::GenericException);
    EXPECT_THROW(CIntegerPtr(map->GetNode("K"))->GetValue(), GenICam::RuntimeException);
    EXPECT_EQ(map->GetNode("A")->GetAccessMode(), NA); // a state that cannot be worked out
}

TEST(LoadErrorTest, MutatedDescriptionsNeverCrash)
{
    // Random byte damage to a real description must end in a node map or a GenICam exception.
    const std::string original = colourDescription();
    std::mt19937 random(12345);
    const char replacements[] = "<>/=\"&x0 \n";
    int refused = 0;
    for (int round = 0; round < 300; ++round) {
        std::string text = original;
        const int damage = 1 + static_cast<int>(random() % 4);
        for (int d = 0; d < damage; ++d) {
            const size_t at = random() % text.size();
            switch (random() % 3) {
            case 0: text[at] = replacements[random() % (sizeof replacements - 1)]; break;
            case 1: text.erase(at, 1 + random() % 20); break;
            default: text.insert(at, text.substr(random() % text.size(), 1 + random() % 30));
            }
        }
        try {
            INodeMap* map = CreateNodeMap(text.c_str(), {}, "Cam");
            NodeList_t nodes;
            map->GetNodes(nodes);
            for (INode* n : nodes) {
                n->GetAccessMode();
                if (auto v = dynamic_cast<IValue*>(n)) {
                    try {
                        v->ToString();
                    } catch (const GenICam::GenericException&) {
                    }
                }
            }
            DestroyNodeMap(map);
        } catch (const GenICam::GenericException& e) {
            ++refused;
            EXPECT_GT(std::strlen(e.GetDescription()), 0u);
        }
    }
    EXPECT_GT(refused, 0);
}
