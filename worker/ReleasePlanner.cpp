#include "worker/ReleasePlanner.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "foundation/base/Text.h"

namespace {

// Trimming these gains nothing and costs the whole machine: the kernel, the memory manager's
// stores, and the session processes whose every page fault stalls logon, input or drawing.
// (Ids 0 and 4, the idle process and System, are refused before any name.)
constexpr std::array<std::u16string_view, 13> NeverTouchedNames = {
    u"System", u"Registry", u"Secure System", u"Memory Compression", u"smss",
    u"csrss",  u"wininit",  u"winlogon",      u"services",           u"lsass",
    u"lsaiso", u"dwm",      u"audiodg",
};

std::u16string_view WithoutExe(std::u16string_view name) {
  constexpr std::u16string_view exe = u".exe";
  if (name.size() > exe.size() &&
      EqualsIgnoreAsciiCase(name.substr(name.size() - exe.size()), exe)) {
    name.remove_suffix(exe.size());
  }
  return name;
}

bool SameProcess(const ProcessRecord& a, const ProcessRecord& b) {
  return a.id == b.id && a.creationTime == b.creationTime;
}

}  // namespace

bool IsNeverTouched(const ProcessRecord& process) {
  if (process.id == 0 || process.id == 4) {
    return true;
  }
  const std::u16string_view name = WithoutExe(process.name);
  return std::any_of(NeverTouchedNames.begin(), NeverTouchedNames.end(),
                     [&](std::u16string_view n) { return EqualsIgnoreAsciiCase(name, n); });
}

std::vector<TrimTarget> PlanTrimming(std::span<const ProcessRecord> before,
                                     std::span<const ProcessRecord> after,
                                     const PlanContext& context) {
  // The parent is whoever started this worker: the service or the tray, busy with its own work.
  std::optional<uint32_t> parentId;
  for (const ProcessRecord& p : after) {
    if (p.id == context.selfId) {
      parentId = p.parentId;
    }
  }
  // The first snapshot ordered by id, so each process of the second is found in log time.
  std::vector<const ProcessRecord*> earlier;
  earlier.reserve(before.size());
  for (const ProcessRecord& p : before) {
    earlier.push_back(&p);
  }
  const auto byId = [](const ProcessRecord* a, const ProcessRecord* b) { return a->id < b->id; };
  std::sort(earlier.begin(), earlier.end(), byId);

  std::vector<TrimTarget> targets;
  for (const ProcessRecord& p : after) {
    if (p.workingSet < SmallestTrimmedWorkingSet || p.basePriority >= HighBasePriority ||
        p.id == context.selfId || p.id == parentId || p.id == context.foregroundId ||
        IsNeverTouched(p) ||
        std::any_of(context.spared.begin(), context.spared.end(), [&](const std::u16string& name) {
          return EqualsIgnoreAsciiCase(name, p.name);
        })) {
      continue;
    }
    auto it = std::lower_bound(earlier.begin(), earlier.end(), &p, byId);
    bool idle = false;
    for (; it != earlier.end() && (*it)->id == p.id; ++it) {
      // A process that used the processor in between is working right now: trimming it would only
      // make it fault its pages back in. Cycles count every instruction; processor times move in
      // clock ticks and miss a short burst, so they stand in only where no cycles are reported.
      if (SameProcess(**it, p)) {
        const bool cycles = (*it)->cycleTime != 0 || p.cycleTime != 0;
        idle = cycles ? (*it)->cycleTime == p.cycleTime : (*it)->processorTime == p.processorTime;
      }
    }
    if (idle) {
      targets.push_back({p.id, p.creationTime, p.workingSet});
    }
  }
  std::sort(targets.begin(), targets.end(), [](const TrimTarget& a, const TrimTarget& b) {
    return a.workingSet != b.workingSet ? a.workingSet > b.workingSet : a.id < b.id;
  });
  return targets;
}

StopReason ShouldStop(int64_t available, int64_t target, uint64_t now, uint64_t deadline) {
  if (available >= target) {
    return StopReason::Target;
  }
  return now >= deadline ? StopReason::Deadline : StopReason::None;
}
