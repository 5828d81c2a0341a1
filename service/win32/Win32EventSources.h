#pragma once
// Event sources of the Application log, registered under
// HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application.
#include "service/EventSourcePort.h"

class Win32EventSources : public EventSourcePort {
 public:
  void RegisterSource(std::u16string_view source, std::u16string_view messageFile) override;
  void RemoveSource(std::u16string_view source) override;
};
