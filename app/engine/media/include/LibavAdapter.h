// Run-time binding of the libav libraries (FFmpeg 5.1) that MP4 recording uses: loading, the table of
// entry points and one call wrapper per entry point.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/frame.h>
#include <libavutil/log.h>
#include <libavutil/dict.h>
#include <libavutil/opt.h>
#include <libavutil/rational.h>
}

#include <lorvish/DLLJanitor.h>

#include <cstddef>
#include <memory>
#include <string>
#include <type_traits>

// File names of the libraries, program-wide so that a test or a packager can point them elsewhere.
namespace libavfiles {
extern std::string encodeLibrary; // "libavcodec.so.59"
extern std::string utilLibrary;   // "libavutil.so.57"
extern std::string formatLibrary; // "libavformat.so.59"
} // namespace libavfiles

// Entry points, each with the library that holds it. The program never links libav: every function
// is resolved with dlsym, so a program without libav still runs and only MP4 recording fails.
#define KALMUTH_LIBAV_ENTRY_POINTS(X)                                                                                  \
    X(encode, avcodec_find_encoder)                                                                                    \
    X(encode, avcodec_alloc_context3)                                                                                  \
    X(encode, avcodec_free_context)                                                                                    \
    X(encode, avcodec_open2)                                                                                           \
    X(encode, avcodec_send_frame)                                                                                      \
    X(encode, avcodec_receive_packet)                                                                                  \
    X(encode, avcodec_parameters_from_context)                                                                         \
    X(encode, av_packet_alloc)                                                                                         \
    X(encode, av_packet_free)                                                                                          \
    X(encode, av_packet_unref)                                                                                         \
    X(encode, av_packet_rescale_ts)                                                                                    \
    X(util, av_frame_alloc)                                                                                            \
    X(util, av_frame_free)                                                                                             \
    X(util, av_frame_get_buffer)                                                                                       \
    X(util, av_frame_make_writable)                                                                                    \
    X(util, av_strerror)                                                                                               \
    X(util, av_d2q)                                                                                                    \
    X(util, av_log_set_callback)                                                                                       \
    X(util, av_log_format_line2)                                                                                       \
    X(util, av_opt_set)                                                                                                \
    X(util, av_dict_set)                                                                                               \
    X(util, av_dict_free)                                                                                              \
    X(format, av_guess_format)                                                                                         \
    X(format, avformat_alloc_context)                                                                                  \
    X(format, avformat_free_context)                                                                                   \
    X(format, avformat_new_stream)                                                                                     \
    X(format, avformat_write_header)                                                                                   \
    X(format, av_interleaved_write_frame)                                                                              \
    X(format, av_write_frame)                                                                                          \
    X(format, av_write_trailer)                                                                                        \
    X(format, avio_open2)                                                                                              \
    X(format, avio_closep)

// Owned by one VideoEncoder and used only from the threads that the encoder serialises; not
// thread-safe by itself.
class LibavAdapter {
public:
    LibavAdapter();
    ~LibavAdapter();
    LibavAdapter(const LibavAdapter&) = delete;
    LibavAdapter& operator=(const LibavAdapter&) = delete;

    // Loads the libraries from `libRoot`; a library that is not in that folder is looked up on the
    // system's library path. A library that is there but cannot be loaded, or that lacks an entry
    // point, makes the load fail and leaves nothing loaded. Once loaded, libav's own log (its
    // encoders' included) goes to the recording's log at debug level instead of the terminal.
    bool load(const char* libRoot);
    // Clears the table and drops the holders; the libraries themselves stay in the process.
    void unload();
    // True when all libraries are held.
    bool isLoaded() const;
    // Why the last load failed, as the system's loader put it ("libavcodec.so.59: cannot open shared
    // object file: ..."), or which entry point was missing; empty after a successful load.
    const std::string& loadError() const { return m_loadError; }
    // Entry points currently resolved (0 while nothing is loaded).
    size_t resolvedEntryPoints() const;

    // Wrappers: with the entry point missing, a status call answers -1, a pointer call null, a
    // fraction 0/1, and the others do nothing. They never throw.
#define KALMUTH_LIBAV_WRAPPER(library, name)                                                                           \
    template <typename... Args>                                                                                        \
    auto name(Args... args) const                                                                                      \
    {                                                                                                                  \
        using Result = decltype(m_table.name(args...));                                                                \
        if (!m_table.name)                                                                                             \
            return missing<Result>();                                                                                  \
        return m_table.name(args...);                                                                                  \
    }
    KALMUTH_LIBAV_ENTRY_POINTS(KALMUTH_LIBAV_WRAPPER)
#undef KALMUTH_LIBAV_WRAPPER

private:
    struct Table {
#define KALMUTH_LIBAV_POINTER(library, name) decltype(&::name) name = nullptr;
        KALMUTH_LIBAV_ENTRY_POINTS(KALMUTH_LIBAV_POINTER)
#undef KALMUTH_LIBAV_POINTER
    };

    template <typename Result>
    static Result missing()
    {
        if constexpr (std::is_void_v<Result>)
            return;
        else if constexpr (std::is_pointer_v<Result>)
            return nullptr;
        else if constexpr (std::is_same_v<Result, AVRational>)
            return AVRational{0, 1};
        else
            return static_cast<Result>(-1);
    }

    Table m_table;
    std::string m_loadError;
    std::shared_ptr<Corvel::CDLLJanitor> m_encode;
    std::shared_ptr<Corvel::CDLLJanitor> m_util;
    std::shared_ptr<Corvel::CDLLJanitor> m_format;
    std::string m_encodePath;
    std::string m_utilPath;
    std::string m_formatPath;
};
