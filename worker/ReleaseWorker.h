#pragma once
// The release worker's run: raise available physical memory by the megabytes asked for, as best
// effort within a deadline, by trimming the working sets of idle processes, largest first, and
// where the worker is privileged by trimming the system file cache and writing out the modified
// page list. It never allocates memory to push others out, never purges the standby list (its
// pages already count as available) and never empties every working set.
#include <cstdint>
#include <span>
#include <string>

#include "worker/ReleaseExitCode.h"
#include "worker/WorkerPorts.h"

// Only one worker waits per turn, and the one ahead of it works for WorkDeadline after its idle
// sample: room for that with a margin, and still bounded whatever the other one does.
inline constexpr uint32_t TurnWaitMilliseconds = 20000;
// How long one worker works once it has its turn.
inline constexpr uint32_t WorkDeadlineMilliseconds = 8000;
// Time between the two snapshots whose processor times tell which processes are idle.
inline constexpr uint32_t IdleSampleMilliseconds = 250;
// How long a worker that has trimmed waits for the worker measuring before it to record what it
// saw: told at once, that one needs a snapshot and a few registry writes.
inline constexpr uint32_t MeasuringPlaceWaitMilliseconds = 3000;
// Trims between two readings of available memory: a reading is not free either.
inline constexpr int TrimsBetweenReadings = 4;

ReleaseExitCode RunReleaseWorker(std::span<const std::u16string> arguments,
                                 const WorkerPorts& ports);
