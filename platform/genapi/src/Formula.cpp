// Parser and evaluators of the GenICam formula language.
#include "Formula.h"

#include <GenICam/GenericException.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace GenApi {
enum class Op {
    Number,
    Variable,
    Constant,
    Negate,
    Plus,
    BitNot,
    Call,
    Ternary,
    Or,
    And,
    BitOr,
    BitXor,
    BitAnd,
    Equal,
    NotEqual,
    Less,
    LessEqual,
    Greater,
    GreaterEqual,
    ShiftLeft,
    ShiftRight,
    Add,
    Subtract,
    Multiply,
    Divide,
    Modulo,
    Power
};

enum class Function { Sin, Cos, Tan, Asin, Acos, Atan, Abs, Exp, Ln, Lg, Sqrt, Trunc, Floor, Ceil, Round, Sgn, Neg };

struct CFormula::Expr {
    Op op = Op::Number;
    bool isInteger = false; // a literal without fraction or exponent
    int64_t integer = 0;
    double number = 0.0;
    size_t variable = 0;
    Function function = Function::Abs;
    std::unique_ptr<Expr> a, b, c;
};

namespace {
using Expr = CFormula::Expr;

std::unique_ptr<Expr> makeExpr(Op op, std::unique_ptr<Expr> a = nullptr, std::unique_ptr<Expr> b = nullptr)
{
    auto e = std::make_unique<Expr>();
    e->op = op;
    e->a = std::move(a);
    e->b = std::move(b);
    return e;
}

class Parser {
public:
    Parser(const std::string& text, std::vector<std::string>& variables) : m_text(text), m_variables(variables) {}

    std::unique_ptr<Expr> parse()
    {
        auto e = parseTernary();
        skipSpace();
        if (m_pos != m_text.size())
            fail("unexpected '%c'", m_text[m_pos]);
        return e;
    }

private:
    template <class... Args>
    [[noreturn]] void fail(const char* what, Args... args)
    {
        const std::string detail = GenICam::FormatDescription(what, args...);
        throw RUNTIME_EXCEPTION("Formula '%s': %s at position %zu", m_text.c_str(), detail.c_str(), m_pos);
    }

    void skipSpace()
    {
        while (m_pos < m_text.size() && std::isspace(static_cast<unsigned char>(m_text[m_pos])))
            ++m_pos;
    }

    bool accept(const char* token)
    {
        skipSpace();
        const size_t n = std::char_traits<char>::length(token);
        if (m_text.compare(m_pos, n, token) != 0)
            return false;
        m_pos += n;
        return true;
    }

    // Accepts token unless it is the start of a longer operator (e.g. '<' of '<=', '*' of '**').
    bool acceptExact(const char* token, const char* notFollowedBy)
    {
        skipSpace();
        const size_t n = std::char_traits<char>::length(token);
        if (m_text.compare(m_pos, n, token) != 0)
            return false;
        if (m_pos + n < m_text.size() && std::strchr(notFollowedBy, m_text[m_pos + n]) && *notFollowedBy)
            return false;
        m_pos += n;
        return true;
    }

    // Parsing, evaluating and destroying a tree each go one call deeper per level of nesting, so a
    // description is refused for its depth before any of them could run out of stack.
    template <class Parse>
    std::unique_ptr<Expr> nested(Parse parse)
    {
        if (++m_depth > 200)
            fail("nested too deeply");
        auto e = parse();
        --m_depth;
        return e;
    }

    std::unique_ptr<Expr> parseTernary()
    {
        auto condition = parseBinary(0);
        if (accept("?")) {
            auto whenTrue = nested([this] { return parseTernary(); });
            if (!accept(":"))
                fail("':' expected");
            auto whenFalse = nested([this] { return parseTernary(); });
            auto e = makeExpr(Op::Ternary, std::move(condition), std::move(whenTrue));
            e->c = std::move(whenFalse);
            return e;
        }
        return condition;
    }

    // Binary operators from the loosest to the tightest binding level.
    bool acceptBinary(int level, Op& op)
    {
        switch (level) {
        case 0: return accept("||") ? (op = Op::Or, true) : false;
        case 1: return accept("&&") ? (op = Op::And, true) : false;
        case 2: return acceptExact("|", "|") ? (op = Op::BitOr, true) : false;
        case 3: return accept("^") ? (op = Op::BitXor, true) : false;
        case 4: return acceptExact("&", "&") ? (op = Op::BitAnd, true) : false;
        case 5:
            if (accept("<>"))
                return op = Op::NotEqual, true;
            return accept("=") ? (op = Op::Equal, true) : false;
        case 6:
            if (accept("<="))
                return op = Op::LessEqual, true;
            if (accept(">="))
                return op = Op::GreaterEqual, true;
            if (acceptExact("<", "<>"))
                return op = Op::Less, true;
            return acceptExact(">", ">") ? (op = Op::Greater, true) : false;
        case 7:
            if (accept("<<"))
                return op = Op::ShiftLeft, true;
            return accept(">>") ? (op = Op::ShiftRight, true) : false;
        case 8:
            if (accept("+"))
                return op = Op::Add, true;
            return accept("-") ? (op = Op::Subtract, true) : false;
        case 9:
            if (acceptExact("*", "*"))
                return op = Op::Multiply, true;
            if (accept("/"))
                return op = Op::Divide, true;
            return accept("%") ? (op = Op::Modulo, true) : false;
        }
        return false;
    }

