// Turns one stream buffer into one displayable image.
#include "Converter.h"

#include "DefaultColorConverterPlugin.h"

#include <GenICam/GenericException.h>
#include <lorvish/PluginManager.h>
#include <nimbo/PixelType.h>

#include <QtGlobal>

#include <cstring>

namespace {

// The packed RGB/BGR types that the Quennet overlay draws from the raw frame itself.
bool isQuennetRawType(uint32_t pixelType)
{
    return pixelType == 0x02180014u || pixelType == 0x02180015u || pixelType == 0x0230001Au || pixelType == 0x0230001Bu;
}

} // namespace

Converter::Converter(QObject* parent, const OverlaySelection& selection) : QObject(parent), m_quennet(selection.quennet)
{
    if (!selection.pluginName.isEmpty()) {
        Lorvish::IPlugin* plugin = Lorvish::PluginManager::createInstance(selection.pluginName);
        m_overlayPlugin = plugin ? dynamic_cast<Lorvish::IOverlayPlugin*>(plugin) : nullptr;
        if (plugin && !m_overlayPlugin)
            Lorvish::PluginManager::destroyInstance(plugin); // not an overlay: not ours to keep
        if (!m_overlayPlugin)
            qWarning("Didn't find the extension plugin %s", selection.pluginName.toLatin1().constData());
        else
            m_releaseOverlay = [](Lorvish::IOverlayPlugin* p) { Lorvish::PluginManager::destroyInstance(p); };
    }
    m_colorConverter.reset(new DefaultColorConverterPlugin);
}

Converter::Converter(Lorvish::IOverlayPlugin* overlay, bool quennet,
                     std::function<void(Lorvish::IOverlayPlugin*)> release, QObject* parent)
    : QObject(parent), m_overlayPlugin(overlay), m_quennet(quennet), m_releaseOverlay(std::move(release))
{
    m_colorConverter.reset(new DefaultColorConverterPlugin);
}

Converter::~Converter()
{
    if (m_overlayPlugin && m_releaseOverlay)
        m_releaseOverlay(m_overlayPlugin);
}

void Converter::announceNodemaps()
{
    if (m_overlayPlugin) {
        if (GenApi::INodeMap* map = m_overlayPlugin->nodeMap())
            emit nodemapAvailable(map, QString::fromLatin1(m_overlayPlugin->name()),
                                  m_quennet ? QStringLiteral("Quennet") : QStringLiteral("ExtensionPlugin"));
    }
    if (GenApi::INodeMap* map = m_colorConverter->nodeMap())
        emit nodemapAvailable(map, QString::fromLatin1(m_colorConverter->name()), QStringLiteral("ColorConverter"));
}

bool Converter::isSupportedInputFormat(Nimbo::EPixelType pixelType)
{
    if (pixelType == Nimbo::PixelType_Mono8)
        return true;
    if (m_colorConverter->isSupportedInputFormat(pixelType))
        return true;
    return m_quennet;
}

void Converter::setBuffer(Lorvish::StreamBuffer* buffer)
{
    if (!buffer || (!buffer->hasImage() && !buffer->rawData()))
        return;
    Lorvish::Image image = convert(buffer);
    emit imageAvailable(image);
}

Lorvish::Image Converter::convert(Lorvish::StreamBuffer* buffer)
{
    if (!buffer)
        return Lorvish::Image();
    const bool draw = m_overlayPlugin && m_overlayPlugin->isEnabled();
    if (buffer->isTestBuffer())
        return Lorvish::Image(buffer->imageWidth(), buffer->imageHeight(), Lorvish::Image::FormatInvalid, buffer);

    const uint32_t type = static_cast<uint32_t>(buffer->imageFormat());
    const bool rawCanvas = draw && m_quennet && isQuennetRawType(type);
    Lorvish::Image image =
        rawCanvas ? Lorvish::Image(3 * buffer->imageWidth(), buffer->imageHeight(), Lorvish::Image::FormatRgb32, buffer)
                  : m_colorConverter->convert(buffer);
    if (!draw)
        return image;

    if (image.isValid() && image.isMono())
        image = mono8Image2RgbImage(image);
    else if (!image.isValid())
        image = Lorvish::Image::ImageFromBuffer(Lorvish::Image::FormatRgb32, buffer);
    if (!image.pixelData())
        return image; // nothing to draw into

    Lorvish::SImageFormatEx format;
    Lorvish::StreamBuffer::SImageFormatExFromBuffer(format, *buffer);
    if (isQuennetRawType(type)) {
        format.width *= 3;
        format.pixelType = (type == 0x02180014u || type == 0x02180015u) ? Nimbo::PixelType_Mono8
                                                                        : static_cast<Nimbo::EPixelType>(0x01100007);
    }
    try {
        m_overlayPlugin->draw(buffer->rawData(), format, image.pixelData(), image.lineOffset(), image.bitmap());
    } catch (const GenICam::GenericException& e) {
        qWarning("GenICam::GenericException caught from plugin! Msg='%s'", e.GetDescription());
    } catch (const std::exception& e) {
        qWarning("std::exception caught from plugin! Msg='%s'", e.what());
    } catch (...) {
        qWarning("unknown exeption caught from plugin!");
    }
    return image;
}

Lorvish::Image mono8Image2RgbImage(const Lorvish::Image& source)
{
    if (source.format() != Lorvish::Image::FormatMono8)
        return Lorvish::Image();
    const uint8_t* src = source.pixelData();
    if (!src) {
        qCritical("%s: pImage->pixelData() returned NULL pointer", "mono8Image2RgbImage");
        return Lorvish::Image();
    }
    Lorvish::Image image(source.width(), source.height(), Lorvish::Image::FormatRgb32, source.streamBuffer());
    uint8_t* dst = image.pixelData();
    if (!dst) {
        qCritical("%s: img.pixelData() returned NULL pointer", "mono8Image2RgbImage");
        return Lorvish::Image();
    }
    const int srcStride = source.lineOffset();
    const int dstStride = image.lineOffset();
    for (unsigned y = 0; y < source.height(); ++y) {
        const uint8_t* s = src + static_cast<size_t>(y) * srcStride;
        uint8_t* d = dst + static_cast<size_t>(y) * dstStride;
        for (unsigned x = 0; x < source.width(); ++x) {
            d[4 * x] = d[4 * x + 1] = d[4 * x + 2] = s[x];
            d[4 * x + 3] = 0;
        }
    }
    return image;
}
