// Export marker of the Lorvish library.
#pragma once

#define LORVISH_EXPORT __attribute__((visibility("default")))
