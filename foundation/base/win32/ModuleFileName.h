#pragma once
// The full path of the running program's own file.
#include <string>

// Empty when Windows cannot tell; GetLastError then says why (ERROR_INSUFFICIENT_BUFFER for a path
// beyond the longest that Windows allows).
std::u16string ModuleFileName();
