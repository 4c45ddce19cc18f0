#include "framework/DialogTemplate.h"

#include <cstring>

namespace {

// A bounds-checked reader over a template's bytes.
class Reader {
public:
    Reader(const void* data, size_t size) : m_base(static_cast<const BYTE*>(data)), m_size(data ? size : 0) {}

    bool ok() const { return m_ok; }
    size_t offset() const { return m_at; }

    template <class T>
    T read()
    {
        T value{};
        if (!need(sizeof(T))) return value;
        std::memcpy(&value, m_base + m_at, sizeof(T));
        m_at += sizeof(T);
        return value;
    }

    std::wstring readString()
    {
        std::wstring s;
        for (;;) {
            wchar_t c = read<wchar_t>();
            if (!m_ok || c == 0) break;
            s += c;
        }
        return s;
    }

    TemplateName readName()
    {
        TemplateName name;
        WORD first = peek<WORD>();
        if (!m_ok) return name;
        if (first == 0) {
            m_at += 2;
        } else if (first == 0xFFFF) {
            m_at += 2;
            name.isOrdinal = true;
            name.ordinal = read<WORD>();
        } else {
            name.text = readString();
        }
        return name;
    }

    void alignDword()
    {
        size_t aligned = (m_at + 3) & ~static_cast<size_t>(3);
        if (aligned > m_size) { m_at = m_size; return; }  // trailing padding may be absent at the very end
        m_at = aligned;
    }

    bool skip(size_t n)
    {
        if (!need(n)) return false;
        m_at += n;
        return true;
    }

    const BYTE* here() const { return m_base + m_at; }

private:
    template <class T>
    T peek()
    {
        T value{};
        if (!need(sizeof(T))) return value;
        std::memcpy(&value, m_base + m_at, sizeof(T));
        return value;
    }
    bool need(size_t n)
    {
        if (!m_ok || n > m_size - m_at) { m_ok = false; return false; }
        return true;
    }

    const BYTE* m_base;
    size_t m_size;
    size_t m_at = 0;
    bool m_ok = true;
};

bool ReadHeader(Reader& r, DialogTemplateInfo* info)
{
    WORD version = r.read<WORD>();
    WORD signature = r.read<WORD>();
    if (!r.ok() || version != 1 || signature != 0xFFFF) return false;
    info->helpId = r.read<DWORD>();
    info->exStyle = r.read<DWORD>();
    info->style = r.read<DWORD>();
    WORD count = r.read<WORD>();
    info->x = r.read<short>();
    info->y = r.read<short>();
    info->cx = r.read<short>();
    info->cy = r.read<short>();
    info->menu = r.readName();
    info->windowClass = r.readName();
    info->title = r.readString();
    info->hasFont = (info->style & (DS_SETFONT | DS_SHELLFONT)) != 0;
    if (info->hasFont) {
        info->pointSize = r.read<WORD>();
        info->weight = r.read<WORD>();
        info->italic = r.read<BYTE>();
        info->charSet = r.read<BYTE>();
        info->typeface = r.readString();
    }
    info->items.resize(count);
    return r.ok();
}

bool ReadItem(Reader& r, DialogItem* item)
{
    r.alignDword();
    item->helpId = r.read<DWORD>();
    item->exStyle = r.read<DWORD>();
    item->style = r.read<DWORD>();
    item->x = r.read<short>();
    item->y = r.read<short>();
    item->cx = r.read<short>();
    item->cy = r.read<short>();
    item->id = r.read<DWORD>();
    item->className = r.readName();
    item->title = r.readName();
    WORD extra = r.read<WORD>();
    if (!r.ok()) return false;
    const BYTE* at = r.here();
    if (!r.skip(extra)) return false;
    item->creationData.assign(at, at + extra);
    return true;
}

}  // namespace

bool ParseDialogTemplateEx(const void* data, size_t size, DialogTemplateInfo* out)
{
    Reader r(data, size);
    DialogTemplateInfo info;
    if (!ReadHeader(r, &info)) return false;
    for (DialogItem& item : info.items)
        if (!ReadItem(r, &item)) return false;
    *out = std::move(info);
    return true;
}

bool StripClassIdItems(const void* data, size_t size, std::vector<BYTE>* stripped, std::vector<DialogItem>* removed)
{
    Reader r(data, size);
    DialogTemplateInfo info;
    if (!ReadHeader(r, &info)) return false;
    const BYTE* base = static_cast<const BYTE*>(data);
    size_t headerEnd = r.offset();

    // Byte ranges of the items to keep, each starting at its DWORD-aligned start.
    struct Span { size_t begin, end; };
    std::vector<Span> kept;
    std::vector<DialogItem> dropped;
    const DialogItem* previous = nullptr;
    for (DialogItem& item : info.items) {
        r.alignDword();
        size_t begin = r.offset();
        if (!ReadItem(r, &item)) return false;
        if (previous) {
            item.hasPreceding = true;
            item.precedingId = previous->id;
        }
        previous = &item;
        if (item.IsClassIdControl()) dropped.push_back(item);
        else kept.push_back({begin, r.offset()});
    }
    if (dropped.empty()) return false;

    std::vector<BYTE> out(base, base + headerEnd);
    // cDlgItems sits after dlgVer, signature, helpID, exStyle, style.
    WORD count = static_cast<WORD>(kept.size());
    std::memcpy(out.data() + 16, &count, sizeof count);
    for (const Span& s : kept) {
        while (out.size() % 4) out.push_back(0);
        out.insert(out.end(), base + s.begin, base + s.end);
    }
    stripped->swap(out);
    removed->swap(dropped);
    return true;
}

std::vector<DialogInitRecord> ParseDialogInit(const void* data, size_t size)
{
    std::vector<DialogInitRecord> records;
    Reader r(data, size);
    for (;;) {
        WORD id = r.read<WORD>();
        if (!r.ok() || id == 0) break;
        WORD message = r.read<WORD>();
        DWORD length = r.read<DWORD>();
        if (!r.ok()) break;
        const BYTE* at = r.here();
        if (!r.skip(length)) break;
        records.push_back({id, message, std::vector<BYTE>(at, at + length)});
    }
    return records;
}

ResourceBytes FindResourceBytes(HMODULE module, const wchar_t* name, const wchar_t* type)
{
    ResourceBytes bytes;
    HRSRC info = ::FindResourceW(module, name, type);
    if (!info) return bytes;
    HGLOBAL loaded = ::LoadResource(module, info);
    if (!loaded) return bytes;
    bytes.data = static_cast<const BYTE*>(::LockResource(loaded));
    bytes.size = bytes.data ? ::SizeofResource(module, info) : 0;
    return bytes;
}
