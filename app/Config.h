// config.ini beside the executable: the publisher's settings, read afresh at every use and never written.
#pragma once

#include <string>

#include "framework/String.h"

// The drive and directory of the running executable, ending in a backslash.
CString GetModuleDirectory();

// The value of `key` in section "pexo" of config.ini (at most 511 characters), or "error" when the file,
// the section or the key does not exist.
CString ReadConfigValue(CString key);

namespace config_detail {
// The profile functions take MAX_PATH-limited names on some systems: a path that long is given in its short
// form when there is one, else in the extended-length form (\\?\ for a drive path, \\?\UNC\ for a network one).
std::wstring UsablePath(const std::wstring& path);
}  // namespace config_detail
