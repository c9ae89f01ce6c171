// The GenICam exception's full text and the printf-style description formatter.
#include <GenICam/GenericException.h>

#include <cstdarg>
#include <cstdio>
#include <vector>

namespace GenICam {
GenericException::GenericException(const char* description, const char* sourceFileName, unsigned int sourceLine,
                                   const char* exceptionType)
    : m_description(description ? description : ""), m_sourceFileName(sourceFileName ? sourceFileName : ""),
      m_sourceLine(sourceLine), m_exceptionType(exceptionType ? exceptionType : "GenericException")
{
    m_what = m_description + " : " + m_exceptionType + " thrown (file '" + m_sourceFileName + "', line " +
             std::to_string(m_sourceLine) + ")";
}

std::string FormatDescription(const char* format, ...)
{
    if (!format)
        return std::string();
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int needed = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string out;
    if (needed > 0) {
        std::vector<char> buffer(static_cast<size_t>(needed) + 1);
        std::vsnprintf(buffer.data(), buffer.size(), format, args);
        out.assign(buffer.data(), static_cast<size_t>(needed));
    }
    va_end(args);
    return out;
}
} // namespace GenICam
