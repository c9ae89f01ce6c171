// Loading of the libav libraries and resolution of their entry points.
#include "LibavAdapter.h"

#include "EngineLog.h"

#include <sys/stat.h>

#include <lorvish/Environment.h>

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstring>
#include <map>
#include <mutex>

namespace libavfiles {
std::string encodeLibrary = "libavcodec.so.59";
std::string utilLibrary = "libavutil.so.57";
std::string formatLibrary = "libavformat.so.59";
} // namespace libavfiles

namespace {

const char* const logCategory = "nimbo.utility.LibavAdapter";

// The library in the folder when it is there, else its bare name for the system's library path.
// The folder may hold $(NAME) references, which the library holder expands when it loads.
std::string libraryPath(const char* libRoot, const std::string& fileName)
{
    std::string path = libRoot ? libRoot : "";
    if (path.empty())
        return fileName;
    if (path.back() != '/' && path.back() != '\\')
        path += '/';
    path += fileName;
    std::string expanded = path;
    if (Corvel::expandEnvironmentVariables(expanded) < 0)
        return path;
    std::replace(expanded.begin(), expanded.end(), '\\', '/');
    struct stat info {};
    return ::stat(expanded.c_str(), &info) == 0 ? path : fileName;
}

// Libraries once loaded stay in the process: libav and the encoders it loads keep threads and
// process-wide state that do not survive being unloaded and loaded again. One holder per path.
void keepLoaded(std::shared_ptr<Corvel::CDLLJanitor> holder, const std::string& path)
{
    if (!holder || !holder->isLoaded())
        return;
    // Never destroyed: the libraries outlive every static object that might still use them.
    static std::mutex* mutex = new std::mutex;
    static auto* kept = new std::map<std::string, std::shared_ptr<Corvel::CDLLJanitor>>;
    std::lock_guard<std::mutex> lock(*mutex);
    kept->emplace(path, std::move(holder));
}

// libav's formatter of its log lines, set once the libraries are loaded; they stay in the process.
std::atomic<decltype(&::av_log_format_line2)> formatLogLine{nullptr};

// libav's log, from whichever thread libav or an encoder writes it: the lines that libav would print
// go to the recording's log at debug level. A line may come in pieces; each thread gathers its own.
void libavLog(void* object, int level, const char* format, va_list args)
{
    const auto formatLine = formatLogLine.load();
    if (level > AV_LOG_INFO || !formatLine)
        return;
    thread_local int printPrefix = 1;
    thread_local std::string pending;
    char piece[4096];
    const int length = formatLine(object, level, format, args, piece, sizeof piece, &printPrefix);
    if (length < 0)
        return;
    pending += piece;
    // A piece too long for the buffer is cut; the line it ended still ends here.
    if (length >= int(sizeof piece) && format && *format && format[std::strlen(format) - 1] == '\n')
        pending += '\n';
    size_t end;
    while ((end = pending.find('\n')) != std::string::npos) {
        if (end > 0)
            enginelog::write(enginelog::Recording, enginelog::Debug, "%s", pending.substr(0, end).c_str());
        pending.erase(0, end + 1);
    }
}

} // namespace

LibavAdapter::LibavAdapter() = default;

LibavAdapter::~LibavAdapter()
{
    if (isLoaded())
        unload();
}

bool LibavAdapter::isLoaded() const
{
    return m_encode && m_util && m_format;
}

size_t LibavAdapter::resolvedEntryPoints() const
{
    size_t count = 0;
#define KALMUTH_LIBAV_COUNT(library, name) count += m_table.name ? 1 : 0;
    KALMUTH_LIBAV_ENTRY_POINTS(KALMUTH_LIBAV_COUNT)
#undef KALMUTH_LIBAV_COUNT
    return count;
}

