// The built-in colour converter of the display pipeline, over the SDK's image format converter.
#include "DefaultColorConverterPlugin.h"

#include "PixelTypeClassification.h"

#include <GenApi/GenApi.h>
#include <GenICam/CaughtException.h>

#include <QtGlobal>

DefaultColorConverterPlugin::DefaultColorConverterPlugin() : m_converter(new Nimbo::CImageFormatConverter)
{
    // The edge handling and the padding are not for the user to change: the padding is written for
    // every frame so that each output line fills one image line.
    if (GenApi::INodeMap* map = m_converter->GetNodeMap()) {
        for (const char* name : {"InconvertibleEdgeHandling", "OutputPaddingX"}) {
            if (GenApi::INode* node = map->GetNode(name))
                node->ImposeAccessMode(GenApi::RO);
        }
    }
    m_converter->SetInconvertibleEdgeHandling(Nimbo::InconvertibleEdgeHandling_Extend);
    m_converter->SetOutputOrientation(Nimbo::OutputOrientation_TopDown);
}

DefaultColorConverterPlugin::~DefaultColorConverterPlugin() = default;

const char* DefaultColorConverterPlugin::name()
{
    return "Image Format Conversion";
}

GenApi::INodeMap* DefaultColorConverterPlugin::nodeMap()
{
    return m_converter->GetNodeMap();
}

int DefaultColorConverterPlugin::firstIntegerQuery()
{
    return 0;
}

int DefaultColorConverterPlugin::secondIntegerQuery()
{
    return 1;
}

bool DefaultColorConverterPlugin::isEnabled()
{
    return true;
}

bool DefaultColorConverterPlugin::isSupportedInputFormat(Nimbo::EPixelType pixelType)
{
    return Nimbo::CImageFormatConverter::IsSupportedInputFormat(pixelType);
}

Lorvish::Image DefaultColorConverterPlugin::convert(const Lorvish::StreamBuffer* buffer)
{
    if (!buffer || !isSupportedInputFormat(buffer->imageFormat()))
        return Lorvish::Image();
    try {
        const bool mono = isMonoImagePixelType(static_cast<uint32_t>(buffer->imageFormat()));
        Lorvish::Image image =
            Lorvish::Image::ImageFromBuffer(mono ? Lorvish::Image::FormatMono8 : Lorvish::Image::FormatRgb32, buffer);
        if (!image.isValid() || !image.pixelData())
            return Lorvish::Image();
        const Nimbo::EPixelType output = mono ? Nimbo::PixelType_Mono8 : Nimbo::PixelType_BGRA8packed;
        m_converter->SetOutputPixelFormat(output);
        m_converter->SetOutputPaddingX(
            Nimbo::ComputePaddingX(static_cast<size_t>(image.lineOffset()), output, buffer->imageWidth()));
        m_converter->Convert(image.pixelData(), image.sizeBytes(), buffer->rawData(), buffer->size(),
                             buffer->imageFormat(), buffer->imageWidth(), buffer->imageHeight(), buffer->paddingX(),
                             Nimbo::ImageOrientation_TopDown);
        return image;
    } catch (...) {
        qWarning("Failed to convert the image");
        qWarning("%s: %s", "DefaultColorConverterPlugin::convert", GenICam::CaughtException::Current().What());
    }
    return Lorvish::Image();
}
