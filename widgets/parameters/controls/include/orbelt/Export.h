// Export marker of the Orbelt library.
#pragma once

#define ORBELT_EXPORT __attribute__((visibility("default")))
