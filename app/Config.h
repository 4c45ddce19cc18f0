// config.ini beside the executable: the publisher's settings, read afresh at every use and never written.
#pragma once

#include "framework/String.h"

// The drive and directory of the running executable, ending in a backslash.
CString GetModuleDirectory();

// The value of `key` in section "pexo" of config.ini (at most 511 characters), or "error" when the file,
// the section or the key does not exist.
CString ReadConfigValue(CString key);
