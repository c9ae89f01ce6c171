// A node callback's notice taken to the thread of the object it is meant for.
#include "orbelt/NodeNotice.h"

#include <GenApi/Node.h>
#include <threadcheck/HandOff.h>

#include <QMetaObject>
#include <QMetaType>
#include <QObject>
#include <QThread>

Q_DECLARE_METATYPE(GenApi::INode*)

void postNodeNotice(QObject* receiver, const char* slot, GenApi::INode* node)
{
    static const int registered = qRegisterMetaType<GenApi::INode*>("GenApi::INode*");
    (void)registered;
    if (QThread::currentThread() == receiver->thread()) {
        QMetaObject::invokeMethod(receiver, slot, Qt::DirectConnection, Q_ARG(GenApi::INode*, node));
        return;
    }
    // The call and its copy of the node pointer are made here and read on the receiver's thread
    // through Qt's queue alone.
    threadcheck::post(receiver, [&] {
        QMetaObject::invokeMethod(receiver, slot, Qt::QueuedConnection, Q_ARG(GenApi::INode*, node));
    });
}