bool LibavAdapter::load(const char* libRoot)
{
    if (isLoaded())
        unload();
    m_loadError.clear();

    const std::string encodePath = libraryPath(libRoot, libavfiles::encodeLibrary);
    const std::string utilPath = libraryPath(libRoot, libavfiles::utilLibrary);
    const std::string formatPath = libraryPath(libRoot, libavfiles::formatLibrary);
    enginelog::write(logCategory, enginelog::Progress, "Loading libav util %s", utilPath.c_str());
    enginelog::write(logCategory, enginelog::Progress, "Loading libav encode %s", encodePath.c_str());
    enginelog::write(logCategory, enginelog::Progress, "Loading libav format %s", formatPath.c_str());

    auto util = std::make_shared<Corvel::CDLLJanitor>();
    auto encode = std::make_shared<Corvel::CDLLJanitor>();
    auto format = std::make_shared<Corvel::CDLLJanitor>();

    // avutil first: the later libraries need it, and the dynamic loader reuses a library already
    // loaded under the same name, so each one finds its siblings from the same folder.
    const std::pair<Corvel::CDLLJanitor*, const std::string*> order[] = {
        {util.get(), &utilPath}, {encode.get(), &encodePath}, {format.get(), &formatPath}};
    for (const auto& [janitor, path] : order) {
        if (!janitor->load(path->c_str())) {
            enginelog::write(logCategory, enginelog::Failure, "Error loading %s: %s", path->c_str(),
                             janitor->lastError().c_str());
            m_loadError = janitor->lastError().empty() ? "Error loading " + *path : janitor->lastError();
            keepLoaded(util, utilPath);
            keepLoaded(encode, encodePath);
            keepLoaded(format, formatPath);
            return false;
        }
    }

    bool complete = true;
#define KALMUTH_LIBAV_RESOLVE(library, name)                                                                           \
    m_table.name = library->resolveFunction<decltype(&::name)>(#name);                                                 \
    if (!m_table.name) {                                                                                               \
        enginelog::write(logCategory, enginelog::Failure, "Entry point %s is missing", #name);                         \
        if (complete)                                                                                                  \
            m_loadError = "Entry point " #name " is missing in " + library##Path;                                      \
        complete = false;                                                                                              \
    }
    KALMUTH_LIBAV_ENTRY_POINTS(KALMUTH_LIBAV_RESOLVE)
#undef KALMUTH_LIBAV_RESOLVE

    if (!complete) {
        enginelog::write(logCategory, enginelog::Failure, "Error loading one or more functions");
        m_table = Table{};
        keepLoaded(util, utilPath);
        keepLoaded(encode, encodePath);
        keepLoaded(format, formatPath);
        return false;
    }
    formatLogLine = m_table.av_log_format_line2;
    m_table.av_log_set_callback(&libavLog);
    m_encode = std::move(encode);
    m_util = std::move(util);
    m_format = std::move(format);
    m_encodePath = encodePath;
    m_utilPath = utilPath;
    m_formatPath = formatPath;
    enginelog::write(logCategory, enginelog::Progress, ": Successfully loaded libav encode Adapter ID=%p",
                     static_cast<void*>(m_encode.get()));
    enginelog::write(logCategory, enginelog::Progress, ": Successfully loaded libav util Adapter ID=%p",
                     static_cast<void*>(m_util.get()));
    enginelog::write(logCategory, enginelog::Progress, ": Successfully loaded libav format Adapter ID=%p",
                     static_cast<void*>(m_format.get()));
    return true;
}

void LibavAdapter::unload()
{
    m_table = Table{};
    enginelog::write(logCategory, enginelog::Progress, "Unloaded libav encode Adapter ID=%p",
                     static_cast<void*>(m_encode.get()));
    keepLoaded(std::move(m_encode), m_encodePath);
    m_encode.reset();
    enginelog::write(logCategory, enginelog::Progress, "Unloaded libav util Adapter ID=%p",
                     static_cast<void*>(m_util.get()));
    keepLoaded(std::move(m_util), m_utilPath);
    m_util.reset();
    enginelog::write(logCategory, enginelog::Progress, "Unloaded libav format Adapter ID=%p",
                     static_cast<void*>(m_format.get()));
    keepLoaded(std::move(m_format), m_formatPath);
    m_format.reset();
}
