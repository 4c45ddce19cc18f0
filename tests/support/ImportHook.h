// Replaces one imported function of this executable by patching its import address table, so a test can
// count calls the code under test makes into a system DLL. Restored when the hook goes out of scope.
#pragma once

#include <windows.h>

#include <cstring>

class ImportHook {
public:
    ImportHook(const char* dll, const char* function, void* replacement)
    {
        auto* base = reinterpret_cast<BYTE*>(::GetModuleHandleW(nullptr));
        auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
        auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
        const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
        for (auto* imp = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); imp->Name; ++imp) {
            if (_stricmp(reinterpret_cast<const char*>(base + imp->Name), dll) != 0) continue;
            auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + imp->OriginalFirstThunk);
            auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + imp->FirstThunk);
            for (; names->u1.AddressOfData; ++names, ++slots) {
                if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
                auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
                if (std::strcmp(reinterpret_cast<const char*>(byName->Name), function) != 0) continue;
                m_slot = reinterpret_cast<void**>(&slots->u1.Function);
                m_original = *m_slot;
                Write(replacement);
                return;
            }
        }
    }
    ~ImportHook()
    {
        if (m_slot) Write(m_original);
    }
    ImportHook(const ImportHook&) = delete;
    ImportHook& operator=(const ImportHook&) = delete;

    bool Installed() const { return m_slot != nullptr; }
    template <class F>
    F Original() const { return reinterpret_cast<F>(m_original); }

private:
    void Write(void* value)
    {
        DWORD old;
        ::VirtualProtect(m_slot, sizeof(void*), PAGE_READWRITE, &old);
        *m_slot = value;
        ::VirtualProtect(m_slot, sizeof(void*), old, &old);
    }
    void** m_slot = nullptr;
    void* m_original = nullptr;
};
