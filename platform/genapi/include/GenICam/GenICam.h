// GenICam base types: strings, string lists, exceptions and logging.
#pragma once

#include <GenICam/GenericException.h>
#include <GenICam/Log.h>
#include <GenICam/gcstring.h>
#include <GenICam/gcstring_vector.h>
