// Pixel conversion: unpacking, bit-depth reduction, bilinear Bayer demosaicing, YUV to RGB, line order.
#include <nimbo/ImageFormatConverter.h>

#include "Errors.h"
#include "RowBands.h"
#include "Samples.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#if defined(__GNUC__) && defined(__x86_64__)
#include <immintrin.h>
#endif

namespace Nimbo {
namespace {

enum OutKind { OutMono, OutRGB, OutBGR, OutBGRA };

template <OutKind K>
struct Out;
template <>
struct Out<OutMono> {
    static constexpr int bytes = 1;
    static void put(uint8_t* p, uint32_t r, uint32_t g, uint32_t b)
    {
        p[0] = uint8_t((77 * r + 150 * g + 29 * b + 128) >> 8);
    }
    static void grey(uint8_t* p, uint8_t v) { p[0] = v; }
};
template <>
struct Out<OutRGB> {
    static constexpr int bytes = 3;
    static void put(uint8_t* p, uint32_t r, uint32_t g, uint32_t b)
    {
        p[0] = uint8_t(r);
        p[1] = uint8_t(g);
        p[2] = uint8_t(b);
    }
    static void grey(uint8_t* p, uint8_t v) { p[0] = p[1] = p[2] = v; }
};
template <>
struct Out<OutBGR> {
    static constexpr int bytes = 3;
    static void put(uint8_t* p, uint32_t r, uint32_t g, uint32_t b)
    {
        p[0] = uint8_t(b);
        p[1] = uint8_t(g);
        p[2] = uint8_t(r);
    }
    static void grey(uint8_t* p, uint8_t v) { p[0] = p[1] = p[2] = v; }
};
template <>
struct Out<OutBGRA> {
    static constexpr int bytes = 4;
    static void put(uint8_t* p, uint32_t r, uint32_t g, uint32_t b)
    {
        // One 32-bit store per pixel (little-endian: blue in the lowest byte).
        const uint32_t pixel = (b & 0xFFu) | (g & 0xFFu) << 8 | (r & 0xFFu) << 16 | 0xFF000000u;
        std::memcpy(p, &pixel, 4);
    }
    static void grey(uint8_t* p, uint8_t v) { put(p, v, v, v); }
};

inline uint32_t avg2(uint32_t a, uint32_t b)
{
    return (a + b + 1) >> 1;
}

inline uint32_t avg4(uint32_t a, uint32_t b, uint32_t c, uint32_t d)
{
    return (a + b + c + d + 2) >> 2;
}

inline uint8_t clamp8(int v)
{
    return uint8_t(v < 0 ? 0 : v > 255 ? 255 : v);
}

// Reduces a sample of `depth` significant bits to 8 bits.
inline uint8_t to8(uint32_t v, unsigned int depth)
{
    if (depth > 8) {
        v >>= depth - 8;
        return uint8_t(v > 255 ? 255 : v);
    }
    if (depth < 8)
        return uint8_t(v * 255u / ((1u << depth) - 1u));
    return uint8_t(v);
}

// The picture as lines counted from the top, whatever their order in memory.
struct Lines {
    const uint8_t* base;
    size_t stride;
    uint32_t height;
    bool bottomUp;
    const uint8_t* operator()(uint32_t y) const { return base + size_t(bottomUp ? height - 1 - y : y) * stride; }
};

struct OutLines {
    uint8_t* base;
    size_t stride;
    uint32_t height;
    bool bottomUp;
    uint8_t* operator()(uint32_t y) const { return base + size_t(bottomUp ? height - 1 - y : y) * stride; }
};

// One line of bilinear demosaicing. `a`, `c`, `b` are the lines above, at and below (mirrored at the
// picture's border by the caller); red sits at column parity `rx` on red lines.
template <OutKind K, bool RedLine>
void demosaicLine(const uint8_t* a, const uint8_t* c, const uint8_t* b, uint32_t width, unsigned int rx, uint8_t* out)
{
    using O = Out<K>;
    // A colour site (red on red lines, blue on blue lines) and a green site.
    auto colour = [&](uint32_t x, uint32_t xl, uint32_t xr, uint8_t* p) {
        const uint32_t own = c[x];
        const uint32_t green = avg4(c[xl], c[xr], a[x], b[x]);
        const uint32_t other = avg4(a[xl], a[xr], b[xl], b[xr]);
        if (RedLine)
            O::put(p, own, green, other);
        else
            O::put(p, other, green, own);
    };
    auto green = [&](uint32_t x, uint32_t xl, uint32_t xr, uint8_t* p) {
        const uint32_t g = c[x];
        const uint32_t sameLine = avg2(c[xl], c[xr]);
        const uint32_t across = avg2(a[x], b[x]);
        if (RedLine)
            O::put(p, sameLine, g, across);
        else
            O::put(p, across, g, sameLine);
    };
    // Colour sites lie at column parity rx on red lines, at the other parity on blue lines.
    const unsigned int colourParity = RedLine ? rx : 1u - rx;
    auto at = [&](uint32_t x, uint32_t xl, uint32_t xr) {
        if ((x & 1u) == colourParity)
            colour(x, xl, xr, out + size_t(x) * O::bytes);
        else
            green(x, xl, xr, out + size_t(x) * O::bytes);
    };
    if (width == 1) {
        at(0, 0, 0);
        return;
    }
    at(0, 1, 1);
    uint32_t x = 1;
    // Pairs of a colour and a green site (in either order) without per-pixel parity tests.
    if ((x & 1u) == colourParity) {
        for (; x + 2 < width; x += 2) {
            colour(x, x - 1, x + 1, out + size_t(x) * O::bytes);
            green(x + 1, x, x + 2, out + size_t(x + 1) * O::bytes);
        }
    } else {
        for (; x + 2 < width; x += 2) {
            green(x, x - 1, x + 1, out + size_t(x) * O::bytes);
            colour(x + 1, x, x + 2, out + size_t(x + 1) * O::bytes);
        }
    }
    for (; x + 1 < width; ++x)
        at(x, x - 1, x + 1);
    at(width - 1, width - 2, width - 2);
}

template <OutKind K>
void demosaic(const Lines& in, uint32_t width, uint32_t height, EPixelColorFilter filter, const OutLines& out,
              uint32_t first, uint32_t end)
{
    // Position of red in the 2x2 cell.
    const unsigned int rx = (filter == PCF_BayerGR || filter == PCF_BayerBG) ? 1u : 0u;
    const unsigned int ry = (filter == PCF_BayerGB || filter == PCF_BayerBG) ? 1u : 0u;
    for (uint32_t y = first; y < end; ++y) {
        // Mirroring keeps the colour phase: the line above the first is the second.
        const uint32_t above = y > 0 ? y - 1 : (height > 1 ? 1 : 0);
        const uint32_t below = y + 1 < height ? y + 1 : (height > 1 ? height - 2 : 0);
        if ((y & 1u) == ry)
            demosaicLine<K, true>(in(above), in(y), in(below), width, rx, out(y));
        else
            demosaicLine<K, false>(in(above), in(y), in(below), width, rx, out(y));
    }
}

template <OutKind K>
void greyToOut(const Lines& in, uint32_t width, const OutLines& out, uint32_t first, uint32_t end)
{
    for (uint32_t y = first; y < end; ++y) {
        const uint8_t* s = in(y);
        uint8_t* d = out(y);
        if (K == OutMono) {
            std::memcpy(d, s, width);
            continue;
        }
        for (uint32_t x = 0; x < width; ++x)
            Out<K>::grey(d + size_t(x) * Out<K>::bytes, s[x]);
    }
}

// Colour-component types (packed RGB/BGR with or without alpha, 8 to 16 bit, planar).
template <OutKind K>
void colourToOut(const Lines& in, EPixelType type, uint32_t width, const OutLines& out, uint32_t first, uint32_t end)
{
    const unsigned int depth = BitDepth(type);
    const bool words = depth > 8;
    const bool planar = IsPlanar(type);
    const bool bgr = IsBGR(type) || IsBGRA(type);
    const bool alpha = IsRGBA(type) || IsBGRA(type);
    const size_t perPixel = planar ? 1 : alpha ? 4 : 3;
    const size_t plane = in.stride * in.height;
    auto read = [&](const uint8_t* line, size_t index) -> uint32_t {
        return to8(words ? samples::readWord(line + 2 * index) : line[index], depth);
    };
    for (uint32_t y = first; y < end; ++y) {
        const uint8_t* s = in(y);
        uint8_t* d = out(y);
        for (uint32_t x = 0; x < width; ++x) {
            uint32_t c0, c1, c2;
            if (planar) {
                c0 = read(s, x);
                c1 = read(s + plane, x);
                c2 = read(s + 2 * plane, x);
            } else {
                const size_t i = size_t(x) * perPixel;
                c0 = read(s, i);
                c1 = read(s, i + 1);
                c2 = read(s, i + 2);
            }
            if (bgr)
                Out<K>::put(d + size_t(x) * Out<K>::bytes, c2, c1, c0);
            else
                Out<K>::put(d + size_t(x) * Out<K>::bytes, c0, c1, c2);
        }
    }
}

// Full-range BT.601 (the JPEG convention), in 8.8 fixed point.
template <OutKind K>
inline void yuvPut(uint8_t* p, int y, int u, int v)
{
    if (K == OutMono) {
        p[0] = uint8_t(y);
        return;
    }
    const int d = u - 128, e = v - 128;
    Out<K>::put(p, clamp8(y + ((359 * e + 128) >> 8)), clamp8(y - ((88 * d + 183 * e + 128) >> 8)),
                clamp8(y + ((454 * d + 128) >> 8)));
}

// Where luma and chroma sit in one group of a YUV layout.
struct YuvLayout {
    unsigned int pixels; // per group
    unsigned int bytes;  // per group
    int u, v;            // byte offsets of the chroma
    int luma[4];         // byte offsets of each pixel's luma
};

constexpr YuvLayout kUyvy{2, 4, 0, 2, {1, 3, 0, 0}};
constexpr YuvLayout kYuyv{2, 4, 1, 3, {0, 2, 0, 0}};
constexpr YuvLayout kUyyvyy{4, 6, 0, 3, {1, 2, 4, 5}};
constexpr YuvLayout kUyv{1, 3, 0, 2, {1, 0, 0, 0}};

template <OutKind K, const YuvLayout& L>
void yuvLines(const Lines& in, uint32_t width, const OutLines& out, uint32_t first, uint32_t end)
{
    for (uint32_t y = first; y < end; ++y) {
        const uint8_t* s = in(y);
        uint8_t* d = out(y);
        uint32_t x = 0;
        // Whole groups share one chroma pair; a last partial group reads only the pixels the image has.
        for (; x < width; x += L.pixels, s += L.bytes) {
            const int u = s[L.u], v = s[L.v];
            const uint32_t count = std::min<uint32_t>(L.pixels, width - x);
            for (uint32_t i = 0; i < count; ++i)
                yuvPut<K>(d + size_t(x + i) * Out<K>::bytes, s[L.luma[i]], u, v);
        }
    }
}

// The 4:2:2 kernels below carry the camera's colour formats (display and recording), so they are written
// for the vectoriser: each group of two pixels is one 32-bit load, the arithmetic is branch-free, and each
// pixel leaves as one 32-bit word. g++ builds them twice, for AVX2 and for the baseline, and the loader
// picks the one the processor runs. Not under ThreadSanitizer: the loader runs the picking function while
// it relocates the library, before the sanitizer's runtime is ready, and its instrumented form crashes
// every program that loads the library.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && defined(__linux__) && !defined(__SANITIZE_THREAD__)
#define NIMBO_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#define NIMBO_ALWAYS_INLINE inline __attribute__((always_inline))
#else
#define NIMBO_VECTOR_CLONES
#define NIMBO_ALWAYS_INLINE inline
#endif

NIMBO_ALWAYS_INLINE uint32_t clampWord(int v)
{
    return uint32_t(v < 0 ? 0 : v > 255 ? 255 : v);
}

// Groups of two pixels (byte offsets Y0, U, Y1, V in each 4-byte group) to one word per pixel: blue,
// green, red, 0xFF from the lowest byte up when Bgr, else red, green, blue, 0xFF. The arithmetic is
// yuvPut's, so both paths give the same pixels.
template <int Y0, int U, int Y1, int V, bool Bgr>
NIMBO_ALWAYS_INLINE void yuv422Words(const uint8_t* __restrict s, uint32_t pairs, uint8_t* __restrict d)
{
    for (uint32_t i = 0; i < pairs; ++i) {
        uint32_t group;
        std::memcpy(&group, s + 4 * size_t(i), 4);
        const int y0 = int(group >> (8 * Y0) & 0xFFu), y1 = int(group >> (8 * Y1) & 0xFFu);
        const int du = int(group >> (8 * U) & 0xFFu) - 128, dv = int(group >> (8 * V) & 0xFFu) - 128;
        const int r = (359 * dv + 128) >> 8, g = (88 * du + 183 * dv + 128) >> 8, b = (454 * du + 128) >> 8;
        const int low = Bgr ? b : r, high = Bgr ? r : b;
        const uint32_t p0 = clampWord(y0 + low) | clampWord(y0 - g) << 8 | clampWord(y0 + high) << 16 | 0xFF000000u;
        const uint32_t p1 = clampWord(y1 + low) | clampWord(y1 - g) << 8 | clampWord(y1 + high) << 16 | 0xFF000000u;
        // Two 4-byte stores, not one of 8: the vectoriser interleaves those and leaves the 8-byte form scalar.
        std::memcpy(d + 8 * size_t(i), &p0, 4);
        std::memcpy(d + 8 * size_t(i) + 4, &p1, 4);
    }
}

template <int Y0, int Y1>
NIMBO_ALWAYS_INLINE void yuv422Luma(const uint8_t* __restrict s, uint32_t pairs, uint8_t* __restrict d)
{
    for (uint32_t i = 0; i < pairs; ++i) {
        uint32_t group;
        std::memcpy(&group, s + 4 * size_t(i), 4);
        const uint16_t luma = uint16_t((group >> (8 * Y0) & 0xFFu) | (group >> (8 * Y1) & 0xFFu) << 8);
        std::memcpy(d + 2 * size_t(i), &luma, 2);
    }
}

NIMBO_VECTOR_CLONES void yuyvToBgrWords(const uint8_t* s, uint32_t pairs, uint8_t* d)
{
    yuv422Words<0, 1, 2, 3, true>(s, pairs, d);
}
NIMBO_VECTOR_CLONES void yuyvToRgbWords(const uint8_t* s, uint32_t pairs, uint8_t* d)
{
    yuv422Words<0, 1, 2, 3, false>(s, pairs, d);
}
NIMBO_VECTOR_CLONES void yuyvToLuma(const uint8_t* s, uint32_t pairs, uint8_t* d)
{
    yuv422Luma<0, 2>(s, pairs, d);
}
NIMBO_VECTOR_CLONES void uyvyToBgrWords(const uint8_t* s, uint32_t pairs, uint8_t* d)
{
    yuv422Words<1, 0, 3, 2, true>(s, pairs, d);
}
NIMBO_VECTOR_CLONES void uyvyToRgbWords(const uint8_t* s, uint32_t pairs, uint8_t* d)
{
    yuv422Words<1, 0, 3, 2, false>(s, pairs, d);
}
NIMBO_VECTOR_CLONES void uyvyToLuma(const uint8_t* s, uint32_t pairs, uint8_t* d)
{
    yuv422Luma<1, 3>(s, pairs, d);
}

// The low three bytes of each word, packed: eight pixels as three 64-bit stores.
void packWords3Plain(const uint32_t* words, uint32_t count, uint8_t* d)
{
    uint32_t i = 0;
    for (; i + 8 <= count; i += 8, words += 8, d += 24) {
        uint64_t p[8];
        for (int k = 0; k < 8; ++k)
            p[k] = words[k] & 0xFFFFFFu;
        const uint64_t packed[3] = {p[0] | p[1] << 24 | p[2] << 48, p[2] >> 16 | p[3] << 8 | p[4] << 32 | p[5] << 56,
                                    p[5] >> 8 | p[6] << 16 | p[7] << 40};
        std::memcpy(d, packed, 24);
    }
    for (; i < count; ++i, ++words, d += 3) {
        d[0] = uint8_t(*words);
        d[1] = uint8_t(*words >> 8);
        d[2] = uint8_t(*words >> 16);
    }
}

#if defined(__GNUC__) && defined(__x86_64__)
#define NIMBO_SHUFFLE_PACK 1
// The same with byte shuffles: eight words in two loads, out as one 16-byte and one 8-byte store, so
// nothing is written past the 24 bytes of the eight pixels (the line's padding or the next band's
// first pixels may follow).
__attribute__((target("ssse3"))) void packWords3Shuffled(const uint32_t* words, uint32_t count, uint8_t* d)
{
    const __m128i firstFour = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    const __m128i headOfNext = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 0, 1, 2, 4);
    const __m128i restOfNext = _mm_setr_epi8(5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1, -1, -1, -1, -1);
    uint32_t i = 0;
    for (; i + 8 <= count; i += 8, words += 8, d += 24) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(words));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(words + 4));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d),
                         _mm_or_si128(_mm_shuffle_epi8(a, firstFour), _mm_shuffle_epi8(b, headOfNext)));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(d + 16), _mm_shuffle_epi8(b, restOfNext));
    }
    packWords3Plain(words, count - i, d);
}
#endif

