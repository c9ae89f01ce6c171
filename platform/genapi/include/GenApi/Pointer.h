// Smart pointers that view a node through one of its interfaces; empty when the node lacks it.
#pragma once

#include <GenApi/Boolean.h>
#include <GenApi/Category.h>
#include <GenApi/Command.h>
#include <GenApi/EnumEntry.h>
#include <GenApi/Enumeration.h>
#include <GenApi/Float.h>
#include <GenApi/Integer.h>
#include <GenApi/Node.h>
#include <GenApi/Port.h>
#include <GenApi/Register.h>
#include <GenApi/Selector.h>
#include <GenApi/String.h>
#include <GenApi/Value.h>
#include <GenICam/GenericException.h>

namespace GenApi {
// Not owning: the node map owns its nodes.
template <class T>
class CPointer {
public:
    CPointer() = default;
    CPointer(std::nullptr_t) {}
    CPointer(T* p) : m_p(p) {}
    template <class U>
    CPointer(U* p) : m_p(p ? dynamic_cast<T*>(p) : nullptr)
    {
    }
    template <class U>
    CPointer(const CPointer<U>& other) : CPointer(static_cast<U*>(other))
    {
    }
    CPointer(const CPointer&) = default;
    CPointer& operator=(const CPointer&) = default;
    template <class U>
    CPointer& operator=(U* p)
    {
        m_p = p ? dynamic_cast<T*>(p) : nullptr;
        return *this;
    }
    CPointer& operator=(std::nullptr_t)
    {
        m_p = nullptr;
        return *this;
    }

    bool IsValid() const { return m_p != nullptr; }
    explicit operator bool() const { return m_p != nullptr; }
    operator T*() const { return m_p; }
    T* operator->() const
    {
        if (!m_p)
            throw LOGICAL_ERROR_EXCEPTION("NULL pointer dereferenced");
        return m_p;
    }
    T& operator*() const
    {
        if (!m_p)
            throw LOGICAL_ERROR_EXCEPTION("NULL pointer dereferenced");
        return *m_p;
    }
    void Release() { m_p = nullptr; }

    template <class U>
    bool operator==(const CPointer<U>& other) const
    {
        return m_p == static_cast<U*>(other);
    }
    template <class U>
    bool operator!=(const CPointer<U>& other) const
    {
        return !(*this == other);
    }
    bool operator==(std::nullptr_t) const { return m_p == nullptr; }
    bool operator!=(std::nullptr_t) const { return m_p != nullptr; }

private:
    T* m_p = nullptr;
};

typedef CPointer<IBase> CBasePtr;
typedef CPointer<INode> CNodePtr;
typedef CPointer<IValue> CValuePtr;
typedef CPointer<IInteger> CIntegerPtr;
typedef CPointer<IFloat> CFloatPtr;
typedef CPointer<IBoolean> CBooleanPtr;
typedef CPointer<IEnumeration> CEnumerationPtr;
typedef CPointer<IEnumEntry> CEnumEntryPtr;
typedef CPointer<ICommand> CCommandPtr;
typedef CPointer<IString> CStringPtr;
typedef CPointer<IRegister> CRegisterPtr;
typedef CPointer<ICategory> CCategoryPtr;
typedef CPointer<IPort> CPortPtr;
typedef CPointer<ISelector> CSelectorPtr;
} // namespace GenApi
