// CCmdTarget: the root of everything that has a message table (and, with automation, a dispatch table).
#pragma once

#include "framework/MessageMap.h"
#include "framework/Object.h"

class CCmdTarget : public CObject {
public:
    CCmdTarget() = default;
    ~CCmdTarget() override = default;

    const CRuntimeClass* GetRuntimeClass() const override { return &runtimeClass; }
    virtual const MessageMap* GetMessageMap() const { return &messageMap; }

    static const CRuntimeClass runtimeClass;
    static const MessageMap messageMap;
};
