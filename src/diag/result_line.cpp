#include "diag/result_line.h"

#include <cstdio>

#include "diag/indications.h"

namespace kmb {

int report_result(const char* label, int failed, std::span<const char* const> hints)
{
    std::printf("%s", label);
    if (failed == 0) {
        std::printf("PASSED\n");
        indicate_pass();
        return 0;
    }
    std::printf("FAILED\n");
    for (const char* hint : hints) {
        std::printf("%s", hint);
    }
    indicate_fail();
    return 1;
}

} // namespace kmb