    std::unique_ptr<Expr> parseBinary(int level)
    {
        if (level == 10)
            return parsePower();
        auto left = parseBinary(level + 1);
        Op op;
        while (acceptBinary(level, op)) {
            // Evaluation and destruction recurse along the tree, so its size is bounded.
            if (++m_operators > 10000)
                fail("more than 10000 operators");
            left = makeExpr(op, std::move(left), parseBinary(level + 1));
        }
        return left;
    }

    // '**' binds tighter than the multiplicative operators and groups to the right.
    std::unique_ptr<Expr> parsePower()
    {
        auto base = parseUnary();
        if (accept("**"))
            return makeExpr(Op::Power, std::move(base), nested([this] { return parsePower(); }));
        return base;
    }

    std::unique_ptr<Expr> parseUnary()
    {
        return nested([this] {
            if (accept("-"))
                return makeExpr(Op::Negate, parsePower());
            if (accept("+"))
                return makeExpr(Op::Plus, parsePower());
            if (accept("~"))
                return makeExpr(Op::BitNot, parsePower());
            return parsePrimary();
        });
    }

    std::unique_ptr<Expr> parsePrimary()
    {
        skipSpace();
        if (m_pos >= m_text.size())
            fail("operand expected");
        const char c = m_text[m_pos];
        if (c == '(') {
            ++m_pos;
            auto e = parseTernary();
            if (!accept(")"))
                fail("')' expected");
            return e;
        }
        if (std::isdigit(static_cast<unsigned char>(c)) || c == '.')
            return parseNumber();
        if (std::isalpha(static_cast<unsigned char>(c)) || c == '_')
            return parseName();
        fail("unexpected '%c'", c);
    }

    std::unique_ptr<Expr> parseNumber()
    {
        auto e = makeExpr(Op::Number);
        const char* begin = m_text.c_str() + m_pos;
        char* end = nullptr;
        // Integer literals hold 64 bits, a hexadecimal one any pattern of them, a decimal one a signed
        // value; a longer one is refused rather than taken as the largest value.
        if (m_text.compare(m_pos, 2, "0x") == 0 || m_text.compare(m_pos, 2, "0X") == 0) {
            // The digits alone: strtoull would also take a sign, blanks or a second prefix before them.
            const char* digits = begin + 2;
            while (std::isxdigit(static_cast<unsigned char>(*digits)))
                ++digits;
            errno = 0;
            const unsigned long long v = std::strtoull(begin + 2, &end, 16);
            if (end == begin + 2 || end != digits)
                fail("hexadecimal digits expected");
            if (errno == ERANGE)
                fail("the literal does not fit 64 bits");
            e->isInteger = true;
            e->integer = static_cast<int64_t>(v);
            e->number = static_cast<double>(e->integer);
        } else {
            size_t i = m_pos;
            while (i < m_text.size() && std::isdigit(static_cast<unsigned char>(m_text[i])))
                ++i;
            const bool fractional = i < m_text.size() && (m_text[i] == '.' || m_text[i] == 'e' || m_text[i] == 'E');
            if (fractional) {
                e->number = std::strtod(begin, &end);
                if (end == begin)
                    fail("number expected");
            } else {
                errno = 0;
                e->isInteger = true;
                e->integer = std::strtoll(begin, &end, 10);
                if (errno == ERANGE)
                    fail("the literal does not fit a signed 64-bit integer");
                e->number = static_cast<double>(e->integer);
            }
        }
        m_pos = static_cast<size_t>(end - m_text.c_str());
        return e;
    }

