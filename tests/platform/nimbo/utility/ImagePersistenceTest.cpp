// Saved BMP, TIFF, PNG and JPEG files read back by independent readers (Qt's image reader, libtiff).
#include <nimbo/ImageFormatConverter.h>
#include <nimbo/ImagePersistence.h>

#include <GenICam/GenericException.h>
#include <testsupport/Permissions.h>
#include <testsupport/TempDir.h>
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>

#include <tiffio.h>

#include <sys/stat.h>

#include <cstdlib>
#include <string>
#include <vector>

using namespace Nimbo;

namespace {

class ImagePersistenceTest : public testsupport::TempDirTest {
protected:
    // 5x3 BGR8 picture (odd width: BMP lines need padding) with distinct colours per pixel.
    static std::vector<uint8_t> colourPicture(size_t padding = 0)
    {
        std::vector<uint8_t> data;
        for (int y = 0; y < 3; ++y) {
            for (int x = 0; x < 5; ++x) {
                data.push_back(uint8_t(10 + 40 * x));  // blue
                data.push_back(uint8_t(20 + 60 * y));  // green
                data.push_back(uint8_t(200 - 30 * x)); // red
            }
            data.insert(data.end(), padding, 0x55);
        }
        return data;
    }
    static QRgb expectedColour(int x, int y) { return qRgb(200 - 30 * x, 20 + 60 * y, 10 + 40 * x); }
};

} // namespace

TEST_F(ImagePersistenceTest, BmpPngAndJpegReadBackWithQt)
{
    struct Row {
        EImageFileFormat format;
        const char* name;
        int tolerance; // JPEG is lossy
    };
    const Row rows[] = {
        {ImageFileFormat_Bmp, "a.bmp", 0}, {ImageFileFormat_Png, "a.png", 0}, {ImageFileFormat_Jpeg, "a.jpg", 40}};
    const auto pixels = colourPicture(2);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string file = stdFilePath(row.name);
        CImagePersistenceOptions options;
        options.SetQuality(100);
        CImagePersistence::Save(row.format, file.c_str(), pixels.data(), pixels.size(), PixelType_BGR8packed, 5, 3, 2,
                                ImageOrientation_TopDown, &options);
        QImageReader reader(QString::fromStdString(file));
        const QImage image = reader.read();
        ASSERT_FALSE(image.isNull()) << reader.errorString().toStdString();
        ASSERT_EQ(image.width(), 5);
        ASSERT_EQ(image.height(), 3);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 5; ++x) {
                const QRgb got = image.pixel(x, y), want = expectedColour(x, y);
                EXPECT_NEAR(qRed(got), qRed(want), row.tolerance) << x << "," << y;
                EXPECT_NEAR(qGreen(got), qGreen(want), row.tolerance) << x << "," << y;
                EXPECT_NEAR(qBlue(got), qBlue(want), row.tolerance) << x << "," << y;
            }
    }
}

TEST_F(ImagePersistenceTest, MonoAndBayerAreConvertedForEachFormat)
{
    // Mono8 bottom-up: the file must show the top line first. Grey files for mono, colour for Bayer.
    const std::vector<uint8_t> mono = {30, 40, 50, 0, 10, 20}; // lines: bottom (30..), top (0..)
    const std::vector<uint8_t> bayer(4 * 4, 90);
    for (EImageFileFormat format : {ImageFileFormat_Bmp, ImageFileFormat_Png, ImageFileFormat_Jpeg}) {
        SCOPED_TRACE(int(format));
        const std::string monoFile = stdFilePath(QString("m%1").arg(int(format)));
        CImagePersistence::Save(format, monoFile.c_str(), mono.data(), mono.size(), PixelType_Mono8, 3, 2, 0,
                                ImageOrientation_BottomUp);
        QImageReader monoReader(QString::fromStdString(monoFile));
        const QImage grey = monoReader.read();
        ASSERT_FALSE(grey.isNull());
        EXPECT_TRUE(grey.isGrayscale());
        const int tolerance = format == ImageFileFormat_Jpeg ? 6 : 0;
        EXPECT_NEAR(qGray(grey.pixel(0, 0)), 0, tolerance);
        EXPECT_NEAR(qGray(grey.pixel(2, 1)), 50, tolerance);

        const std::string bayerFile = stdFilePath(QString("b%1").arg(int(format)));
        CImagePersistence::Save(format, bayerFile.c_str(), bayer.data(), bayer.size(), PixelType_BayerGB8, 4, 4, 0,
                                ImageOrientation_TopDown);
        QImageReader bayerReader(QString::fromStdString(bayerFile));
        const QImage colour = bayerReader.read();
        ASSERT_FALSE(colour.isNull());
        EXPECT_EQ(colour.size(), QSize(4, 4));
        EXPECT_NEAR(qRed(colour.pixel(1, 2)), 90, tolerance);
    }
}

