#include "service/ReleaseStartRule.h"

#include <utility>

#include "foundation/LastRelease.h"
#include "foundation/ReleaseCoolDown.h"
#include "foundation/base/Guard.h"

ReleaseStartRule::ReleaseStartRule(const ReleaseStartPorts& ports, std::u16string folder,
                                   std::u16string serviceFile)
    : ports_(ports), folder_(std::move(folder)), serviceFile_(std::move(serviceFile)) {}

bool ReleaseStartRule::MayStart() {
  // 1. The cool-down, first: it is cheap, and while it lasts the folder need not be read. The
  // service's own count is steady; LastRelease's time is anyone's, read as the worker reads it.
  const uint64_t now = ports_.clock.TickCount64();
  if (lastStart_ &&
      IsCoolingDown(*lastStart_ * FileTimePerMillisecond, now * FileTimePerMillisecond)) {
    return false;
  }
  const uint64_t lastEnd =
      guarded_or<uint64_t>(0, [&] { return ReadLastReleaseTime(ports_.registry); });
  if (IsCoolingDown(lastEnd, ports_.utc.UtcFileTime())) {
    return false;
  }
  // 2. What the workers would run, judged afresh: a folder or file changed since /install counts.
  const FolderRefusal refusal = JudgeProgramFolder(ports_.folders, folder_, serviceFile_);
  if (refusal != FolderRefusal::None) {
    const auto kind = static_cast<uint8_t>(refusal);
    if ((logged_ & kind) == 0) {
      logged_ |= kind;
      guarded([&] { ports_.log.LogError(FolderRefusalText(refusal, folder_)); });
    }
    return false;
  }
  logged_ = 0;
  lastStart_ = now;
  return true;
}

std::u16string FolderRefusalText(FolderRefusal refusal, std::u16string_view folder) {
  std::u16string text;
  switch (refusal) {
    case FolderRefusal::ReparsePoint:
      text =
          u"No release worker was started: the program folder %s, a folder above it or one of "
          u"its programs is a junction or link.";
      break;
    case FolderRefusal::Owner:
      text =
          u"No release worker was started: the program folder %s or one of its programs "
          u"belongs to an account that is not an administrator.";
      break;
    case FolderRefusal::Access:
      text =
          u"No release worker was started: accounts that are not administrators may change "
          u"the program folder %s or one of its programs.";
      break;
    case FolderRefusal::Unreadable:
    case FolderRefusal::None:
      text =
          u"No release worker was started: the security of the program folder %s or of its "
          u"programs could not be read.";
      break;
  }
  if (folder.size() > 3 && (folder.back() == u'\\' || folder.back() == u'/')) {
    folder.remove_suffix(1);
  }
  if (const size_t at = text.find(u"%s"); at != std::u16string::npos) {
    text.replace(at, 2, folder);
  }
  return text;
}
