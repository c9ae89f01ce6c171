// Node callbacks: the callback object, and Register/Deregister for member and free functions.
#pragma once

#include <GenApi/Types.h>

namespace GenApi {
class INode;

// A callback attached to a node. The node that holds it owns it and calls Destroy() when it lets go.
// It is called with the node it was registered with, which may be an adapter in front of the real node.
class CNodeCallback {
public:
    CNodeCallback(INode* node, ECallbackType type) : m_pNode(node), m_type(type) {}
    virtual ~CNodeCallback() = default;
    virtual void operator()(ECallbackType type) const = 0;
    virtual void Destroy() { delete this; }
    INode* GetNode() const { return m_pNode; }
    ECallbackType GetCallbackType() const { return m_type; }

private:
    INode* m_pNode;
    ECallbackType m_type;
};

template <class Client, class Member>
class Member_NodeCallback : public CNodeCallback {
public:
    Member_NodeCallback(INode* node, Client& client, Member member, ECallbackType type)
        : CNodeCallback(node, type), m_client(client), m_member(member)
    {
    }
    void operator()(ECallbackType type) const override
    {
        if (m_member && type == GetCallbackType())
            (m_client.*m_member)(GetNode());
    }

private:
    Client& m_client;
    Member m_member;
};

template <class Function>
class Function_NodeCallback : public CNodeCallback {
public:
    Function_NodeCallback(INode* node, Function function, ECallbackType type)
        : CNodeCallback(node, type), m_function(function)
    {
    }
    void operator()(ECallbackType type) const override
    {
        if (m_function && type == GetCallbackType())
            m_function(GetNode());
    }

private:
    Function m_function;
};

// Attaches the callback to node (taking it over) and gives its handle; 0 when node is null or refuses it.
CallbackHandleType RegisterCallbackObject(INode* node, CNodeCallback* callback);

template <class Client, class Member>
CallbackHandleType Register(INode* node, Client& client, Member member, ECallbackType type = cbPostInsideLock)
{
    if (!node || !member)
        return 0;
    return RegisterCallbackObject(node, new Member_NodeCallback<Client, Member>(node, client, member, type));
}

template <class Client, class Member>
CallbackHandleType Register(INode* node, Client* client, Member member, ECallbackType type = cbPostInsideLock)
{
    if (!node || !client || !member)
        return 0;
    return RegisterCallbackObject(node, new Member_NodeCallback<Client, Member>(node, *client, member, type));
}

inline CallbackHandleType Register(INode* node, void (*function)(INode*), ECallbackType type = cbPostInsideLock)
{
    if (!node || !function)
        return 0;
    return RegisterCallbackObject(node, new Function_NodeCallback<void (*)(INode*)>(node, function, type));
}

// Removes a callback by its handle, from whichever node holds it; false for an unknown handle.
bool Deregister(CallbackHandleType handle);
} // namespace GenApi