TEST_F(ImagePersistenceTest, PngKeepsSixteenBitMono)
{
    const std::vector<uint16_t> values = {0, 4095, 1000, 2048};
    const std::string file = stdFilePath("deep.png");
    CImagePersistence::Save(ImageFileFormat_Png, file.c_str(), values.data(), values.size() * 2, PixelType_Mono12, 2, 2,
                            0, ImageOrientation_TopDown);
    QImageReader reader(QString::fromStdString(file));
    const QImage image = reader.read();
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.format(), QImage::Format_Grayscale16);
    EXPECT_EQ(reinterpret_cast<const uint16_t*>(image.constScanLine(0))[1], 4095);
    EXPECT_EQ(reinterpret_cast<const uint16_t*>(image.constScanLine(1))[0], 1000);
}

TEST_F(ImagePersistenceTest, TiffReadsBackWithLibtiff)
{
    struct Row {
        EPixelType type;
        uint16_t samples, bits;
    };
    const std::vector<uint8_t> colour = colourPicture();
    std::vector<uint16_t> deep(5 * 3);
    for (size_t i = 0; i < deep.size(); ++i)
        deep[i] = uint16_t(i * 4000);
    for (const Row& row : {Row{PixelType_BGR8packed, 3, 8}, Row{PixelType_Mono16, 1, 16}}) {
        const std::string file = stdFilePath(QString("t%1.tiff").arg(row.bits));
        const void* data = row.bits == 8 ? static_cast<const void*>(colour.data()) : deep.data();
        const size_t size = row.bits == 8 ? colour.size() : deep.size() * 2;
        CImagePersistence::Save(ImageFileFormat_Tiff, file.c_str(), data, size, row.type, 5, 3, 0,
                                ImageOrientation_TopDown);
        TIFF* tiff = TIFFOpen(file.c_str(), "r");
        ASSERT_NE(tiff, nullptr);
        uint32_t width = 0, height = 0;
        uint16_t samples = 0, bits = 0;
        TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width);
        TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height);
        TIFFGetField(tiff, TIFFTAG_SAMPLESPERPIXEL, &samples);
        TIFFGetField(tiff, TIFFTAG_BITSPERSAMPLE, &bits);
        EXPECT_EQ(width, 5u);
        EXPECT_EQ(height, 3u);
        EXPECT_EQ(samples, row.samples);
        EXPECT_EQ(bits, row.bits);
        std::vector<uint8_t> line(TIFFScanlineSize(tiff));
        ASSERT_EQ(TIFFReadScanline(tiff, line.data(), 2, 0), 1);
        if (row.bits == 8) {
            // Stored as RGB: pixel (3, 2).
            const QRgb want = expectedColour(3, 2);
            EXPECT_EQ(line[9], qRed(want));
            EXPECT_EQ(line[10], qGreen(want));
            EXPECT_EQ(line[11], qBlue(want));
        } else {
            EXPECT_EQ(reinterpret_cast<const uint16_t*>(line.data())[4], deep[14]);
        }
        TIFFClose(tiff);
    }
}

TEST_F(ImagePersistenceTest, FailuresThrowAndLeaveNoFile)
{
    const std::vector<uint8_t> pixels(16, 1);
    const std::string missingFolder = stdFilePath("no/such/folder/x.png");
    // Written as they are (Mono8) and converted on the way (YCbCr422_8).
    const std::vector<uint8_t> yuv(32, 128);
    for (EImageFileFormat format :
         {ImageFileFormat_Bmp, ImageFileFormat_Tiff, ImageFileFormat_Jpeg, ImageFileFormat_Png}) {
        EXPECT_THROW(CImagePersistence::Save(format, missingFolder.c_str(), pixels.data(), pixels.size(),
                                             PixelType_Mono8, 4, 4, 0, ImageOrientation_TopDown),
                     GenICam::RuntimeException);
        EXPECT_THROW(CImagePersistence::Save(format, missingFolder.c_str(), yuv.data(), yuv.size(),
                                             PixelType_YCbCr422_8, 4, 4, 0, ImageOrientation_TopDown),
                     GenICam::RuntimeException);
    }
    const std::string file = stdFilePath("x.bmp");
    EXPECT_THROW(CImagePersistence::Save(static_cast<EImageFileFormat>(7), file.c_str(), pixels.data(), pixels.size(),
                                         PixelType_Mono8, 4, 4, 0, ImageOrientation_TopDown),
                 GenICam::InvalidArgumentException);
    EXPECT_THROW(CImagePersistence::Save(ImageFileFormat_Bmp, file.c_str(), pixels.data(), pixels.size() - 1,
                                         PixelType_Mono8, 4, 4, 0, ImageOrientation_TopDown),
                 GenICam::InvalidArgumentException);
    EXPECT_THROW(CImagePersistence::Save(ImageFileFormat_Bmp, "", pixels.data(), pixels.size(), PixelType_Mono8, 4, 4,
                                         0, ImageOrientation_TopDown),
                 GenICam::InvalidArgumentException);
    EXPECT_THROW(CImagePersistence::Save(ImageFileFormat_Bmp, file.c_str(), nullptr, 16, PixelType_Mono8, 4, 4, 0,
                                         ImageOrientation_TopDown),
                 GenICam::InvalidArgumentException);
    EXPECT_THROW(CImagePersistence::Save(ImageFileFormat_Png, file.c_str(), pixels.data(), pixels.size(),
                                         PixelType_BGR10V1packed, 2, 2, 0, ImageOrientation_TopDown),
                 GenICam::InvalidArgumentException);
    EXPECT_THROW(CImagePersistence::Save(ImageFileFormat_Png, file.c_str(), CNimboImage()),
                 GenICam::InvalidArgumentException);
    EXPECT_TRUE(entries().isEmpty());
}

