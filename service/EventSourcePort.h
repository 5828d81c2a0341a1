#pragma once
// The registration of an event source of the Application log, which tells the event viewer where
// the source's message table is.
#include <string_view>

class EventSourcePort {
 public:
  virtual ~EventSourcePort() = default;
  // Registers source with messageFile as its message file, for error, warning and information
  // entries. Throws on failure.
  virtual void RegisterSource(std::u16string_view source, std::u16string_view messageFile) = 0;
  // Removes the registration; a source that is not registered is no failure. Throws on failure.
  virtual void RemoveSource(std::u16string_view source) = 0;
};
