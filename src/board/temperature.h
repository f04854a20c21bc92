// The card's LM77 on the fixture: the temperature must lie between the start-up limits, and
// each limit moved past the current temperature must raise its interrupt line exactly once.
#pragma once

namespace kmb {

// Menu 5's test: the checks, the verdict and the hint; returns the checks' code.
int temperature_sensor_test();
// 0 passed; 1 the sensor or the counts could not be reached, a limit could not be written or
// an interrupt came untriggered; 5 the temperature interrupt missed; 6 the critical interrupt
// missed; 7 the temperature out of range.
int temperature_checks();
// T_HIGH (register 5) or T_LOW (register 4) moved past the temperature and back: line 27 must
// count once each way. 0, 1 or 5.
int lm77_limit_irq_test(int fd, int reg);
// T_CRIT moved below the temperature: line 28 must count once. 0, 1 or 6.
int lm77_crit_irq_test(int fd);
// The ESS pass's step: prints the temperature and lights the pass lamp; 0, or 1 when the
// sensor cannot be reached.
int temperature_reading_check();

} // namespace kmb
