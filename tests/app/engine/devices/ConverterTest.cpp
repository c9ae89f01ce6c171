// Tests of the converter, the default colour converter and the pixel-type classification.
#include "Converter.h"
#include "DefaultColorConverterPlugin.h"
#include "PixelTypeClassification.h"

#include <GenApi/GenApi.h>
#include <GenICam/GenericException.h>
#include <lorvish/StreamBuffer.h>
#include <testsupport/LogCapture.h>

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

namespace {

using Lorvish::Image;
using Lorvish::StreamBuffer;

std::unique_ptr<StreamBuffer> makeBuffer(Nimbo::EPixelType type, unsigned width, unsigned height, uint8_t fill = 0x40)
{
    const unsigned size = static_cast<unsigned>(Nimbo::ComputeBufferSize(type, width, height));
    auto buffer = std::make_unique<StreamBuffer>(size, type, width, height, 1, nullptr);
    buffer->memset(fill);
    return buffer;
}

TEST(PixelTypeClassificationTest, PatternsAndMonoImages)
{
    struct Case {
        uint32_t type;
        BayerPattern pattern;
        bool mono;
    };
    const Case cases[] = {
        {0x01080009, BayerRG, false},  {0x0110002F, BayerRG, false},   {0x0108000A, BayerGB, false},
        {0x01100030, BayerGB, false},  {0x01080008, BayerGR, false},   {0x0110002E, BayerGR, false},
        {0x0108000B, BayerBG, false},  {0x01100031, BayerBG, false},   {0x01080001, BayerNone, true},
        {0x01100005, BayerNone, true}, {0x02180015, BayerNone, false}, {0x02200017, BayerNone, false},
        {0xFFFFFFFF, BayerNone, true}, {0, BayerNone, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        EXPECT_EQ(bayerPatternOf(c.type), c.pattern);
        EXPECT_EQ(isBayerPixelType(c.type), c.pattern != BayerNone);
        EXPECT_EQ(isMonoImagePixelType(c.type), c.mono);
    }
}

TEST(DefaultColorConverterTest, OutputFormatFollowsTheInput)
{
    struct Case {
        Nimbo::EPixelType type;
        Image::Format format;
    };
    const Case cases[] = {
        {Nimbo::PixelType_Mono8, Image::FormatMono8},
        {Nimbo::PixelType_Mono12, Image::FormatMono8},
        {Nimbo::PixelType_BayerRG8, Image::FormatRgb32},
        {Nimbo::PixelType_BGR8packed, Image::FormatRgb32},
    };
    DefaultColorConverterPlugin plugin;
    // Odd width: the output lines of the 8-bit image are padded to the bitmap's stride.
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        auto buffer = makeBuffer(c.type, 13, 6);
        {
            Image image = plugin.convert(buffer.get());
            ASSERT_TRUE(image.isValid());
            EXPECT_EQ(image.format(), c.format);
            EXPECT_EQ(image.width(), 13u);
            EXPECT_EQ(image.height(), 6u);
            EXPECT_EQ(buffer->lockCount(), 1); // the image holds the buffer
            if (c.type == Nimbo::PixelType_Mono8) {
                for (unsigned y = 0; y < 6; ++y)
                    EXPECT_EQ(image.pixelData()[y * image.lineOffset() + 12], 0x40) << y;
            }
        }
        EXPECT_EQ(buffer->lockCount(), 0);
    }
    EXPECT_STREQ(plugin.name(), "Image Format Conversion");
    EXPECT_TRUE(plugin.isEnabled());
}

TEST(DefaultColorConverterTest, RefusalsGiveTheEmptyImage)
{
    DefaultColorConverterPlugin plugin;
    EXPECT_FALSE(plugin.convert(nullptr).isValid());
    auto unsupported = makeBuffer(Nimbo::PixelType_Mono8, 8, 8);
    unsupported->setImageFormat(static_cast<Nimbo::EPixelType>(0x7FFFFFFF));
    EXPECT_FALSE(plugin.convert(unsupported.get()).isValid());
    // A buffer too small for its announced size: the conversion fails and is logged.
    auto shortBuffer = std::make_unique<StreamBuffer>(10, Nimbo::PixelType_Mono8, 8, 8, 1, nullptr);
    testsupport::LogCapture log;
    EXPECT_FALSE(plugin.convert(shortBuffer.get()).isValid());
    EXPECT_TRUE(log.contains("Failed to convert the image"));
    EXPECT_TRUE(log.contains("DefaultColorConverterPlugin::convert: "));
    EXPECT_EQ(shortBuffer->lockCount(), 0);
}

TEST(DefaultColorConverterTest, UserCannotEditEdgeHandlingOrPadding)
{
    DefaultColorConverterPlugin plugin;
    GenApi::INodeMap* map = plugin.nodeMap();
    ASSERT_NE(map, nullptr);
    for (const char* name : {"InconvertibleEdgeHandling", "OutputPaddingX"}) {
        SCOPED_TRACE(name);
        GenApi::INode* node = map->GetNode(name);
        ASSERT_NE(node, nullptr);
        EXPECT_EQ(node->GetAccessMode(), GenApi::RO);
    }
    // Converting still writes the padding itself.
    auto buffer = makeBuffer(Nimbo::PixelType_Mono8, 13, 2);
    EXPECT_TRUE(plugin.convert(buffer.get()).isValid());
}

// An overlay that records what it was given; it can be told to throw.
class FakeOverlay final : public Lorvish::IOverlayPlugin {
public:
    const char* name() override { return "Fake Overlay"; }
    GenApi::INodeMap* nodeMap() override { return m_nodeMap; }
    int firstIntegerQuery() override { return 0; }
    int secondIntegerQuery() override { return 0; }
    bool isEnabled() override { return enabled; }
    void draw(const uint8_t* rawData, const Lorvish::SImageFormatEx& format, uint8_t* pixels, int lineOffset,
              Lorvish::HBITMAP) override
    {
        ++calls;
        lastRaw = rawData;
        lastFormat = format;
        lastPixels = pixels;
        lastLineOffset = lineOffset;
        if (throwWhat == 1)
            throw GenICam::RuntimeException("overlay broke", __FILE__, __LINE__);
        if (throwWhat == 2)
            throw std::runtime_error("overlay broke");
        if (throwWhat == 3)
            throw 42;
    }

