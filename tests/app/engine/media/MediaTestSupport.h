// Frames of every recorded pixel type and readers of MP4 files through ffprobe and ffmpeg.
#pragma once

#include "SdkTypes.h"

#include <nimbo/PixelType.h>

#include <QProcess>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace mediatest {

// A uniform frame: mono types hold `grey`, colour types the colour red (Bayer as its mosaic, YUV as
// red's luma and chroma). Line padding bytes are 255, so a padding read as pixels shows up bright.
inline std::vector<uint8_t> makeFrame(Nimbo::EPixelType type, uint32_t width, uint32_t height, size_t paddingX = 0,
                                      uint8_t grey = 60)
{
    using namespace Nimbo;
    const size_t stride = ComputeStride(type, width, paddingX);
    const size_t lineBytes = ComputeStride(type, width, 0);
    std::vector<uint8_t> frame(stride * height, 255);
    const uint8_t r = 200, g = 30, b = 30, y8 = 81, u8 = 90, v8 = 220;
    for (uint32_t row = 0; row < height; ++row) {
        uint8_t* line = frame.data() + row * stride;
        for (uint32_t x = 0; x < width; ++x) {
            switch (type) {
            case PixelType_Mono8: line[x] = grey; break;
            case PixelType_Mono12:
                line[2 * x] = uint8_t((grey << 4) & 0xff), line[2 * x + 1] = uint8_t(grey >> 4);
                break;
            case PixelType_BayerRG8: line[x] = (row % 2 == 0 && x % 2 == 0) ? r : (row % 2 && x % 2) ? b : g; break;
            case PixelType_BayerGB8: line[x] = (row % 2 == 0 && x % 2) ? b : (row % 2 && x % 2 == 0) ? r : g; break;
            case PixelType_BayerBG12: {
                const unsigned int v = ((row % 2 == 0 && x % 2 == 0) ? b : (row % 2 && x % 2) ? r : g) << 4;
                line[2 * x] = uint8_t(v & 0xff), line[2 * x + 1] = uint8_t(v >> 8);
                break;
            }
            case PixelType_Mono12packed: // two pixels in three bytes
                if (x % 2 == 0)
                    line[3 * (x / 2)] = grey, line[3 * (x / 2) + 1] = 0;
                else
                    line[3 * (x / 2) + 2] = grey;
                break;
            case PixelType_BGR12packed: {
                const unsigned int values[3] = {unsigned(b) << 4, unsigned(g) << 4, unsigned(r) << 4};
                for (int channel = 0; channel < 3; ++channel)
                    line[6 * x + 2 * channel] = uint8_t(values[channel] & 0xff),
                                     line[6 * x + 2 * channel + 1] = uint8_t(values[channel] >> 8);
                break;
            }
            case PixelType_RGB8packed: line[3 * x] = r, line[3 * x + 1] = g, line[3 * x + 2] = b; break;
            case PixelType_BGR8packed: line[3 * x] = b, line[3 * x + 1] = g, line[3 * x + 2] = r; break;
            case PixelType_BGRA8packed:
                line[4 * x] = b, line[4 * x + 1] = g, line[4 * x + 2] = r, line[4 * x + 3] = 255;
                break;
            case PixelType_YUV422_YUYV_Packed: line[2 * x] = y8, line[2 * x + 1] = (x % 2) ? v8 : u8; break;
            case PixelType_YUV422packed: line[2 * x] = (x % 2) ? v8 : u8, line[2 * x + 1] = y8; break;
            case PixelType_YUV444packed: line[3 * x] = u8, line[3 * x + 1] = y8, line[3 * x + 2] = v8; break;
            case PixelType_YUV411packed: {
                uint8_t* group = line + (x / 4) * 6;
                group[0] = u8, group[3] = v8;
                group[x % 4 < 2 ? 1 + x % 4 : 2 + x % 4] = y8;
                break;
            }
            default: break;
            }
        }
        (void)lineBytes;
    }
    return frame;
}

inline QString runTool(const QString& program, const QStringList& arguments, QByteArray* output = nullptr)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60000))
        return QStringLiteral("%1 did not finish").arg(program);
    const QByteArray out = process.readAllStandardOutput();
    if (output)
        *output = out;
    if (process.exitCode() != 0)
        return QString::fromLocal8Bit(process.readAllStandardError());
    return {};
}