void packWords3(const uint32_t* words, uint32_t count, uint8_t* d)
{
#ifdef NIMBO_SHUFFLE_PACK
    static const bool shuffles = __builtin_cpu_supports("ssse3");
    if (shuffles) {
        packWords3Shuffled(words, count, d);
        return;
    }
#endif
    packWords3Plain(words, count, d);
}

struct Yuv422Kernels {
    int y0, u, v;
    void (*bgrWords)(const uint8_t*, uint32_t, uint8_t*);
    void (*rgbWords)(const uint8_t*, uint32_t, uint8_t*);
    void (*luma)(const uint8_t*, uint32_t, uint8_t*);
};

const Yuv422Kernels kYuyvKernels{0, 1, 3, yuyvToBgrWords, yuyvToRgbWords, yuyvToLuma};
const Yuv422Kernels kUyvyKernels{1, 0, 2, uyvyToBgrWords, uyvyToRgbWords, uyvyToLuma};

template <OutKind K>
void yuv422Lines(const Lines& in, uint32_t width, const OutLines& out, uint32_t first, uint32_t end,
                 const Yuv422Kernels& kernels)
{
    const uint32_t pairs = width / 2;
    // 3-byte pixels go through words on the stack, a slice at a time, so the kernel keeps its word stores.
    constexpr uint32_t kSlicePairs = 256;
    uint32_t words[2 * kSlicePairs];
    for (uint32_t y = first; y < end; ++y) {
        const uint8_t* s = in(y);
        uint8_t* d = out(y);
        if (K == OutMono) {
            kernels.luma(s, pairs, d);
        } else if (K == OutBGRA) {
            kernels.bgrWords(s, pairs, d);
        } else {
            for (uint32_t p = 0; p < pairs; p += kSlicePairs) {
                const uint32_t n = std::min(kSlicePairs, pairs - p);
                (K == OutBGR ? kernels.bgrWords : kernels.rgbWords)(s + 4 * size_t(p), n,
                                                                   reinterpret_cast<uint8_t*>(words));
                packWords3(words, 2 * n, d + 6 * size_t(p));
            }
        }
        // An odd width ends in half a group, whose chroma the image's last pixel uses alone.
        if (width & 1u) {
            const uint8_t* group = s + 4 * size_t(pairs);
            yuvPut<K>(d + size_t(width - 1) * Out<K>::bytes, group[kernels.y0], group[kernels.u], group[kernels.v]);
        }
    }
}