    bool enabled = true;
    int throwWhat = 0;
    int calls = 0;
    const uint8_t* lastRaw = nullptr;
    Lorvish::SImageFormatEx lastFormat;
    uint8_t* lastPixels = nullptr;
    int lastLineOffset = 0;
    GenApi::INodeMap* m_nodeMap = nullptr;
};

Converter* makeConverter(FakeOverlay* overlay, bool quennet)
{
    return new Converter(overlay, quennet, [](Lorvish::IOverlayPlugin*) {});
}

TEST(ConverterTest, WithoutOverlayTheColourConverterDecides)
{
    Converter converter;
    EXPECT_EQ(converter.overlayPlugin(), nullptr);
    auto bayer = makeBuffer(Nimbo::PixelType_BayerRG8, 8, 8);
    auto mono12 = makeBuffer(Nimbo::PixelType_Mono12, 8, 8);
    EXPECT_EQ(converter.convert(bayer.get()).format(), Image::FormatRgb32);
    EXPECT_EQ(converter.convert(mono12.get()).format(), Image::FormatMono8);
    EXPECT_FALSE(converter.convert(nullptr).isValid());

    EXPECT_TRUE(converter.isSupportedInputFormat(Nimbo::PixelType_Mono8));
    EXPECT_TRUE(converter.isSupportedInputFormat(Nimbo::PixelType_BayerRG8));
    EXPECT_FALSE(converter.isSupportedInputFormat(static_cast<Nimbo::EPixelType>(0x7FFFFFFF)));
}

TEST(ConverterTest, MissingExtensionPluginIsLogged)
{
    testsupport::LogCapture log;
    Converter converter(nullptr, OverlaySelection{QStringLiteral("NoSuchPlugin"), false});
    EXPECT_EQ(converter.overlayPlugin(), nullptr);
    EXPECT_TRUE(log.contains("Didn't find the extension plugin NoSuchPlugin"));
}

TEST(ConverterTest, SetBufferEmitsOneImageAndSkipsEmptyBuffers)
{
    // The buffer outlives the spy, which keeps copies of the images.
    auto mono = makeBuffer(Nimbo::PixelType_Mono8, 8, 8);
    Converter converter;
    QSignalSpy images(&converter, &Converter::imageAvailable);
    converter.setBuffer(nullptr);
    EXPECT_EQ(images.count(), 0);
    converter.setBuffer(mono.get());
    ASSERT_EQ(images.count(), 1);
    EXPECT_TRUE(images.at(0).at(0).value<Image>().isValid());
    EXPECT_EQ(mono->lockCount(), 1);
    images.clear();
    EXPECT_EQ(mono->lockCount(), 0);
}

TEST(ConverterTest, TestBufferGivesAnInvalidImageThatHoldsTheBuffer)
{
    FakeOverlay overlay;
    std::unique_ptr<Converter> converter(makeConverter(&overlay, false));
    auto buffer = makeBuffer(Nimbo::PixelType_Mono8, 8, 8);
    buffer->markAsTestBuffer();
    {
        Image image = converter->convert(buffer.get());
        EXPECT_FALSE(image.isValid());
        EXPECT_EQ(image.streamBuffer(), buffer.get());
        EXPECT_EQ(buffer->lockCount(), 1);
    }
    EXPECT_EQ(buffer->lockCount(), 0);
    EXPECT_EQ(overlay.calls, 0);
}

TEST(ConverterTest, OverlayDrawsIntoA32BitCopyOfAMonoFrame)
{
    FakeOverlay overlay;
    std::unique_ptr<Converter> converter(makeConverter(&overlay, false));
    auto buffer = makeBuffer(Nimbo::PixelType_Mono8, 5, 3, 0x7F);
    Image image = converter->convert(buffer.get());
    ASSERT_TRUE(image.isValid());
    EXPECT_EQ(image.format(), Image::FormatRgb32);
    ASSERT_EQ(overlay.calls, 1);
    EXPECT_EQ(overlay.lastRaw, buffer->rawData());
    EXPECT_EQ(overlay.lastPixels, image.pixelData());
    EXPECT_EQ(overlay.lastLineOffset, image.lineOffset());
    EXPECT_EQ(overlay.lastFormat.width, 5u);
    EXPECT_EQ(overlay.lastFormat.pixelType, Nimbo::PixelType_Mono8);
    const uint8_t* last = image.pixelData() + 2 * image.lineOffset() + 4 * 4;
    EXPECT_EQ(last[0], 0x7F);
    EXPECT_EQ(last[1], 0x7F);
    EXPECT_EQ(last[2], 0x7F);
    EXPECT_EQ(last[3], 0);

    // A disabled overlay leaves the grey image alone.
    overlay.enabled = false;
    EXPECT_EQ(converter->convert(buffer.get()).format(), Image::FormatMono8);
    EXPECT_EQ(overlay.calls, 1);
}

TEST(ConverterTest, QuennetGetsARawCanvasForPackedColour)
{
    struct Case {
        Nimbo::EPixelType type;
        Nimbo::EPixelType formatType;
    };
    const Case cases[] = {
        {static_cast<Nimbo::EPixelType>(0x02180015), Nimbo::PixelType_Mono8},
        {static_cast<Nimbo::EPixelType>(0x02180014), Nimbo::PixelType_Mono8},
        {static_cast<Nimbo::EPixelType>(0x0230001A), static_cast<Nimbo::EPixelType>(0x01100007)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        FakeOverlay overlay;
        std::unique_ptr<Converter> converter(makeConverter(&overlay, true));
        auto buffer = makeBuffer(c.type, 6, 4);
        Image image = converter->convert(buffer.get());
        ASSERT_TRUE(image.isValid());
        EXPECT_EQ(image.width(), 18u);
        EXPECT_EQ(image.height(), 4u);
        EXPECT_EQ(image.format(), Image::FormatRgb32);
        ASSERT_EQ(overlay.calls, 1);
        EXPECT_EQ(overlay.lastFormat.width, 18u);
        EXPECT_EQ(overlay.lastFormat.pixelType, c.formatType);
        EXPECT_TRUE(converter->isSupportedInputFormat(static_cast<Nimbo::EPixelType>(0x7FFFFFFF)));
    }
}

TEST(ConverterTest, OverlayFailureIsLoggedAndTheImagePassesOn)
{
    struct Case {
        int throwWhat;
        const char* text;
    };
    const Case cases[] = {
        {1, "GenICam::GenericException caught from plugin! Msg='overlay broke'"},
        {2, "std::exception caught from plugin! Msg='overlay broke'"},
        {3, "unknown exeption caught from plugin!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        auto buffer = makeBuffer(Nimbo::PixelType_BayerRG8, 8, 8);
        FakeOverlay overlay;
        overlay.throwWhat = c.throwWhat;
        std::unique_ptr<Converter> converter(makeConverter(&overlay, false));
        QSignalSpy images(converter.get(), &Converter::imageAvailable);
        testsupport::LogCapture log;
        converter->setBuffer(buffer.get());
        EXPECT_TRUE(log.contains(c.text));
        ASSERT_EQ(images.count(), 1);
        EXPECT_TRUE(images.at(0).at(0).value<Image>().isValid());
    }
}

TEST(ConverterTest, NodeMapsAreAnnouncedWithTheirRoles)
{
    GenApi::INodeMap* overlayMap = GenApi::CreateNodeMap(
        R"(<?xml version="1.0"?><RegisterDescription ModelName="O" VendorName="V" StandardNameSpace="None" SchemaMajorVersion="1" SchemaMinorVersion="1" SchemaSubMinorVersion="0" MajorVersion="1" MinorVersion="0" SubMinorVersion="0" ProductGuid="0" VersionGuid="0" xmlns="http://www.genicam.org/GenApi/Version_1_1"><Category Name="Root"/></RegisterDescription>)",
        GenICam::gcstring_vector(), "Overlay");
    ASSERT_NE(overlayMap, nullptr);
    for (bool quennet : {false, true}) {
        FakeOverlay overlay;
        overlay.m_nodeMap = overlayMap;
        std::unique_ptr<Converter> converter(makeConverter(&overlay, quennet));
        QSignalSpy maps(converter.get(), &Converter::nodemapAvailable);
        converter->announceNodemaps();
        ASSERT_EQ(maps.count(), 2);
        EXPECT_EQ(maps.at(0).at(1).toString(), "Fake Overlay");
        EXPECT_EQ(maps.at(0).at(2).toString(), quennet ? "Quennet" : "ExtensionPlugin");
        EXPECT_EQ(maps.at(1).at(1).toString(), "Image Format Conversion");
        EXPECT_EQ(maps.at(1).at(2).toString(), "ColorConverter");
    }
    // Without a node map the overlay is not announced.
    FakeOverlay bare;
    std::unique_ptr<Converter> converter(makeConverter(&bare, false));
    QSignalSpy maps(converter.get(), &Converter::nodemapAvailable);
    converter->announceNodemaps();
    ASSERT_EQ(maps.count(), 1);
    EXPECT_EQ(maps.at(0).at(2).toString(), "ColorConverter");
    GenApi::DestroyNodeMap(overlayMap);
}

TEST(ConverterTest, Mono8ToRgbRefusesOtherImages)
{
    EXPECT_FALSE(mono8Image2RgbImage(Image()).isValid());
    auto buffer = makeBuffer(Nimbo::PixelType_BayerRG8, 4, 4);
    Image colour(4, 4, Image::FormatRgb32, buffer.get());
    EXPECT_FALSE(mono8Image2RgbImage(colour).isValid());
}

} // namespace
