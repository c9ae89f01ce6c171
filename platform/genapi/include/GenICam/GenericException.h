// The GenICam exception family and the printf-style helpers that throw them with file and line.
#pragma once

#include <exception>
#include <string>

namespace GenICam {
class GenericException : public std::exception {
public:
    GenericException(const char* description, const char* sourceFileName, unsigned int sourceLine)
        : GenericException(description, sourceFileName, sourceLine, "GenericException")
    {
    }
    GenericException(const char* description, const char* sourceFileName, unsigned int sourceLine,
                     const char* exceptionType);
    ~GenericException() noexcept override = default;

    const char* GetDescription() const noexcept { return m_description.c_str(); }
    const char* GetSourceFileName() const noexcept { return m_sourceFileName.c_str(); }
    unsigned int GetSourceLine() const noexcept { return m_sourceLine; }
    const char* GetExceptionType() const noexcept { return m_exceptionType.c_str(); }
    // "<description> : <type> thrown (file '<file>', line <line>)"
    const char* what() const noexcept override { return m_what.c_str(); }

private:
    std::string m_description;
    std::string m_sourceFileName;
    unsigned int m_sourceLine = 0;
    std::string m_exceptionType;
    std::string m_what;
};

// Declares an exception type of the family that adds only its type name.
#define GENICAM_DECLARE_EXCEPTION(Name, Base)                                                                          \
    class Name : public Base {                                                                                         \
    public:                                                                                                            \
        Name(const char* description, const char* sourceFileName, unsigned int sourceLine)                             \
            : Base(description, sourceFileName, sourceLine, #Name)                                                     \
        {                                                                                                              \
        }                                                                                                              \
        Name(const char* description, const char* sourceFileName, unsigned int sourceLine, const char* exceptionType)  \
            : Base(description, sourceFileName, sourceLine, exceptionType)                                             \
        {                                                                                                              \
        }                                                                                                              \
    }

GENICAM_DECLARE_EXCEPTION(BadAllocException, GenericException);
GENICAM_DECLARE_EXCEPTION(InvalidArgumentException, GenericException);
GENICAM_DECLARE_EXCEPTION(OutOfRangeException, GenericException);
GENICAM_DECLARE_EXCEPTION(PropertyException, GenericException);
GENICAM_DECLARE_EXCEPTION(RuntimeException, GenericException);
GENICAM_DECLARE_EXCEPTION(LogicalErrorException, GenericException);
GENICAM_DECLARE_EXCEPTION(AccessException, GenericException);
GENICAM_DECLARE_EXCEPTION(TimeoutException, GenericException);
GENICAM_DECLARE_EXCEPTION(DynamicCastException, GenericException);

// Formats a printf-style description (no length limit).
std::string FormatDescription(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Builds an exception of type E with a formatted description and the place it was raised.
template <class E>
class ExceptionReporter {
public:
    ExceptionReporter(const char* sourceFileName, unsigned int sourceLine)
        : m_sourceFileName(sourceFileName), m_sourceLine(sourceLine)
    {
    }
    template <class... Args>
    E Report(const char* format, Args... args) const
    {
        return E(FormatDescription(format, args...).c_str(), m_sourceFileName, m_sourceLine);
    }
    E Report() const { return E("", m_sourceFileName, m_sourceLine); }

private:
    const char* m_sourceFileName;
    unsigned int m_sourceLine;
};
} // namespace GenICam

// Usage: throw RUNTIME_EXCEPTION("Node '%s' not found", name.c_str());
#define GENICAM_EXCEPTION(Type) GenICam::ExceptionReporter<Type>(__FILE__, __LINE__).Report
#define GENERIC_EXCEPTION GENICAM_EXCEPTION(GenICam::GenericException)
#define BAD_ALLOC_EXCEPTION GENICAM_EXCEPTION(GenICam::BadAllocException)
#define INVALID_ARGUMENT_EXCEPTION GENICAM_EXCEPTION(GenICam::InvalidArgumentException)
#define OUT_OF_RANGE_EXCEPTION GENICAM_EXCEPTION(GenICam::OutOfRangeException)
#define PROPERTY_EXCEPTION GENICAM_EXCEPTION(GenICam::PropertyException)
#define RUNTIME_EXCEPTION GENICAM_EXCEPTION(GenICam::RuntimeException)
#define LOGICAL_ERROR_EXCEPTION GENICAM_EXCEPTION(GenICam::LogicalErrorException)
#define ACCESS_EXCEPTION GENICAM_EXCEPTION(GenICam::AccessException)
#define TIMEOUT_EXCEPTION GENICAM_EXCEPTION(GenICam::TimeoutException)
#define DYNAMICCAST_EXCEPTION GENICAM_EXCEPTION(GenICam::DynamicCastException)
// Throws at once: GENICAM_THROW(GenICam::RuntimeException, "x = %d", x);
#define GENICAM_THROW(Type, ...) throw GENICAM_EXCEPTION(Type)(__VA_ARGS__)