template <OutKind K>
void yuvToOut(const Lines& in, EPixelType type, uint32_t width, const OutLines& out, uint32_t first, uint32_t end)
{
    switch (type) {
    case PixelType_YUV422packed: yuv422Lines<K>(in, width, out, first, end, kUyvyKernels); break;
    case PixelType_YUV411packed: yuvLines<K, kUyyvyy>(in, width, out, first, end); break;
    case PixelType_YUV444packed: yuvLines<K, kUyv>(in, width, out, first, end); break;
    default: yuv422Lines<K>(in, width, out, first, end, kYuyvKernels); break;
    }
}

// Blacks out the outermost lines and columns (edge handling SetZero after demosaicing).
template <OutKind K>
void zeroBorder(uint32_t width, uint32_t height, const OutLines& out)
{
    auto black = [](uint8_t* p) { Out<K>::grey(p, 0); };
    for (uint32_t y = 0; y < height; ++y) {
        uint8_t* d = out(y);
        if (y == 0 || y + 1 == height) {
            for (uint32_t x = 0; x < width; ++x)
                black(d + size_t(x) * Out<K>::bytes);
        } else if (width > 0) {
            black(d);
            black(d + size_t(width - 1) * Out<K>::bytes);
        }
    }
}

template <OutKind K>
void convertTo(const Lines& in, EPixelType type, uint32_t width, uint32_t height, EInconvertibleEdgeHandling edges,
               const OutLines& out, unsigned bands)
{
    using Band = std::function<void(uint32_t, uint32_t)>;
    auto split = [&](const Band& work) { rowbands::run(height, bands, work); };
    const samples::Layout layout = samples::layoutOf(type);
    if (layout != samples::Layout::None) {
        Lines grey = in;
        std::vector<uint8_t> plane;
        // Anything but plain bytes is first reduced to an 8-bit plane; the signed type is shifted to unsigned.
        // The whole plane is done before demosaicing starts, as a band reads the lines around it.
        if (layout != samples::Layout::Bytes8 || type == PixelType_Mono8signed) {
            plane.resize(size_t(width) * height);
            const unsigned int bits = BitPerPixel(type), depth = BitDepth(type);
            split([&](uint32_t first, uint32_t end) {
                for (uint32_t y = first; y < end; ++y) {
                    const uint8_t* s = in(y);
                    uint8_t* d = plane.data() + size_t(y) * width;
                    if (type == PixelType_Mono8signed) {
                        for (uint32_t x = 0; x < width; ++x)
                            d[x] = uint8_t(s[x] ^ 0x80u);
                    } else if (layout == samples::Layout::Words16) {
                        const unsigned int shift = depth - 8;
                        for (uint32_t x = 0; x < width; ++x) {
                            const uint32_t v = samples::readWord(s + 2 * size_t(x)) >> shift;
                            d[x] = uint8_t(v > 255 ? 255 : v);
                        }
                    } else {
                        for (uint32_t x = 0; x < width; ++x)
                            d[x] = to8(samples::readSample(layout, bits, s, x), depth);
                    }
                }
            });
            grey = Lines{plane.data(), width, height, false};
        }
        const EPixelColorFilter filter = GetPixelColorFilter(type);
        if (filter == PCF_Undefined) {
            split([&](uint32_t first, uint32_t end) { greyToOut<K>(grey, width, out, first, end); });
        } else {
            split([&](uint32_t first, uint32_t end) { demosaic<K>(grey, width, height, filter, out, first, end); });
            if (edges == InconvertibleEdgeHandling_SetZero)
                zeroBorder<K>(width, height, out);
        }
        return;
    }
    if (IsYUV(type))
        split([&](uint32_t first, uint32_t end) { yuvToOut<K>(in, type, width, out, first, end); });
    else
        split([&](uint32_t first, uint32_t end) { colourToOut<K>(in, type, width, out, first, end); });
}

