// The GenICam description of the colour features that the plug-in adds to a qualifying camera.
#pragma once

#include <GenICam/gcstring.h>

namespace Huvane {

// The description carried inside the module, whole. Leaves description empty when the module
// carries none.
void loadFeatureDescription(GenICam::gcstring& description);

// The ending by which the plug-in's own feature descriptions are told from same-named camera features.
extern const char* const OwnDescriptionMark;

} // namespace Huvane
