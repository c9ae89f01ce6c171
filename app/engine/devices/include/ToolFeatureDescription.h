// The application's own GenICam description injected into every device it creates.
#pragma once

#include <GenICam/gcstring.h>

// The description that adds the white-balance picker switch (WhiteBalancePickerEnable under
// WhiteBalancePickerControls) as a floating node of the camera's node map.
const GenICam::gcstring& toolFeatureDescription();
