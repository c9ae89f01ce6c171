// The bytes of resources/Features.xml, generated into the build folder at configure time.
#pragma once

#include <cstddef>

namespace Huvane {
extern const char FeatureDescriptionBytes[];
extern const size_t FeatureDescriptionSize;
} // namespace Huvane
