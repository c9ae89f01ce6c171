// Turns one stream buffer into one displayable image through the colour converter and an optional
// overlay plug-in.
#pragma once

#include <lorvish/ColorConverterPlugin.h>
#include <lorvish/Image.h>
#include <lorvish/OverlayPlugin.h>
#include <lorvish/StreamBuffer.h>

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

// Which overlay plug-in the converter uses: the extension plug-in's name and whether it runs in the
// Quennet mode. An empty name means no overlay plug-in.
struct OverlaySelection {
    QString pluginName;
    bool quennet = false;
};

// Threads: built and destroyed on the GUI thread; everything in between (setBuffer, convert and
// both plug-ins) runs on the decoupler thread of its device only.
class Converter : public QObject {
    Q_OBJECT
public:
    // Looks the overlay plug-in up through Lorvish's plug-in manager.
    explicit Converter(QObject* parent = nullptr, const OverlaySelection& selection = OverlaySelection());
    // Takes an overlay plug-in made elsewhere; release hands it back when the converter dies.
    Converter(Lorvish::IOverlayPlugin* overlay, bool quennet, std::function<void(Lorvish::IOverlayPlugin*)> release,
              QObject* parent = nullptr);
    ~Converter() override;

    bool isSupportedInputFormat(Nimbo::EPixelType pixelType);
    Lorvish::Image convert(Lorvish::StreamBuffer* buffer);
    Lorvish::IOverlayPlugin* overlayPlugin() const { return m_overlayPlugin; }

signals:
    void imageAvailable(Lorvish::Image image);
    void nodemapAvailable(GenApi::INodeMap* nodeMap, QString displayName, QString roleName);

public slots:
    void announceNodemaps();
    void setBuffer(Lorvish::StreamBuffer* buffer);
    void shutDown() {}

private:
    std::unique_ptr<Lorvish::IColorConverterPlugin> m_colorConverter;
    Lorvish::IOverlayPlugin* m_overlayPlugin = nullptr;
    bool m_quennet = false;
    std::function<void(Lorvish::IOverlayPlugin*)> m_releaseOverlay;
};

// A 32-bit colour copy of an 8-bit grey image, sharing its stream buffer; empty for any other source.
Lorvish::Image mono8Image2RgbImage(const Lorvish::Image& source);