OutKind kindOf(EPixelType type)
{
    switch (type) {
    case PixelType_Mono8: return OutMono;
    case PixelType_RGB8packed: return OutRGB;
    case PixelType_BGR8packed: return OutBGR;
    default: return OutBGRA;
    }
}

std::string typeText(EPixelType type)
{
    return std::to_string(static_cast<int32_t>(type));
}

} // namespace

bool CImageFormatConverter::IsSupportedInputFormat(EPixelType pixelType)
{
    if (!IsValidPixelType(pixelType))
        return false;
    switch (pixelType) {
    case PixelType_BGR10V1packed:
    case PixelType_BGR10V2packed:
    case PixelType_RGB12V1packed: return false;
    default: return true;
    }
}

bool CImageFormatConverter::IsSupportedOutputFormat(EPixelType pixelType)
{
    return pixelType == PixelType_Mono8 || pixelType == PixelType_RGB8packed || pixelType == PixelType_BGR8packed ||
           pixelType == PixelType_BGRA8packed;
}

void CImageFormatConverter::SetOutputPixelFormat(EPixelType pixelType)
{
    if (!IsSupportedOutputFormat(pixelType))
        throwInvalidArgument("The output pixel type " + typeText(pixelType) + " is not supported.");
    if (m_outputPixelFormat == pixelType)
        return;
    m_outputPixelFormat = pixelType;
    parameterChanged();
}

