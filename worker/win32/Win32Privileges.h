#pragma once
#include "worker/WorkerPorts.h"

// Enables one privilege of the process token at a time.
class Win32Privileges : public PrivilegePort {
 public:
  bool Enable(Privilege privilege) override;
};
