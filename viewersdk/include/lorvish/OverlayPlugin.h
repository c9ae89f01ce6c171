// The interface of plug-ins that draw over the live image.
#pragma once

#include <lorvish/DIBSection.h>
#include <lorvish/Plugin.h>
#include <lorvish/SImageFormatEx.h>

#include <cstdint>

namespace Lorvish {

class IOverlayPlugin : public IPlugin {
public:
    // Draws into the 32-bit display image given by its pixels, line stride in bytes and bitmap,
    // using the raw frame and its format.
    virtual void draw(const uint8_t* rawData, const SImageFormatEx& format, uint8_t* pixels, int lineOffset,
                      HBITMAP bitmap) = 0;

protected:
    ~IOverlayPlugin() = default;
};

} // namespace Lorvish