void CImageFormatConverter::SetOutputPaddingX(size_t paddingX)
{
    if (m_outputPaddingX == paddingX)
        return;
    m_outputPaddingX = paddingX;
    parameterChanged();
}

void CImageFormatConverter::SetOutputOrientation(EOutputOrientation orientation)
{
    if (orientation != OutputOrientation_Unchanged && orientation != OutputOrientation_TopDown &&
        orientation != OutputOrientation_BottomUp)
        throwInvalidArgument("Unknown output orientation " + std::to_string(int(orientation)) + ".");
    if (m_outputOrientation == orientation)
        return;
    m_outputOrientation = orientation;
    parameterChanged();
}

void CImageFormatConverter::SetInconvertibleEdgeHandling(EInconvertibleEdgeHandling handling)
{
    if (handling != InconvertibleEdgeHandling_SetZero && handling != InconvertibleEdgeHandling_Extend)
        throwInvalidArgument("Unknown edge handling " + std::to_string(int(handling)) + ".");
    if (m_edgeHandling == handling)
        return;
    m_edgeHandling = handling;
    parameterChanged();
}

void CImageFormatConverter::SetThreadCount(unsigned count)
{
    m_threadCount = count;
}

unsigned CImageFormatConverter::bandsFor(uint32_t width, uint32_t height) const
{
    if (m_threadCount != 0)
        return m_threadCount;
    // Below a few hundred thousand pixels handing lines to other threads costs more than it saves.
    constexpr uint64_t kPixelsPerBand = 1u << 18;
    const uint64_t pixels = uint64_t(width) * height;
    return unsigned(std::min<uint64_t>(rowbands::maxThreads(), std::max<uint64_t>(1, pixels / kPixelsPerBand)));
}

