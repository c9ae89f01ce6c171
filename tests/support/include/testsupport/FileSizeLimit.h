// A disk that fills up, for tests that need writes to fail the way a full disk makes them fail.
#pragma once

#include <sys/resource.h>

#include <csignal>
#include <cstdint>

namespace testsupport {

// While it lives, no file of this process grows past `bytes`: a write beyond fails with the system's
// own reason ("File too large"), and the signal that would otherwise end the process is ignored. Needs
// no privileges. Only regular files are limited (pipes and terminals are not), for every thread.
class FileSizeLimit {
public:
    explicit FileSizeLimit(uint64_t bytes)
    {
        m_previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_saved);
        rlimit limit = m_saved;
        limit.rlim_cur = static_cast<rlim_t>(bytes);
        m_active = setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_previousHandler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

    // False when the system refused the limit.
    bool isActive() const { return m_active; }

private:
    rlimit m_saved{};
    void (*m_previousHandler)(int) = SIG_DFL;
    bool m_active = false;
};

} // namespace testsupport
