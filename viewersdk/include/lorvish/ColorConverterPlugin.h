// The interface of plug-ins that turn a stream buffer into a displayable image.
#pragma once

#include <lorvish/Image.h>
#include <lorvish/Plugin.h>
#include <lorvish/StreamBuffer.h>

#include <nimbo/PixelType.h>

namespace Lorvish {

class IColorConverterPlugin : public IPlugin {
public:
    virtual ~IColorConverterPlugin() = default;
    virtual bool isSupportedInputFormat(Nimbo::EPixelType pixelType) = 0;
    virtual Image convert(const StreamBuffer* buffer) = 0;
};

} // namespace Lorvish