size_t CImageFormatConverter::GetBufferSizeForConversion(uint32_t width, uint32_t height) const
{
    return ComputeBufferSize(m_outputPixelFormat, width, height, m_outputPaddingX);
}

bool CImageFormatConverter::ImageHasDestinationFormat(EPixelType pixelType, size_t paddingX,
                                                      EImageOrientation orientation) const
{
    if (pixelType != m_outputPixelFormat || paddingX != m_outputPaddingX)
        return false;
    return m_outputOrientation == OutputOrientation_Unchanged ||
           (m_outputOrientation == OutputOrientation_TopDown) == (orientation == ImageOrientation_TopDown);
}

void CImageFormatConverter::Convert(void* output, size_t outputSize, const void* input, size_t inputSize,
                                    EPixelType inputPixelType, uint32_t width, uint32_t height, size_t inputPaddingX,
                                    EImageOrientation inputOrientation) const
{
    if (!input || !output)
        throwInvalidArgument("The image buffers must not be null.");
    if (!IsSupportedInputFormat(inputPixelType))
        throwInvalidArgument("Cannot convert the input pixel type " + typeText(inputPixelType) + ".");
    const size_t inputNeeded = ComputeBufferSize(inputPixelType, width, height, inputPaddingX);
    if (inputSize < inputNeeded)
        throwInvalidArgument("The input buffer of " + std::to_string(inputSize) + " bytes is smaller than the " +
                             std::to_string(inputNeeded) + " bytes of its image.");
    const size_t outputNeeded = GetBufferSizeForConversion(width, height);
    if (outputSize < outputNeeded)
        throwInvalidArgument("The output buffer of " + std::to_string(outputSize) + " bytes is smaller than the " +
                             std::to_string(outputNeeded) + " bytes of the result.");
    if (width == 0 || height == 0)
        return;

    const bool inBottomUp = inputOrientation == ImageOrientation_BottomUp;
    const bool outBottomUp = m_outputOrientation == OutputOrientation_Unchanged
                                 ? inBottomUp
                                 : m_outputOrientation == OutputOrientation_BottomUp;
    const Lines in{static_cast<const uint8_t*>(input), ComputeStride(inputPixelType, width, inputPaddingX), height,
                   inBottomUp};
    const OutLines out{static_cast<uint8_t*>(output), ComputeStride(m_outputPixelFormat, width, m_outputPaddingX),
                       height, outBottomUp};

    if (inputPixelType == m_outputPixelFormat) {
        const size_t lineBytes = ComputeStride(inputPixelType, width, 0);
        for (uint32_t y = 0; y < height; ++y)
            std::memcpy(out(y), in(y), lineBytes);
        return;
    }
    const unsigned bands = bandsFor(width, height);
    switch (kindOf(m_outputPixelFormat)) {
    case OutMono: convertTo<OutMono>(in, inputPixelType, width, height, m_edgeHandling, out, bands); break;
    case OutRGB: convertTo<OutRGB>(in, inputPixelType, width, height, m_edgeHandling, out, bands); break;
    case OutBGR: convertTo<OutBGR>(in, inputPixelType, width, height, m_edgeHandling, out, bands); break;
    case OutBGRA: convertTo<OutBGRA>(in, inputPixelType, width, height, m_edgeHandling, out, bands); break;
    }
}