    std::unique_ptr<Expr> parseName()
    {
        const size_t start = m_pos;
        while (m_pos < m_text.size() && (std::isalnum(static_cast<unsigned char>(m_text[m_pos])) ||
                                         m_text[m_pos] == '_' || m_text[m_pos] == '.'))
            ++m_pos;
        const std::string name = m_text.substr(start, m_pos - start);
        static const struct {
            const char* name;
            Function function;
        } functions[] = {{"SIN", Function::Sin},     {"COS", Function::Cos},   {"TAN", Function::Tan},
                         {"ASIN", Function::Asin},   {"ACOS", Function::Acos}, {"ATAN", Function::Atan},
                         {"ABS", Function::Abs},     {"EXP", Function::Exp},   {"LN", Function::Ln},
                         {"LG", Function::Lg},       {"SQRT", Function::Sqrt}, {"TRUNC", Function::Trunc},
                         {"FLOOR", Function::Floor}, {"CEIL", Function::Ceil}, {"ROUND", Function::Round},
                         {"SGN", Function::Sgn},     {"NEG", Function::Neg}};
        skipSpace();
        if (m_pos < m_text.size() && m_text[m_pos] == '(') {
            for (const auto& f : functions) {
                if (name == f.name) {
                    ++m_pos;
                    auto e = makeExpr(Op::Call, parseTernary());
                    e->function = f.function;
                    // ROUND takes the digits to keep after the point as a second argument.
                    if (f.function == Function::Round && accept(","))
                        e->b = parseTernary();
                    if (!accept(")"))
                        fail("')' expected after the argument of %s", f.name);
                    return e;
                }
            }
            fail("unknown function '%s'", name.c_str());
        }
        if (name == "PI" || name == "E") {
            auto e = makeExpr(Op::Constant);
            e->number = name == "PI" ? M_PI : M_E;
            e->integer = static_cast<int64_t>(e->number);
            return e;
        }
        auto e = makeExpr(Op::Variable);
        size_t index = 0;
        while (index < m_variables.size() && m_variables[index] != name)
            ++index;
        if (index == m_variables.size())
            m_variables.push_back(name);
        e->variable = index;
        return e;
    }

