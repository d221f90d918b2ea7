// The two tables of BMP files the reader is held to: valid variants with the
// exact colours they must decode to, and broken files with the one message
// each must be refused with. The seed corpus of the fuzzer is these files.
#pragma once

#include "bmp_composer.h"

#include <string>
#include <vector>

namespace quadfind::testing {

struct ValidBmp {
    std::string name;
    Bytes file;
    int width, height;
    std::vector<Colour> pixels; // row 0 (top) first
};

struct BrokenBmp {
    std::string name;
    Bytes file;
    std::string message;
    std::uint64_t maxPixels = 100'000'000;
};

std::vector<ValidBmp> ValidBmps();
std::vector<BrokenBmp> BrokenBmps();

} // namespace quadfind::testing