// The video stream's entries as ffprobe gives them (width, height, nb_read_frames, pix_fmt,
// r_frame_rate, duration, codec_name); "error" holds ffprobe's complaint when it failed.
inline std::map<std::string, std::string> probe(const QString& fileName)
{
    QByteArray output;
    const QString error = runTool(QStringLiteral("ffprobe"),
                                  {"-v", "error", "-count_frames", "-select_streams", "v:0", "-show_entries",
                                   "stream=width,height,nb_read_frames,pix_fmt,r_frame_rate,duration,codec_name", "-of",
                                   "default=noprint_wrappers=1", fileName},
                                  &output);
    std::map<std::string, std::string> entries;
    if (!error.isEmpty())
        entries["error"] = error.toStdString();
    for (const QByteArray& line : output.split('\n')) {
        const int equals = line.indexOf('=');
        if (equals > 0)
            entries[line.left(equals).toStdString()] = line.mid(equals + 1).trimmed().toStdString();
    }
    return entries;
}

// When each frame of the video stream is shown, in seconds after the first one, in showing order;
// empty when ffprobe could not read the file. (An MP4 of B-frames starts its first frame later than 0.)
inline std::vector<double> frameTimes(const QString& fileName)
{
    QByteArray output;
    if (!runTool(
             QStringLiteral("ffprobe"),
             {"-v", "error", "-select_streams", "v:0", "-show_entries", "packet=pts_time", "-of", "csv=p=0", fileName},
             &output)
             .isEmpty())
        return {};
    std::vector<double> times;
    for (const QByteArray& line : output.split('\n')) {
        // A packet with side data says so after its time.
        bool ok = false;
        const double time = line.split(',').front().trimmed().toDouble(&ok);
        if (ok)
            times.push_back(time);
    }
    std::sort(times.begin(), times.end());
    for (size_t i = times.size(); i-- > 0;)
        times[i] -= times.front();
    return times;
}

// How long the file plays, in seconds, as ffprobe reads its container; -1 when it could not.
inline double playingTime(const QString& fileName)
{
    QByteArray output;
    if (!runTool(QStringLiteral("ffprobe"),
                 {"-v", "error", "-show_entries", "format=duration", "-of", "csv=p=0", fileName}, &output)
             .isEmpty())
        return -1;
    bool ok = false;
    const double seconds = output.trimmed().toDouble(&ok);
    return ok ? seconds : -1;
}

// Empty when the file shows its frames at `times` (seconds after the first one) and plays `length`
// seconds, each within a millisecond; otherwise what ffprobe read instead.
inline std::string filmTimesDiffer(const QString& fileName, const std::vector<double>& times, double length)
{
    const std::vector<double> read = frameTimes(fileName);
    const double played = playingTime(fileName);
    bool same = read.size() == times.size() && std::abs(played - length) <= 0.001;
    for (size_t i = 0; same && i < read.size(); ++i)
        same = std::abs(read[i] - times[i]) <= 0.001;
    if (same)
        return {};
    std::string text = "frames shown at";
    for (double time : read)
        text += " " + std::to_string(time);
    return text + ", playing " + std::to_string(played) + " s";
}

// Means and extremes of the planes of one decoded frame.
struct PlaneStatistics {
    double meanY = 0, meanU = 0, meanV = 0;
    double meanTopY = 0, meanBottomY = 0; // luma of the upper and the lower half
    int maxY = 0;
    bool valid = false;
};

inline PlaneStatistics decodeFirstFrame(const QString& fileName, int width, int height)
{
    QByteArray raw;
    PlaneStatistics stats;
    if (!runTool(QStringLiteral("ffmpeg"),
                 {"-v", "error", "-i", fileName, "-frames:v", "1", "-f", "rawvideo", "-pix_fmt", "yuvj420p", "-"}, &raw)
             .isEmpty())
        return stats;
    const size_t luma = size_t(width) * height;
    if (size_t(raw.size()) != luma + luma / 2)
        return stats;
    const auto* bytes = reinterpret_cast<const uint8_t*>(raw.constData());
    double sum = 0;
    for (size_t i = 0; i < luma; ++i) {
        sum += bytes[i];
        stats.maxY = std::max<int>(stats.maxY, bytes[i]);
    }
    stats.meanY = sum / luma;
    double top = 0;
    for (size_t i = 0; i < luma / 2; ++i)
        top += bytes[i];
    stats.meanTopY = top / (luma / 2);
    stats.meanBottomY = (sum - top) / (luma - luma / 2);
    double sumU = 0, sumV = 0;
    for (size_t i = 0; i < luma / 4; ++i) {
        sumU += bytes[luma + i];
        sumV += bytes[luma + luma / 4 + i];
    }
    stats.meanU = sumU / (luma / 4);
    stats.meanV = sumV / (luma / 4);
    stats.valid = true;
    return stats;
}

} // namespace mediatest
