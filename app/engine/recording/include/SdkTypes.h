// The camera SDK and GenICam types that the recording engine's interfaces use, in one include.
#pragma once

#include <GenICam/GenICam.h>
#include <nimbo/AviWriter.h>
#include <nimbo/ImagePersistence.h>
#include <nimbo/NimboImage.h>
#include <nimbo/PixelType.h>
