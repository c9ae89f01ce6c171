// Version of the camera SDK stand-in.
#pragma once

namespace Nimbo {

// "major.minor.subminor.build"; the text stays valid for the whole process.
const char* GetNimboVersionString();
void GetNimboVersion(unsigned int* major, unsigned int* minor, unsigned int* subminor, unsigned int* build);

} // namespace Nimbo
