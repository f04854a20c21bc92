// What one call printed on the console, captured around it, with what the call returned.
#pragma once

#include <string>

#include "support/capture.h"

namespace kmb::test {

struct Printed {
    int result;
    std::string out;
    std::string err;
};

template <typename Call>
Printed printed(Call call)
{
    CapturedOutput capture;
    const int result = call();
    capture.stop();
    return {result, capture.out(), capture.err()};
}

} // namespace kmb::test