    const std::string& m_text;
    std::vector<std::string>& m_variables;
    size_t m_pos = 0;
    int m_depth = 0;
    int m_operators = 0;
};

// ROUND(x, digits): x rounded to that many digits after the point (before it, for negative digits).
double roundToDigits(double x, double digits)
{
    const double scale = std::pow(10.0, std::trunc(digits));
    const double scaled = std::round(x * scale) / scale;
    return std::isfinite(scaled) ? scaled : x;
}

double applyFunction(Function f, double x)
{
    switch (f) {
    case Function::Sin: return std::sin(x);
    case Function::Cos: return std::cos(x);
    case Function::Tan: return std::tan(x);
    case Function::Asin: return std::asin(x);
    case Function::Acos: return std::acos(x);
    case Function::Atan: return std::atan(x);
    case Function::Abs: return std::fabs(x);
    case Function::Exp: return std::exp(x);
    case Function::Ln: return std::log(x);
    case Function::Lg: return std::log10(x);
    case Function::Sqrt: return std::sqrt(x);
    case Function::Trunc: return std::trunc(x);
    case Function::Floor: return std::floor(x);
    case Function::Ceil: return std::ceil(x);
    case Function::Round: return std::round(x);
    case Function::Sgn: return x > 0 ? 1.0 : x < 0 ? -1.0 : 0.0;
    case Function::Neg: return -x;
    }
    return x;
}

// Doubles outside the 64-bit range (and NaN) become 0 rather than undefined behaviour.
int64_t toInteger(double v)
{
    if (!(v > -9.2233720368547758e18 && v < 9.2233720368547758e18))
        return 0;
    return static_cast<int64_t>(v);
}

int64_t shiftLeft(int64_t v, int64_t n)
{
    return n < 0 || n >= 64 ? 0 : static_cast<int64_t>(static_cast<uint64_t>(v) << n);
}

int64_t shiftRight(int64_t v, int64_t n)
{
    return n < 0 || n >= 64 ? (v < 0 ? -1 : 0) : v >> n;
}

// Integer arithmetic wraps around like the hardware registers it describes.
int64_t wrap(uint64_t v)
{
    return static_cast<int64_t>(v);
}

double evalDouble(const Expr& e, const CFormula::Variables& vars, const std::string& text)
{
    auto A = [&] { return evalDouble(*e.a, vars, text); };
    auto B = [&] { return evalDouble(*e.b, vars, text); };
    switch (e.op) {
    case Op::Number:
    case Op::Constant: return e.number;
    case Op::Variable: return vars.asDouble(e.variable);
    case Op::Negate: return -A();
    case Op::Plus: return A();
    case Op::BitNot: return static_cast<double>(~toInteger(A()));
    case Op::Call: return e.b ? roundToDigits(A(), B()) : applyFunction(e.function, A());
    case Op::Ternary: return A() != 0.0 ? B() : evalDouble(*e.c, vars, text);
    case Op::Or: return (A() != 0.0 || B() != 0.0) ? 1.0 : 0.0;
    case Op::And: return (A() != 0.0 && B() != 0.0) ? 1.0 : 0.0;
    case Op::BitOr: return static_cast<double>(toInteger(A()) | toInteger(B()));
    case Op::BitXor: return static_cast<double>(toInteger(A()) ^ toInteger(B()));
    case Op::BitAnd: return static_cast<double>(toInteger(A()) & toInteger(B()));
    case Op::Equal: return A() == B() ? 1.0 : 0.0;
    case Op::NotEqual: return A() != B() ? 1.0 : 0.0;
    case Op::Less: return A() < B() ? 1.0 : 0.0;
    case Op::LessEqual: return A() <= B() ? 1.0 : 0.0;
    case Op::Greater: return A() > B() ? 1.0 : 0.0;
    case Op::GreaterEqual: return A() >= B() ? 1.0 : 0.0;
    case Op::ShiftLeft: return static_cast<double>(shiftLeft(toInteger(A()), toInteger(B())));
    case Op::ShiftRight: return static_cast<double>(shiftRight(toInteger(A()), toInteger(B())));
    case Op::Add: return A() + B();
    case Op::Subtract: return A() - B();
    case Op::Multiply: return A() * B();
    case Op::Divide: return A() / B();
    case Op::Modulo: return std::fmod(A(), B());
    case Op::Power: return std::pow(A(), B());
    }
    return 0.0;
}

int64_t evalInteger(const Expr& e, const CFormula::Variables& vars, const std::string& text)
{
    auto A = [&] { return evalInteger(*e.a, vars, text); };
    auto B = [&] { return evalInteger(*e.b, vars, text); };
    switch (e.op) {
    case Op::Number: return e.isInteger ? e.integer : toInteger(e.number);
    case Op::Constant: return e.integer;
    case Op::Variable: return vars.asInteger(e.variable);
    case Op::Negate: return wrap(0 - static_cast<uint64_t>(A()));
    case Op::Plus: return A();
    case Op::BitNot: return ~A();
    case Op::Call:
        // Functions work on doubles; their result is cut toward zero.
        return toInteger(e.b ? roundToDigits(static_cast<double>(A()), static_cast<double>(B()))
                             : applyFunction(e.function, static_cast<double>(A())));
    case Op::Ternary: return A() != 0 ? B() : evalInteger(*e.c, vars, text);
    case Op::Or: return (A() != 0 || B() != 0) ? 1 : 0;
    case Op::And: return (A() != 0 && B() != 0) ? 1 : 0;
    case Op::BitOr: return A() | B();
    case Op::BitXor: return A() ^ B();
    case Op::BitAnd: return A() & B();
    case Op::Equal: return A() == B() ? 1 : 0;
    case Op::NotEqual: return A() != B() ? 1 : 0;
    case Op::Less: return A() < B() ? 1 : 0;
    case Op::LessEqual: return A() <= B() ? 1 : 0;
    case Op::Greater: return A() > B() ? 1 : 0;
    case Op::GreaterEqual: return A() >= B() ? 1 : 0;
    case Op::ShiftLeft: return shiftLeft(A(), B());
    case Op::ShiftRight: return shiftRight(A(), B());
    case Op::Add: return wrap(static_cast<uint64_t>(A()) + static_cast<uint64_t>(B()));
    case Op::Subtract: return wrap(static_cast<uint64_t>(A()) - static_cast<uint64_t>(B()));
    case Op::Multiply: return wrap(static_cast<uint64_t>(A()) * static_cast<uint64_t>(B()));
    case Op::Divide:
    case Op::Modulo: {
        const int64_t a = A(), b = B();
        if (b == 0)
            throw RUNTIME_EXCEPTION("Formula '%s': division by zero", text.c_str());
        if (b == -1) // INT64_MIN / -1 overflows
            return e.op == Op::Divide ? wrap(0 - static_cast<uint64_t>(a)) : 0;
        return e.op == Op::Divide ? a / b : a % b;
    }
    case Op::Power: {
        const int64_t base = A(), exponent = B();
        if (exponent < 0)
            return toInteger(std::pow(static_cast<double>(base), static_cast<double>(exponent)));
        uint64_t result = 1, factor = static_cast<uint64_t>(base);
        for (int64_t n = exponent; n > 0 && result != 0; n >>= 1) {
            if (n & 1)
                result *= factor;
            factor *= factor;
        }
        return wrap(result);
    }
    }
    return 0;
}
} // namespace

CFormula::CFormula(const std::string& text) : m_text(text)
{
    Parser parser(m_text, m_variables);
    m_root = parser.parse();
}

CFormula::~CFormula() = default;

double CFormula::EvaluateDouble(const Variables& variables) const
{
    return evalDouble(*m_root, variables, m_text);
}

int64_t CFormula::EvaluateInteger(const Variables& variables) const
{
    return evalInteger(*m_root, variables, m_text);
}
} // namespace GenApi
