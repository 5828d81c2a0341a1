#pragma once
// How much memory to free and how the release worker is asked for it.
#include <cstdint>

#include "foundation/CustomRegistry.h"
#include "foundation/LauncherPort.h"
#include "foundation/SystemInfoPort.h"

// Total physical memory in rounded megabytes is 1536 or more.
bool IsLargeMemoryClass(int64_t totalBytes);

int32_t GetMemoryFreePercent(const CustomRegistry& settings, SystemInfoPort& system);
int32_t GetMemoryMaintainPercent(const CustomRegistry& settings, SystemInfoPort& system);

// T × (p ÷ 100), rounded: the division comes first. Saturates at the 64-bit limits.
int64_t PercentOfBytes(int32_t percent, int64_t totalBytes);

// Bytes ÷ 1024 ÷ 1024, rounded.
int32_t BytesToMegabytes(int64_t bytes);

// Megabytes to free for a percentage of a total just read, at most the total in rounded megabytes.
int32_t GetReleaseMegabytes(int32_t percent, int64_t totalBytes);

// Starts the release worker once per 1024 MB, the remainder last; at least once, also for 0 or a
// negative amount.
void RequestMemoryRelease(LauncherPort& launcher, int32_t megabytes);

// The user's "free memory now": the memory-to-free share of a fresh total, no other condition.
void MemoryFreeNow(const CustomRegistry& settings, SystemInfoPort& system, LauncherPort& launcher);
