// A non-owning reference to a node or node map that empties itself when the node map is destroyed.
#pragma once

#include <GenApi/NodeMapFactory.h>
#include <GenApi/Pointer.h>
#include <GenICam/GenericException.h>

#include <atomic>
#include <memory>
#include <type_traits>

namespace Nimbo {

// T is GenApi::INodeMap or a node interface (IInteger, IFloat, ...). A pointer of another kind
// than T (a failed cast) leaves it empty. Dereferencing an empty pointer throws
// GenICam::LogicalErrorException "NULL pointer dereferenced".
// Threads: the owner's thread uses it; the node map's destroying thread may empty it at any time
// (the target is kept in an atomic shared with the destruction notice).
template <class T>
class CSafeNodePtr {
public:
    CSafeNodePtr() = default;
    CSafeNodePtr(std::nullptr_t) {}
    template <class U>
    CSafeNodePtr(U* p)
    {
        assign(p);
    }
    CSafeNodePtr(const CSafeNodePtr& other) { assign(other.get()); }
    CSafeNodePtr& operator=(const CSafeNodePtr& other)
    {
        if (this != &other)
            assign(other.get());
        return *this;
    }
    template <class U>
    CSafeNodePtr& operator=(U* p)
    {
        assign(p);
        return *this;
    }
    CSafeNodePtr& operator=(std::nullptr_t)
    {
        release();
        return *this;
    }
    ~CSafeNodePtr() { release(); }

    T* get() const { return m_state ? m_state->target.load() : nullptr; }
    bool IsValid() const { return get() != nullptr; }
    explicit operator bool() const { return IsValid(); }
    operator T*() const { return get(); }
    T* operator->() const { return checked(); }
    T& operator*() const { return *checked(); }
    void Release() { release(); }

private:
    struct State {
        std::atomic<T*> target{nullptr};
    };

    T* checked() const
    {
        T* p = get();
        if (!p)
            throw LOGICAL_ERROR_EXCEPTION("NULL pointer dereferenced");
        return p;
    }

    template <class U>
    void assign(U* p)
    {
        release();
        T* target = cast(p);
        if (!target)
            return;
        m_state = std::make_shared<State>();
        m_state->target = target;
        std::weak_ptr<State> weak = m_state;
        auto notice = [weak] {
            if (auto state = weak.lock())
                state->target = nullptr;
        };
        m_handle = register_(target, notice);
    }

    template <class U>
    static T* cast(U* p)
    {
        if constexpr (std::is_same<T, GenApi::INodeMap>::value) {
            return p;
        } else {
            return p ? dynamic_cast<T*>(p) : nullptr;
        }
    }

    template <class F>
    static GenApi::CallbackHandleType register_(T* target, F notice)
    {
        if constexpr (std::is_same<T, GenApi::INodeMap>::value) {
            return GenApi::RegisterDestructionCallback(target, notice);
        } else {
            GenApi::INode* node = dynamic_cast<GenApi::INode*>(target);
            return node ? GenApi::RegisterDestructionCallback(node, notice) : 0;
        }
    }

    void release()
    {
        if (m_handle)
            GenApi::DeregisterDestructionCallback(m_handle);
        m_handle = 0;
        m_state.reset();
    }

    std::shared_ptr<State> m_state;
    GenApi::CallbackHandleType m_handle = 0;
};

using CSafeNodeMapPtr = CSafeNodePtr<GenApi::INodeMap>;
using CSafeIntegerPtr = CSafeNodePtr<GenApi::IInteger>;
using CSafeFloatPtr = CSafeNodePtr<GenApi::IFloat>;
using CSafeBooleanPtr = CSafeNodePtr<GenApi::IBoolean>;
using CSafeEnumerationPtr = CSafeNodePtr<GenApi::IEnumeration>;
using CSafeCommandPtr = CSafeNodePtr<GenApi::ICommand>;
using CSafeStringPtr = CSafeNodePtr<GenApi::IString>;
using CSafeRegisterPtr = CSafeNodePtr<GenApi::IRegister>;
using CSafeNodeRefPtr = CSafeNodePtr<GenApi::INode>;

} // namespace Nimbo
