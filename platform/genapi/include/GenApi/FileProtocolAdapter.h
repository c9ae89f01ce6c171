// Access to a device's files through the file-access features of its node map.
#pragma once

#include <GenApi/NodeMap.h>

namespace GenApi {
// Used from one thread at a time; the node map's lock guards the node accesses.
class FileProtocolAdapter {
public:
    FileProtocolAdapter() = default;
    virtual ~FileProtocolAdapter() = default;
    FileProtocolAdapter(const FileProtocolAdapter&) = delete;
    FileProtocolAdapter& operator=(const FileProtocolAdapter&) = delete;

    // True when the node map holds the file-access features (FileSelector, FileOperationSelector,
    // FileOperationExecute, FileAccessOffset, FileAccessLength, FileAccessBuffer, FileOperationStatus).
    virtual bool attach(INodeMap* nodeMap);
    bool isAttached() const { return m_pNodeMap != nullptr; }

private:
    INodeMap* m_pNodeMap = nullptr;
};
} // namespace GenApi
