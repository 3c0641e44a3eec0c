// win32.h: what the Win32 side of the platform seam (*_win32.cc) shares. Nothing else
// includes it.
#pragma once
#include <string>
#include <string_view>
#include <system_error>

namespace morvalen {

// UTF-8 to UTF-16 and back; an ill-formed sequence becomes U+FFFD.
std::wstring to_wide(std::string_view utf8);
std::string to_utf8(std::wstring_view wide);
// The error code of a Win32 error number: the portable error where there is one (so that
// "No such file or directory" reads as on every other system), else the system's own.
std::error_code windows_error(unsigned long code);
// windows_error of GetLastError().
std::error_code last_windows_error();

}  // namespace morvalen
