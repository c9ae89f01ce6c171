// The failure last told to the user about one camera.
#include "ToldFailure.h"

#include "EngineLog.h"

#include <GenICam/CaughtException.h>

bool ToldFailure::toldAlready(const char* where, const char* message)
{
    const QString failure = QString::fromUtf8(GenICam::CaughtException::Current().What());
    if (failure != m_failure) {
        m_failure = failure;
        return false;
    }
    enginelog::write(enginelog::Base, enginelog::Failure, "%s: %s %s (told already)", where, message,
                     failure.toUtf8().constData());
    return true;
}
