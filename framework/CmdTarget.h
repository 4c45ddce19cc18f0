// CCmdTarget: the root of everything that has a message table and, with automation, a dispatch table (the
// object script sees) and an event-sink table (the events of hosted controls it handles).
#pragma once

#include "framework/Automation.h"
#include "framework/MessageMap.h"
#include "framework/Object.h"

class CCmdTargetDispatch;

class CCmdTarget : public CObject {
public:
    CCmdTarget() = default;
    ~CCmdTarget() override;

    const CRuntimeClass* GetRuntimeClass() const override { return &runtimeClass; }
    virtual const MessageMap* GetMessageMap() const { return &messageMap; }
    virtual const DispatchMap* GetDispatchMap() const { return &dispatchMap; }
    virtual const EventSinkMap* GetEventSinkMap() const { return &eventSinkMap; }

    // Gives the object an IDispatch that serves its dispatch table. The COM object is the C++ object's:
    // it lives as long as someone holds a reference, but once this object is gone every call fails cleanly.
    void EnableAutomation();
    // The object's IDispatch (null unless automation is enabled); with addRef the caller owns a reference.
    IDispatch* GetIDispatch(BOOL addRef);

    // Routes an event of hosted control `controlId` through the event-sink table; false when unhandled.
    bool OnEvent(UINT controlId, DISPID dispid, DISPPARAMS* params, HRESULT* result);

    static const CRuntimeClass runtimeClass;
    static const MessageMap messageMap;
    static const DispatchMap dispatchMap;
    static const EventSinkMap eventSinkMap;

private:
    CCmdTargetDispatch* m_pDispatch = nullptr;
};