// Something that stands at the name already and cannot be written over, a folder or a read-only
// file, is not ours: the save fails and leaves it as it was. Only a file the save created itself is
// taken away when it cannot be finished.
TEST_F(ImagePersistenceTest, ANameThatCannotBeWrittenIsLeftAsItWas)
{
    const std::vector<uint8_t> mono(16, 1);
    const std::vector<uint8_t> yuv(32, 128); // converted on the way
    const struct {
        EImageFileFormat format;
        EPixelType type;
        const std::vector<uint8_t>* pixels;
    } saves[] = {{ImageFileFormat_Bmp, PixelType_Mono8, &mono},  {ImageFileFormat_Bmp, PixelType_YCbCr422_8, &yuv},
                 {ImageFileFormat_Tiff, PixelType_Mono8, &mono}, {ImageFileFormat_Tiff, PixelType_YCbCr422_8, &yuv},
                 {ImageFileFormat_Png, PixelType_Mono8, &mono},  {ImageFileFormat_Jpeg, PixelType_Mono8, &mono}};
    for (const auto& save : saves) {
        SCOPED_TRACE(testing::Message() << "format " << int(save.format) << ", pixel type " << save.type);
        // An empty folder standing at the name.
        const QString folder = filePath("folder");
        ASSERT_TRUE(QDir().mkdir(folder));
        EXPECT_THROW(CImagePersistence::Save(save.format, folder.toStdString().c_str(), save.pixels->data(),
                                             save.pixels->size(), save.type, 4, 4, 0, ImageOrientation_TopDown),
                     GenICam::RuntimeException);
        EXPECT_TRUE(QFileInfo(folder).isDir()) << "the folder at the name was removed";
        QDir().rmdir(folder);

        // A read-only file standing at the name, saved over by a thread without the right to write it.
        const std::string readOnly = stdFilePath("readonly");
        {
            QFile file(QString::fromStdString(readOnly));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write("kept");
        }
        ASSERT_EQ(::chmod(readOnly.c_str(), 0444), 0);
        {
            testsupport::WithoutPowerOverPermissions guard;
            ASSERT_TRUE(guard.isActive());
            EXPECT_THROW(CImagePersistence::Save(save.format, readOnly.c_str(), save.pixels->data(),
                                                 save.pixels->size(), save.type, 4, 4, 0, ImageOrientation_TopDown),
                         GenICam::RuntimeException);
        }
        QFile kept(QString::fromStdString(readOnly));
        EXPECT_TRUE(kept.open(QIODevice::ReadOnly)) << "the read-only file at the name was removed";
        EXPECT_EQ(kept.readAll(), QByteArray("kept"));
        kept.close();
        ::chmod(readOnly.c_str(), 0644);
        QFile::remove(QString::fromStdString(readOnly));
    }
}

namespace {

// The pixels of a saved file, top line first, as 0xRRGGBB: TIFF through libtiff, the rest through Qt.
std::vector<uint32_t> readBack(const std::string& file, EImageFileFormat format, uint32_t width, uint32_t height)
{
    std::vector<uint32_t> pixels;
    if (format == ImageFileFormat_Tiff) {
        TIFF* tiff = TIFFOpen(file.c_str(), "r");
        EXPECT_NE(tiff, nullptr);
        if (!tiff)
            return pixels;
        std::vector<uint32_t> rgba(size_t(width) * height);
        EXPECT_EQ(TIFFReadRGBAImageOriented(tiff, width, height, rgba.data(), ORIENTATION_TOPLEFT, 0), 1);
        TIFFClose(tiff);
        for (uint32_t p : rgba)
            pixels.push_back(TIFFGetR(p) << 16 | TIFFGetG(p) << 8 | TIFFGetB(p));
        return pixels;
    }
    QImageReader reader(QString::fromStdString(file));
    const QImage image = reader.read();
    EXPECT_FALSE(image.isNull()) << reader.errorString().toStdString();
    if (image.isNull() || image.width() != int(width) || image.height() != int(height))
        return pixels;
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x)
            pixels.push_back(image.pixel(int(x), int(y)) & 0xFFFFFFu);
    return pixels;
}

} // namespace

