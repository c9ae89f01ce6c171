// The check that the camera SDK's libraries load, shared by the program and its launcher.
#pragma once

#include <string>
#include <vector>

// The five SDK libraries that must load before the program starts, in the order they are checked.
const std::vector<std::string>& sdkLibraries();

// Loads each library in order and stops at the first that fails; returns its file name, or an empty
// string when all of them load. A library lying in `folder` (when given) is loaded from there, as the
// program's own run path would find it; any other through the system's search.
std::string firstMissingLibrary(const std::vector<std::string>& libraries, const std::string& folder = {});

// The text shown when a library is missing (at most 1,024 characters, as the system always wrote it).
std::string missingLibraryText(const std::string& library);

// The exit code that tells a caller an SDK library is missing.
constexpr int MissingLibraryExitCode = 5;
