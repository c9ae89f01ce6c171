// Kalmuth's launcher: checks that the camera SDK's libraries load, then starts the program proper.
// The program links those libraries, so without them the system loader would refuse it with its own
// terse message before any of the program's code could explain what is missing.
#include "SdkLibraryCheck.h"

#include <QApplication>
#include <QMessageBox>
#include <QString>

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// The program proper lies beside the launcher.
constexpr const char* ProgramName = "kalmuth-program";

bool hasDisplay()
{
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 && *x11) || (wayland && *wayland);
}

// The box runs in a child process: a display that cannot be reached after all makes Qt abort, and
// that must not change the exit code the caller sees.
void showMessageBox(const std::string& text)
{
    const pid_t child = fork();
    if (child == 0) {
        int argc = 1;
        char name[] = "kalmuth";
        char* argv[] = {name, nullptr};
        QApplication application(argc, argv);
        QMessageBox box(QMessageBox::Critical, QStringLiteral("Ardenmoor"), QString::fromLocal8Bit(text.c_str()),
                        QMessageBox::Ok);
        box.exec();
        _exit(0);
    }
    if (child > 0) {
        int status = 0;
        while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
    }
}

// The launcher's own folder, where the program and its libraries lie.
std::string ownFolder()
{
    char self[4096];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0)
        return ".";
    const std::string path(self, static_cast<size_t>(length));
    return path.substr(0, path.rfind('/'));
}

} // namespace

int main(int /*argc*/, char** argv)
{
    const std::string folder = ownFolder();
    const std::string missing = firstMissingLibrary(sdkLibraries(), folder);
    if (!missing.empty()) {
        const std::string text = missingLibraryText(missing);
        std::fprintf(stderr, "Ardenmoor: %s\n", text.c_str());
        if (hasDisplay())
            showMessageBox(text);
        return MissingLibraryExitCode;
    }
    const std::string program = folder + "/" + ProgramName;
    execv(program.c_str(), argv);
    std::fprintf(stderr, "kalmuth: cannot start %s: %s\n", program.c_str(), std::strerror(errno));
    return 127;
}
