// What the stand-in browser knows of a page: how to fetch it and the few things it reads from it (frames,
// the title, and the statements of its script blocks that it can run).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace fakebrowser {

// Reads the document at `url` into `body`. Loopback HTTP (127.0.0.1 or localhost, answered with 2xx), file
// URLs and plain paths, res:// URLs into a module's resources, and about:blank. On failure `why` says what
// went wrong and `status` holds what NavigateError reports: the HTTP status, or an INET_E_ code.
bool FetchDocument(const std::wstring& url, std::string& body, std::wstring& why, long& status);

// `ref` resolved against the address of the document that names it.
std::wstring ResolveUrl(const std::wstring& base, const std::wstring& ref);

std::wstring FromUtf8(const std::string& text);
std::string ToUtf8(const std::wstring& text);

// The src addresses of the document's <iframe> elements, in document order, as written.
std::vector<std::wstring> FindFrameSources(const std::string& html);
// The text of the document's <title>, or empty.
std::wstring FindTitle(const std::string& html);

// A literal argument of a script call, as the script engine would hand it to IDispatch.
struct ScriptValue {
    enum Kind { String, Int, Double, Null, Undefined, Bool } kind = Undefined;
    std::wstring text;
    long intValue = 0;
    double doubleValue = 0;
    bool boolValue = false;
};

// One statement that the stand-in runs: a call of window.external.NAME(literals...) or an assignment of a
// string to location.href.
struct ScriptStatement {
    enum Kind { ExternalCall, SetLocation, Unsupported } kind = Unsupported;
    std::wstring name;  // the method, the new address, or the text that could not be read
    std::vector<ScriptValue> args;
};

// The statements of each <script> block, block by block, in document order.
std::vector<std::vector<ScriptStatement>> ParseScripts(const std::string& html);

}  // namespace fakebrowser