void CImageFormatConverter::Convert(CNimboImage& output, const void* input, size_t inputSize, EPixelType inputPixelType,
                                    uint32_t width, uint32_t height, size_t inputPaddingX,
                                    EImageOrientation inputOrientation) const
{
    const bool inBottomUp = inputOrientation == ImageOrientation_BottomUp;
    const bool outBottomUp = m_outputOrientation == OutputOrientation_Unchanged
                                 ? inBottomUp
                                 : m_outputOrientation == OutputOrientation_BottomUp;
    if (!IsSupportedInputFormat(inputPixelType))
        throwInvalidArgument("Cannot convert the input pixel type " + typeText(inputPixelType) + ".");
    // Converting into the image's own memory would overwrite the input while it is read.
    if (output.IsValid() && input == output.GetBuffer()) {
        CNimboImage copy(output);
        Convert(output, copy);
        return;
    }
    output.Reset(m_outputPixelFormat, width, height, m_outputPaddingX,
                 outBottomUp ? ImageOrientation_BottomUp : ImageOrientation_TopDown);
    Convert(output.GetBuffer(), output.GetImageSize(), input, inputSize, inputPixelType, width, height, inputPaddingX,
            inputOrientation);
}

void CImageFormatConverter::Convert(CNimboImage& output, const CNimboImage& input) const
{
    if (!input.IsValid())
        throwInvalidArgument("The input image is not valid.");
    if (&output == &input) {
        const CNimboImage copy(input);
        Convert(output, copy);
        return;
    }
    Convert(output, input.GetBuffer(), input.GetImageSize(), input.GetPixelType(), input.GetWidth(), input.GetHeight(),
            input.GetPaddingX(), input.GetOrientation());
}

} // namespace Nimbo
