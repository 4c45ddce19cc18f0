// Reading and rewriting dialog templates (the extended form, DLGTEMPLATEEX) and the control initialisation
// data that goes with them (resource type 240). All readers check every length against the resource's size:
// a resource can be anything.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// A name-or-ordinal field of a template: either a string or a 16-bit number.
struct TemplateName {
    bool isOrdinal = false;
    WORD ordinal = 0;
    std::wstring text;
};

struct DialogItem {
    DWORD helpId = 0;
    DWORD exStyle = 0;
    DWORD style = 0;
    short x = 0, y = 0, cx = 0, cy = 0;  // dialog units
    DWORD id = 0;
    TemplateName className;
    TemplateName title;
    std::vector<BYTE> creationData;
    // The template item just before this one, for keeping a control created later in template (tab) order.
    bool hasPreceding = false;
    DWORD precedingId = 0;

    // An ActiveX control named by its class id ("{8856F961-...}") rather than by a window class.
    bool IsClassIdControl() const { return !className.isOrdinal && !className.text.empty() && className.text[0] == L'{'; }
};

struct DialogTemplateInfo {
    DWORD helpId = 0;
    DWORD exStyle = 0;
    DWORD style = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    TemplateName menu;
    TemplateName windowClass;
    std::wstring title;
    bool hasFont = false;
    WORD pointSize = 0;
    WORD weight = 0;
    BYTE italic = 0;
    BYTE charSet = 0;
    std::wstring typeface;
    std::vector<DialogItem> items;
};

// Parses an extended dialog template; false when it is not one or is cut short.
bool ParseDialogTemplateEx(const void* data, size_t size, DialogTemplateInfo* out);

// Copies an extended template without the class-id items, which are returned separately (in template
// order). False (and nothing written) when the template is not an extended one or has no such item.
bool StripClassIdItems(const void* data, size_t size, std::vector<BYTE>* stripped, std::vector<DialogItem>* removed);

// One record of control initialisation data.
struct DialogInitRecord {
    WORD controlId = 0;
    WORD message = 0;
    std::vector<BYTE> data;
};

// Parses type-240 data: records up to the zero terminator. A record that runs past the end is dropped, and
// so is everything after it.
std::vector<DialogInitRecord> ParseDialogInit(const void* data, size_t size);

// The raw bytes of a resource of this module, or an empty range.
struct ResourceBytes {
    const BYTE* data = nullptr;
    size_t size = 0;
};
ResourceBytes FindResourceBytes(HMODULE module, const wchar_t* name, const wchar_t* type);
