// A list of GenICam strings.
#pragma once

#include <GenICam/gcstring.h>

#include <vector>

namespace GenICam {
class gcstring_vector : public std::vector<gcstring> {
public:
    using std::vector<gcstring>::vector;
    gcstring_vector() = default;
};
} // namespace GenICam
