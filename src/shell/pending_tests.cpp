#include "shell/pending_tests.h"

namespace kmb {

int temperature_sensor_test() { return 0; }
int temperature_reading_check() { return 0; }

} // namespace kmb
