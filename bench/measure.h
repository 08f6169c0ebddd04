#pragma once

#include <vector>

namespace inkbinder::bench {

// The middle value; for an even count, the mean of the two middle ones. 0 for none.
double Median(std::vector<double> values);

// Seconds on a monotonic clock, from an arbitrary start.
double NowSeconds();

// CPU seconds (user and system) this process has used: less disturbed than
// wall time when other work shares the machine.
double CpuSeconds();

// The most resident memory this process has had so far, in KiB.
long PeakResidentKiB();

}  // namespace inkbinder::bench
