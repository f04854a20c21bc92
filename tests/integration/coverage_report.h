// docs/fault-coverage.md, written from the coverage runs and the tables of what each fault
// must show.
#pragma once

#include <filesystem>
#include <string>

namespace kmb::test {

std::string coverage_report();
std::filesystem::path coverage_report_path();

} // namespace kmb::test
