// CObject and run-time class records: each class that declares one names itself and its base, so a caller
// can ask an object what it is (IsKindOf) and, for classes that allow it, create one by record.
#pragma once

class CObject;

struct CRuntimeClass {
    const char* m_lpszClassName;
    const CRuntimeClass* m_pBaseClass;
    CObject* (*m_pfnCreateObject)();  // null: not dynamically creatable

    CObject* CreateObject() const { return m_pfnCreateObject ? m_pfnCreateObject() : nullptr; }
    bool IsDerivedFrom(const CRuntimeClass* base) const
    {
        for (const CRuntimeClass* c = this; c; c = c->m_pBaseClass)
            if (c == base) return true;
        return false;
    }
};

// Creation function for a dynamically creatable class's record.
template <class T>
CObject* CreateObjectOf() { return new T(); }

class CObject {
public:
    virtual ~CObject() = default;
    virtual const CRuntimeClass* GetRuntimeClass() const { return &runtimeClass; }
    bool IsKindOf(const CRuntimeClass* c) const { return GetRuntimeClass()->IsDerivedFrom(c); }

    static const CRuntimeClass runtimeClass;

protected:
    CObject() = default;
    CObject(const CObject&) = delete;
    CObject& operator=(const CObject&) = delete;
};

template <class T>
const CRuntimeClass* RuntimeClassOf() { return &T::runtimeClass; }
