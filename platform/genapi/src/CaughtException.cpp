// Reads the exception being handled once, by its kind; the texts come from the pointers kept then.
#include <GenICam/CaughtException.h>

namespace GenICam {

CaughtException CaughtException::Current() noexcept
{
    CaughtException caught;
    caught.m_exception = std::current_exception();
    if (!caught.m_exception)
        return caught; // outside a catch block: "throw;" would end the program
    // Rethrown from the pointer kept, so that what the pointers below see lives as long as this copy.
    try {
        std::rethrow_exception(caught.m_exception);
    } catch (const GenericException& e) {
        caught.m_genicam = &e;
        caught.m_standard = &e;
    } catch (const std::exception& e) {
        caught.m_standard = &e;
    } catch (...) {
    }
    return caught;
}

const char* CaughtException::Description(const char* unknown) const noexcept
{
    if (m_genicam)
        return m_genicam->GetDescription();
    return m_standard ? m_standard->what() : unknown;
}

const char* CaughtException::What(const char* unknown) const noexcept
{
    return m_standard ? m_standard->what() : unknown;
}

} // namespace GenICam
