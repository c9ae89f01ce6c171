// Conversion of camera images (mono, Bayer, RGB, BGR, YUV in) to Mono8, RGB8, BGR8 or BGRA8 out.
#pragma once

#include <nimbo/NimboImage.h>
#include <nimbo/PixelType.h>

#include <cstddef>
#include <cstdint>
#include <memory>

namespace GenApi {
class INodeMap;
}

namespace Nimbo {

// Line order of the output; Unchanged keeps the input's.
enum EOutputOrientation {
    OutputOrientation_Unchanged = 0,
    OutputOrientation_TopDown = 1,
    OutputOrientation_BottomUp = 2
};

// What Bayer demosaicing does with the outermost pixels, which lack neighbours on one side:
// SetZero blacks them out, Extend mirrors the image at its border and interpolates as inside.
enum EInconvertibleEdgeHandling { InconvertibleEdgeHandling_SetZero = 0, InconvertibleEdgeHandling_Extend = 2 };

// Holds its parameters and a parameter node map, built on first use, whose nodes read and write them.
// Not synchronised: one thread at a time, the node map included (the display pipeline's own thread,
// or the recording's writer thread).
class CImageFormatConverter {
public:
    CImageFormatConverter();
    ~CImageFormatConverter();
    CImageFormatConverter(const CImageFormatConverter&) = delete;
    CImageFormatConverter& operator=(const CImageFormatConverter&) = delete;

    // Every mono, Bayer, RGB/BGR (packed, 10/12/16 bit, with alpha, planar) and YUV type except the
    // V1/V2 packed colour forms.
    static bool IsSupportedInputFormat(EPixelType pixelType);
    // Mono8, RGB8packed, BGR8packed, BGRA8packed.
    static bool IsSupportedOutputFormat(EPixelType pixelType);

    // Parameters. Setting an unsupported output type or edge handling throws
    // GenICam::InvalidArgumentException and keeps the old value.
    void SetOutputPixelFormat(EPixelType pixelType);
    EPixelType GetOutputPixelFormat() const { return m_outputPixelFormat; }
    void SetOutputPaddingX(size_t paddingX);
    size_t GetOutputPaddingX() const { return m_outputPaddingX; }
    void SetOutputOrientation(EOutputOrientation orientation);
    EOutputOrientation GetOutputOrientation() const { return m_outputOrientation; }
    void SetInconvertibleEdgeHandling(EInconvertibleEdgeHandling handling);
    EInconvertibleEdgeHandling GetInconvertibleEdgeHandling() const { return m_edgeHandling; }

    // Threads one conversion may use: the calling thread plus workers of a small pool shared by every
    // converter in the process, which take bands of lines. 0 (the default) chooses by the image: one
    // thread for small images, up to the machine's cores (at most 4) for camera frames; 1 keeps the
    // conversion on the calling thread. The result is the same whatever the count.
    void SetThreadCount(unsigned count);
    unsigned GetThreadCount() const { return m_threadCount; }

    // The parameters as GenICam nodes: the enumerations "OutputPixelFormat" (entries Mono8, RGB8, BGR8,
    // BGRa8 with the pixel-type codes as values), "OutputOrientation" (Unchanged, TopDown, BottomUp) and
    // "InconvertibleEdgeHandling" (SetZero, Extend), and the integer "OutputPaddingX". Owned by the converter.
    GenApi::INodeMap* GetNodeMap();

    // Bytes the output of a width x height image takes with the current parameters.
    size_t GetBufferSizeForConversion(uint32_t width, uint32_t height) const;
    // True when the input already has the output's type, padding and line order (a copy would do).
    bool ImageHasDestinationFormat(EPixelType pixelType, size_t paddingX, EImageOrientation orientation) const;

    // Converts into `output`, which must hold GetBufferSizeForConversion bytes. Throws
    // GenICam::InvalidArgumentException for null buffers, an unsupported input type or a buffer too
    // small for its image (input) or the result (output).
    void Convert(void* output, size_t outputSize, const void* input, size_t inputSize, EPixelType inputPixelType,
                 uint32_t width, uint32_t height, size_t inputPaddingX, EImageOrientation inputOrientation) const;
    // Converts into an owned image of the output type (reusing its allocation when it fits).
    void Convert(CNimboImage& output, const CNimboImage& input) const;
    void Convert(CNimboImage& output, const void* input, size_t inputSize, EPixelType inputPixelType, uint32_t width,
                 uint32_t height, size_t inputPaddingX, EImageOrientation inputOrientation) const;

private:
    class ParameterNodeMap;
    void parameterChanged();
    unsigned bandsFor(uint32_t width, uint32_t height) const;

    EPixelType m_outputPixelFormat = PixelType_BGRA8packed;
    size_t m_outputPaddingX = 0;
    EOutputOrientation m_outputOrientation = OutputOrientation_Unchanged;
    EInconvertibleEdgeHandling m_edgeHandling = InconvertibleEdgeHandling_Extend;
    unsigned m_threadCount = 0;
    std::unique_ptr<ParameterNodeMap> m_nodeMap;
};

} // namespace Nimbo
