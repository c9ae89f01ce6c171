// The SDK's image-format record together with the node map of the stream it came from.
#pragma once

#include <GenApi/GenApi.h>
#include <nimbo/PixelType.h>

namespace Lorvish {

struct SImageFormatEx : Nimbo::SImageFormat {
    GenApi::INodeMap* nodeMap = nullptr;
};

} // namespace Lorvish
