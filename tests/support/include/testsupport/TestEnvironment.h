// Per-run isolation of the settings store and the folders the code under test may write to.
#pragma once

#include <QString>

namespace testsupport {

// Points QSettings, QStandardPaths and the XDG folders at a temporary folder made for this run,
// so that no test ever reads or writes the user's own settings. Called once by the test main
// before the application object exists; the folder is removed at exit.
void isolateEnvironment();

// The temporary root of this run (settings live below it).
QString isolatedRoot();

} // namespace testsupport
