// Whether a test program runs under Wine rather than on Windows or Linux, for the few
// checks that depend on what Wine does differently.
#pragma once

#ifdef _WIN32
#include <windows.h>
#endif

namespace vexil::test {

/// Wine's ntdll exports wine_get_version; Windows' does not.
inline bool underWine() {
#ifdef _WIN32
  const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
  return false;
#endif
}

}  // namespace vexil::test
