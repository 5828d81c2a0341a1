#pragma once
// One source of the Application event log, registered on the local machine at its first entry and
// deregistered with the writer.
#include <mutex>
#include <string>

#include "foundation/base/win32/UniqueHandle.h"
#include "service/EventLogPort.h"

class Win32EventLog : public EventLogPort {
 public:
  explicit Win32EventLog(std::u16string source) : source_(std::move(source)) {}
  void LogError(std::u16string_view text) override;

 private:
  const std::u16string source_;
  std::mutex lock_;  // entries come from several threads
  UniqueEventSource handle_;
};
