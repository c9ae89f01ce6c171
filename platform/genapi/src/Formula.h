// A parsed formula of the GenICam formula language, evaluated in integer or double arithmetic.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace GenApi {
// Immutable after parsing; evaluation is re-entrant (the node map's lock serialises callers).
class CFormula {
public:
    // Gives the value of variable number index, as double or as integer.
    struct Variables {
        std::function<double(size_t index)> asDouble;
        std::function<int64_t(size_t index)> asInteger;
    };

    // Throws RuntimeException naming the problem for a text that is not a formula.
    explicit CFormula(const std::string& text);
    ~CFormula();

    // Names of the variables the formula uses, in order of first use; their indexes are the positions here.
    const std::vector<std::string>& GetVariableNames() const { return m_variables; }
    const std::string& GetText() const { return m_text; }

    double EvaluateDouble(const Variables& variables) const;
    int64_t EvaluateInteger(const Variables& variables) const;

    struct Expr;

private:
    std::string m_text;
    std::vector<std::string> m_variables;
    std::unique_ptr<Expr> m_root;
};
} // namespace GenApi
