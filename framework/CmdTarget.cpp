#include "framework/CmdTarget.h"

const CRuntimeClass CObject::runtimeClass{"CObject", nullptr, nullptr};
const CRuntimeClass CCmdTarget::runtimeClass{"CCmdTarget", &CObject::runtimeClass, nullptr};
const MessageMap CCmdTarget::messageMap{nullptr};
const DispatchMap CCmdTarget::dispatchMap{nullptr};
const EventSinkMap CCmdTarget::eventSinkMap{nullptr};

const MessageEntry* MessageMap::Find(UINT message, WPARAM wParam) const
{
    for (const MessageMap* map = this; map; map = map->base) {
        for (std::size_t i = 0; i < map->count; ++i) {
            const MessageEntry& e = map->entries[i];
            if (message < e.messageFirst || message > e.messageLast) continue;
            if (message == WM_COMMAND) {
                UINT id = LOWORD(wParam), code = HIWORD(wParam);
                if (code != e.code || id < e.idFirst || id > e.idLast) continue;
            }
            return &e;
        }
    }
    return nullptr;
}
