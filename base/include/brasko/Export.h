// Export marker of the Brasko library.
#pragma once

#define BRASKO_EXPORT __attribute__((visibility("default")))
