// The exception being handled, read as the texts the program logs and shows: one place that tells a
// GenICam exception from another standard exception and from a foreign type, for every catch block that
// reports whatever it caught.
#pragma once

#include <GenICam/GenericException.h>

#include <exception>

namespace GenICam {

// What is reported of an exception whose type is neither a GenICam nor a standard exception.
constexpr const char* UnspecifiedExceptionText = "Unspecified exception occurred.";

// Usage, inside a catch block:
//     } catch (...) {
//         qWarning("%s: %s", function, GenICam::CaughtException::Current().What());
//     }
// A copy keeps the exception alive, so it may be read after its catch block has ended; nothing here
// throws, and the exception is neither swallowed nor rethrown: that stays the catch block's choice.
class CaughtException {
public:
    // The exception being handled by the innermost active catch block; outside one, none, which reads as
    // a foreign type (IsKnown() false).
    static CaughtException Current() noexcept;

    // A GenICam exception's description (without its type, file and line), another standard exception's
    // what(), else `unknown`.
    const char* Description(const char* unknown = UnspecifiedExceptionText) const noexcept;
    // what() of a standard exception (a GenICam exception's with its type, file and line), else `unknown`.
    const char* What(const char* unknown = UnspecifiedExceptionText) const noexcept;

    // Whether it is a standard exception (GenICam exceptions are), that is one with a text of its own.
    bool IsKnown() const noexcept { return m_standard != nullptr; }
    // The exception as a GenICam exception, or null; as a standard exception, or null.
    const GenericException* GenICamException() const noexcept { return m_genicam; }
    const std::exception* StdException() const noexcept { return m_standard; }

private:
    std::exception_ptr m_exception;
    const std::exception* m_standard = nullptr;
    const GenericException* m_genicam = nullptr;
};

} // namespace GenICam
