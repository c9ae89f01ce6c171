// Finding the file-access features of a node map.
#include <GenApi/FileProtocolAdapter.h>

namespace GenApi {
bool FileProtocolAdapter::attach(INodeMap* nodeMap)
{
    m_pNodeMap = nullptr;
    if (!nodeMap)
        return false;
    static const char* const required[] = {"FileSelector",       "FileOperationSelector", "FileOperationExecute",
                                           "FileAccessOffset",   "FileAccessLength",      "FileAccessBuffer",
                                           "FileOperationStatus"};
    for (const char* name : required) {
        if (!nodeMap->GetNode(name))
            return false;
    }
    m_pNodeMap = nodeMap;
    return true;
}
} // namespace GenApi
