// Cost of the release worker's planning in the portable core: 300 processes in two snapshots, a
// third of them busy or small, ranked and filtered into the trim plan. Goal: under 1 ms per plan.
#include <cstdio>

#include "support/AllocationCounter.h"
#include "worker/ReleasePlanner.h"

int main() {
  constexpr uint32_t Count = 300;
  std::vector<ProcessRecord> before, after;
  for (uint32_t i = 0; i < Count; ++i) {
    ProcessRecord p;
    p.id = 8 + 4 * ((i * 7919) % Count);  // ids out of order, as the kernel lists them
    p.parentId = 8;
    p.creationTime = 133000000000000000 + i;
    p.processorTime = 1000 * i;
    p.workingSet = (uint64_t{1} + (i * 37) % 200) << 20;
    p.basePriority = 8;
    p.name =
        i % 50 == 0 ? u"svchost.exe" : u"application" + std::u16string(1, u'a' + i % 26) + u".exe";
    before.push_back(p);
    p.processorTime += i % 3 == 0 ? 1 : 0;
    after.push_back(p);
  }
  const PlanContext context{after[5].id, after[9].id, {}};
  size_t planned = 0;
  std::printf("release worker planning, core only (%u processes)\n", Count);
  bench::Measure("plan 300 processes", 20000,
                 [&] { planned = PlanTrimming(before, after, context).size(); });
  std::printf("processes in the plan: %zu of %u\n", planned, Count);
  return planned == 0 ? 1 : 0;
}