TEST_F(ImagePersistenceTest, EveryLineOrderPaddingAndConversionReadsBackTopDown)
{
    struct Case {
        EPixelType type;
        uint32_t width;
        size_t padding;
        EImageOrientation orientation;
        uint32_t height;
    };
    // Written from the buffer itself (BGR8, RGB8, Mono8) or through a conversion (YUV, packed mono,
    // Bayer); widths whose BMP lines need padding; bottom-up buffers, which BMP writes without reordering.
    // The tall ones are converted and written a band of lines at a time, and end in a shorter band.
    const Case cases[] = {{PixelType_BGR8packed, 5, 2, ImageOrientation_TopDown, 3},
                          {PixelType_BGR8packed, 4, 0, ImageOrientation_BottomUp, 3},
                          {PixelType_RGB8packed, 7, 1, ImageOrientation_BottomUp, 3},
                          {PixelType_Mono8, 5, 3, ImageOrientation_BottomUp, 3},
                          {PixelType_Mono8, 8, 0, ImageOrientation_TopDown, 3},
                          {PixelType_YUV422_YUYV_Packed, 5, 1, ImageOrientation_BottomUp, 3},
                          {PixelType_YCbCr422_8, 6, 0, ImageOrientation_TopDown, 3},
                          {PixelType_BayerRG8, 6, 2, ImageOrientation_BottomUp, 3},
                          {PixelType_YCbCr422_8, 1031, 3, ImageOrientation_BottomUp, 101},
                          {PixelType_YUV422packed, 1030, 0, ImageOrientation_TopDown, 97},
                          {PixelType_Mono12p, 999, 1, ImageOrientation_BottomUp, 300},
                          {PixelType_BayerGB8, 1001, 0, ImageOrientation_TopDown, 90}};
    int index = 0;
    for (const Case& c : cases) {
        const uint32_t height = c.height;
        std::vector<uint8_t> buffer(ComputeBufferSize(c.type, c.width, height, c.padding));
        for (size_t i = 0; i < buffer.size(); ++i)
            buffer[i] = uint8_t(i * 37 + 11);
        // What every file must show: the picture converted to top-down RGB8 by the converter.
        CImageFormatConverter converter;
        converter.SetOutputPixelFormat(PixelType_RGB8packed);
        converter.SetOutputOrientation(OutputOrientation_TopDown);
        std::vector<uint8_t> rgb(converter.GetBufferSizeForConversion(c.width, height));
        converter.Convert(rgb.data(), rgb.size(), buffer.data(), buffer.size(), c.type, c.width, height, c.padding,
                          c.orientation);
        std::vector<uint32_t> expected;
        for (size_t i = 0; i < rgb.size(); i += 3)
            expected.push_back(uint32_t(rgb[i]) << 16 | uint32_t(rgb[i + 1]) << 8 | rgb[i + 2]);
        for (EImageFileFormat format : {ImageFileFormat_Bmp, ImageFileFormat_Tiff, ImageFileFormat_Png}) {
            SCOPED_TRACE(std::string(CPixelTypeMapper::GetNameByPixelType(c.type)) + " width " +
                         std::to_string(c.width) + " format " + std::to_string(int(format)));
            const std::string file = stdFilePath(QString("order%1_%2").arg(index++).arg(int(format)));
            // A longer file of the same name is replaced, not overwritten in part.
            {
                QFile old(QString::fromStdString(file));
                ASSERT_TRUE(old.open(QIODevice::WriteOnly));
                old.write(QByteArray(1 << 16, 'x'));
            }
            CImagePersistence::Save(format, file.c_str(), buffer.data(), buffer.size(), c.type, c.width, height,
                                    c.padding, c.orientation);
            EXPECT_EQ(readBack(file, format, c.width, height), expected);
            if (format == ImageFileFormat_Bmp) {
                QFile bmp(QString::fromStdString(file));
                ASSERT_TRUE(bmp.open(QIODevice::ReadOnly));
                const QByteArray head = bmp.read(6);
                const uint32_t declared = uint8_t(head[2]) | uint8_t(head[3]) << 8 | uint8_t(head[4]) << 16 |
                                          uint32_t(uint8_t(head[5])) << 24;
                EXPECT_EQ(declared, uint32_t(bmp.size()));
            }
        }
    }
}
