// Hands out the feature description that the build embeds into the module.
#include "FeatureDescription.h"

#include "FeatureDescriptionData.h"

#include <vector>

namespace Huvane {

const char* const OwnDescriptionMark = ".   ";

void loadFeatureDescription(GenICam::gcstring& description)
{
    if (FeatureDescriptionSize == 0)
        return;
    // The embedded bytes carry no terminator of their own.
    std::vector<char> text(FeatureDescriptionBytes, FeatureDescriptionBytes + FeatureDescriptionSize);
    text.push_back('\0');
    description = text.data();
}

} // namespace Huvane
