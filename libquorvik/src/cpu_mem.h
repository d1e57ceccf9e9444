// Internal pieces of the CPU usage measurement, exposed for the tests.
#pragma once

namespace quorvik {

// Parses one CPU line of /proc/stat with its leading word cut off: idle is
// the fourth counter, total the sum of the first seven (user, nice, system,
// idle, iowait, irq, softirq), each taken modulo 2^32 and summed in unsigned
// 32-bit arithmetic; later counters are ignored. Returns 0, or ERR_CMD_EXIT
// (idle and total untouched) when the text holds fewer than seven counters.
int get_cpu_stat(const char* text, double* idle, double* total);

// Usage in percent between two samples: 100 - idle share of the elapsed
// ticks, kept within 0..100 (iowait may run backwards). The counters are
// 32-bit values; differences are taken modulo 2^32, so a counter that
// wrapped between the samples still gives the true usage. Returns 0, or
// ERR_CMD_EXIT (usage untouched) when the totals did not advance or a value
// is no 32-bit counter.
int calc_cpu_util(const double* idle1, const double* total1, const double* idle2,
                  const double* total2, double* usage);

}  // namespace quorvik
