#pragma once

#include <string>

namespace fakebrowser {

// Appends one line to the file named by VELMORA_FAKEBROWSER_LOG; nothing when the variable is unset.
void LogLine(const std::wstring& line);

}  // namespace fakebrowser
