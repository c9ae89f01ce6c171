// GenICam base types: strings, string lists, exceptions (and the reading of a caught one) and logging.
#pragma once

#include <GenICam/CaughtException.h>
#include <GenICam/GenericException.h>
#include <GenICam/Log.h>
#include <GenICam/gcstring.h>
#include <GenICam/gcstring_vector.h>
