// Saving node-map values as ordered assignments and loading them back.
#include <nimbo/FeaturePersistence.h>

#include <GenApi/GenApi.h>

#include "Errors.h"

#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace Nimbo {
namespace {

bool isValueKind(GenApi::INode* node)
{
    switch (node->GetPrincipalInterfaceType()) {
    case GenApi::intfIInteger:
    case GenApi::intfIFloat:
    case GenApi::intfIBoolean:
    case GenApi::intfIEnumeration:
    case GenApi::intfIString: return true;
    default: return false;
    }
}

bool isReadWrite(GenApi::INode* node)
{
    return GenApi::IsReadable(node->GetAccessMode()) && GenApi::IsWritable(node->GetAccessMode());
}

// Tabs, line ends and backslashes in values would break the line format.
std::string escape(const std::string& text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        default: out += c;
        }
    }
    return out;
}

std::string unescape(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char c = text[++i];
        out += c == 't' ? '\t' : c == 'n' ? '\n' : c == 'r' ? '\r' : c;
    }
    return out;
}

struct Saver {
    std::ostringstream out;

    void line(GenApi::INode* node, const std::string& value)
    {
        out << node->GetName().c_str() << '\t' << escape(value) << '\n';
    }

    bool saveValue(GenApi::INode* node)
    {
        GenApi::CValuePtr value = node;
        if (!value.IsValid())
            return false;
        try {
            line(node, value->ToString().c_str());
            return true;
        } catch (const GenICam::GenericException&) {
            return false; // a value that cannot be read now is left out
        }
    }

    // Every value of an enumeration selector, each with the features it selects, then the current one.
    void saveSelector(GenApi::INode* node, const std::vector<GenApi::INode*>& selected)
    {
        GenApi::CValuePtr value = node;
        GenApi::CEnumerationPtr enumeration = node;
        GenApi::CIntegerPtr integer = node;
        const std::string current = value->ToString().c_str();
        std::vector<std::string> choices;
        if (enumeration.IsValid()) {
            GenApi::StringList_t symbols;
            enumeration->GetSymbolics(symbols);
            for (const auto& symbol : symbols)
                choices.push_back(symbol.c_str());
        } else if (integer.IsValid()) {
            const int64_t min = integer->GetMin(), max = integer->GetMax();
            const int64_t inc = integer->GetInc() > 0 ? integer->GetInc() : 1;
            // Wide integer selectors (addresses, say) are kept at their value only.
            if (max >= min && (max - min) / inc < 256)
                for (int64_t v = min; v <= max; v += inc)
                    choices.push_back(std::to_string(v));
        }
        for (const std::string& choice : choices) {
            try {
                value->FromString(choice.c_str());
            } catch (const GenICam::GenericException&) {
                continue;
            }
            line(node, choice);
            for (GenApi::INode* feature : selected)
                if (isReadWrite(feature))
                    saveValue(feature);
        }
        value->FromString(current.c_str());
        line(node, current);
    }
};

} // namespace

void CFeaturePersistence::SaveToString(GenICam::gcstring& text, GenApi::INodeMap* nodeMap)
{
    if (!nodeMap)
        throwInvalidArgument("The node map must not be null.");
    GenApi::AutoLock lock(nodeMap->GetLock());
    GenApi::NodeList_t nodes;
    nodeMap->GetNodes(nodes);
    bool anyStreamable = false;
    for (GenApi::INode* node : nodes)
        anyStreamable = anyStreamable || (node->IsStreamable() && isValueKind(node));
    auto wanted = [&](GenApi::INode* node) {
        return isValueKind(node) && (anyStreamable ? node->IsStreamable() : node->IsFeature());
    };

    // Selectors and what they select; selected features are written under their selector only.
    std::set<GenApi::INode*> selectedSomewhere;
    std::vector<std::pair<GenApi::INode*, std::vector<GenApi::INode*>>> selectors;
    for (GenApi::INode* node : nodes) {
        GenApi::CSelectorPtr selector = node;
        if (!wanted(node) || !selector.IsValid() || !selector->IsSelector())
            continue;
        GenApi::FeatureList_t features;
        selector->GetSelectedFeatures(features);
        std::vector<GenApi::INode*> selected;
        for (GenApi::IValue* feature : features) {
            GenApi::INode* featureNode = feature ? feature->GetNode() : nullptr;
            if (featureNode && wanted(featureNode)) {
                selected.push_back(featureNode);
                selectedSomewhere.insert(featureNode);
            }
        }
        selectors.emplace_back(node, selected);
    }

    Saver saver;
    saver.out << "# Nimbo feature persistence\n# Device: " << nodeMap->GetDeviceName().c_str() << '\n';
    for (GenApi::INode* node : nodes) {
        if (!wanted(node) || !isReadWrite(node) || selectedSomewhere.count(node))
            continue;
        bool isSelector = false;
        for (const auto& entry : selectors)
            isSelector = isSelector || entry.first == node;
        if (!isSelector)
            saver.saveValue(node);
    }
    // Selectors last, so that restoring a plain feature cannot disturb a selected value again.
    for (const auto& entry : selectors)
        if (isReadWrite(entry.first))
            saver.saveSelector(entry.first, entry.second);
    text = saver.out.str().c_str();
}

void CFeaturePersistence::LoadFromString(const GenICam::gcstring& text, GenApi::INodeMap* nodeMap, bool verify)
{
    if (!nodeMap)
        throwInvalidArgument("The node map must not be null.");
    struct Assignment {
        std::string name, value;
    };
    std::vector<Assignment> assignments;
    std::istringstream in(text.c_str());
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == '#')
            continue;
        const size_t tab = line.find('\t');
        if (tab == std::string::npos || tab == 0)
            throwInvalidArgument("Not a feature assignment: '" + line + "'.");
        assignments.push_back({line.substr(0, tab), unescape(line.substr(tab + 1))});
    }

    GenApi::AutoLock lock(nodeMap->GetLock());
    // One value may make another writable (a mode that unlocks a setting). When anything failed, the
    // whole list runs once more in its order, so that selected values still land under their selector.
    auto apply = [&](const Assignment& assignment) -> std::string {
        GenApi::INode* node = nodeMap->GetNode(assignment.name.c_str());
        if (!node)
            return "no such node";
        if (!GenApi::IsWritable(node->GetAccessMode()))
            return "not writable";
        GenApi::CValuePtr value = node;
        if (!value.IsValid())
            return "has no value";
        try {
            value->FromString(assignment.value.c_str(), verify);
            return {};
        } catch (const GenICam::GenericException& e) {
            return e.GetDescription();
        }
    };
    std::string report;
    for (int pass = 0; pass < 2; ++pass) {
        report.clear();
        for (const Assignment& assignment : assignments) {
            const std::string reason = apply(assignment);
            if (!reason.empty())
                report += (report.empty() ? "" : "; ") + assignment.name + " = '" + assignment.value + "': " + reason;
        }
        if (report.empty())
            break;
    }
    if (!report.empty())
        throwRuntime("Some features could not be restored: " + report);
}

} // namespace Nimbo
