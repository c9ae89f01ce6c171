// The built-in colour converter of the display pipeline, over the SDK's image format converter.
#pragma once

#include <lorvish/ColorConverterPlugin.h>
#include <nimbo/ImageFormatConverter.h>

#include <memory>

// Threads: used by one thread at a time (the decoupler thread of its device).
class DefaultColorConverterPlugin : public Lorvish::IColorConverterPlugin {
public:
    DefaultColorConverterPlugin();
    ~DefaultColorConverterPlugin() override;

    const char* name() override;
    GenApi::INodeMap* nodeMap() override;
    int firstIntegerQuery() override;
    int secondIntegerQuery() override;
    bool isEnabled() override;
    bool isSupportedInputFormat(Nimbo::EPixelType pixelType) override;
    // An 8-bit grey image for mono types, a 32-bit colour image otherwise; empty on failure.
    Lorvish::Image convert(const Lorvish::StreamBuffer* buffer) override;

private:
    std::unique_ptr<Nimbo::CImageFormatConverter> m_converter;
};
