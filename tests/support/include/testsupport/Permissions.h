// A thread without root's power over file permissions, for tests of files that may not be written.
#pragma once

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace testsupport {

// While it lives, the calling thread has no power over file permissions, root's included: a file it may
// not write is refused to it as to anyone (capabilities are the thread's own; it gets them back after).
class WithoutPowerOverPermissions {
public:
    WithoutPowerOverPermissions()
    {
        if (syscall(SYS_capget, &m_header, m_saved) != 0)
            return;
        __user_cap_data_struct reduced[2] = {m_saved[0], m_saved[1]};
        reduced[0].effective &= ~(1u << CAP_DAC_OVERRIDE);
        m_active = syscall(SYS_capset, &m_header, reduced) == 0;
    }
    ~WithoutPowerOverPermissions()
    {
        if (m_active)
            syscall(SYS_capset, &m_header, m_saved);
    }
    WithoutPowerOverPermissions(const WithoutPowerOverPermissions&) = delete;
    WithoutPowerOverPermissions& operator=(const WithoutPowerOverPermissions&) = delete;
    bool isActive() const { return m_active; }

private:
    __user_cap_header_struct m_header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct m_saved[2] = {};
    bool m_active = false;
};

} // namespace testsupport
