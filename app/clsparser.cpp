#include "app/clsparser.h"

#include <cctype>
#include <stdexcept>

#include "dranbase/clsstring.h"

namespace drnChess {

namespace {
    struct ParseError : std::runtime_error {
        using std::runtime_error::runtime_error;
    };

    std::string Hex(std::uint64_t v)
    {
        char buf[32];
        std::snprintf(buf, sizeof buf, "0x%016llX", static_cast<unsigned long long>(v));
        return buf;
    }

    std::string Binary(std::uint64_t v)
    {
        std::string s;
        for (int i = 63; i >= 0; --i) {
            s += ((v >> i) & 1) ? '1' : '0';
            if (i % 8 == 0 && i) s += '.';
        }
        return s;
    }

    std::string Board(std::uint64_t v)
    {
        std::string s;
        for (int rank = 7; rank >= 0; --rank) {
            s += "# ";
            for (int file = 0; file < 8; ++file)
                s += ((v >> (8 * rank + 7 - file)) & 1) ? 'X' : '.';
            if (rank) s += '\n';
        }
        return s;
    }
} // namespace

void clsParser::PrintHelp() const
{
    print_("# sample of commands:");
    print_("#   FSET(a, 0x00FF) ; a << 8 ; FHEX(a | 1) ; FBIN(a) ; F64(0x8100000000000081)");
    print_("#   \"text\" + \"more\" ; 7 * (3 + 4) % 5 ; FPOP(a)");
    print_("#   exit  leaves the console");
}

std::string clsParser::Evaluate(const std::string& line)
{
    line_ = line;
    pos_ = 0;
    depth_ = 0;
    try {
        SkipBlanks();
        if (pos_ >= line_.size()) return "";
        Value v = Expression(0);
        SkipBlanks();
        if (pos_ < line_.size()) Fail("unexpected '" + line_.substr(pos_, 1) + "'");
        return Show(v);
    } catch (const ParseError& e) {
        return std::string("# error: ") + e.what();
    }
}

std::string clsParser::Show(const Value& v)
{
    if (v.isText) return v.text;
    return std::to_string(v.number);
}

void clsParser::Fail(const std::string& why)
{
    throw ParseError(why + " at column " + std::to_string(pos_ + 1));
}

void clsParser::SkipBlanks()
{
    while (pos_ < line_.size() && std::isspace(static_cast<unsigned char>(line_[pos_])))
        ++pos_;
}

bool clsParser::Accept(const char* token)
{
    SkipBlanks();
    std::size_t n = std::char_traits<char>::length(token);
    if (line_.compare(pos_, n, token) != 0) return false;
    // "<" must not take the first half of "<<" or "<="; likewise for the others.
    if (n == 1 && pos_ + 1 < line_.size()) {
        char c = token[0], d = line_[pos_ + 1];
        if ((c == '<' || c == '>') && (d == c || d == '=')) return false;
        if ((c == '&' || c == '|') && d == c) return false;
        if ((c == '=' || c == '!') && d == '=') return false;
    }
    pos_ += n;
    return true;
}

// Binary operators by precedence level, loosest first.
clsParser::Value clsParser::Expression(int level)
{
    static const std::vector<std::vector<const char*>> levels = {
        { "|" },
        { "^" },
        { "&" },
        { "==", "!=" },
        { "<=", ">=", "<", ">" },
        { "<<", ">>" },
        { "+", "-" },
        { "*", "/", "%" },
    };
    if (level >= static_cast<int>(levels.size())) return Unary();
    Value left = Expression(level + 1);
    for (;;) {
        const char* op = nullptr;
        for (const char* candidate : levels[static_cast<std::size_t>(level)])
            if (Accept(candidate)) {
                op = candidate;
                break;
            }
        if (!op) return left;
        Value right = Expression(level + 1);
        std::string o = op;
        if (o == "+" && (left.isText || right.isText)) {
            left = Value { true, 0, Show(left) + Show(right) };
            continue;
        }
        if (left.isText || right.isText) Fail("operator " + o + " needs numbers");
        std::int64_t a = left.number, b = right.number;
        std::uint64_t ua = static_cast<std::uint64_t>(a), ub = static_cast<std::uint64_t>(b);
        std::int64_t r = 0;
        if (o == "|")
            r = a | b;
        else if (o == "^")
            r = a ^ b;
        else if (o == "&")
            r = a & b;
        else if (o == "==")
            r = a == b;
        else if (o == "!=")
            r = a != b;
        else if (o == "<=")
            r = a <= b;
        else if (o == ">=")
            r = a >= b;
        else if (o == "<")
            r = a < b;
        else if (o == ">")
            r = a > b;
        else if (o == "<<")
            r = static_cast<std::int64_t>(ub >= 64 ? 0 : ua << ub);
        else if (o == ">>")
            r = static_cast<std::int64_t>(ub >= 64 ? 0 : ua >> ub);
        else if (o == "+")
            r = static_cast<std::int64_t>(ua + ub);
        else if (o == "-")
            r = static_cast<std::int64_t>(ua - ub);
        else if (o == "*")
            r = static_cast<std::int64_t>(ua * ub);
        else {
            if (b == 0) Fail("division by zero");
            if (a == INT64_MIN && b == -1) Fail("overflow");
            r = o == "/" ? a / b : a % b;
        }
        left = Value { false, r, {} };
    }
}

clsParser::Value clsParser::Unary()
{
    // Every nesting (a bracket, a unary operator, a function argument) passes through here: a
    // depth limit keeps a line of a few thousand '(' from exhausting the stack.
    struct Nesting {
        int& depth;
        explicit Nesting(int& d)
            : depth(++d)
        {
        }
        ~Nesting() { --depth; }
    } nesting(depth_);
    if (depth_ > MaxNesting) Fail("nested more than " + std::to_string(MaxNesting) + " deep");
    if (Accept("-")) {
        Value v = Unary();
        if (v.isText) Fail("'-' needs a number");
        v.number = static_cast<std::int64_t>(0 - static_cast<std::uint64_t>(v.number));
        return v;
    }
    if (Accept("~")) {
        Value v = Unary();
        if (v.isText) Fail("'~' needs a number");
        v.number = ~v.number;
        return v;
    }
    if (Accept("!")) {
        Value v = Unary();
        if (v.isText) Fail("'!' needs a number");
        v.number = !v.number;
        return v;
    }
    return Primary();
}

std::string clsParser::Name()
{
    std::size_t b = pos_;
    while (
        pos_ < line_.size() && (std::isalnum(static_cast<unsigned char>(line_[pos_])) || line_[pos_] == '_'))
        ++pos_;
    return dranbase::ToLower(line_.substr(b, pos_ - b));
}

clsParser::Value clsParser::Primary()
{
    SkipBlanks();
    if (pos_ >= line_.size()) Fail("missing value");
    char c = line_[pos_];
    if (c == '(') {
        ++pos_;
        Value v = Expression(0);
        if (!Accept(")")) Fail("missing ')'");
        return v;
    }
    if (c == '"') {
        std::size_t end = line_.find('"', pos_ + 1);
        if (end == std::string::npos) Fail("unterminated text");
        Value v { true, 0, line_.substr(pos_ + 1, end - pos_ - 1) };
        pos_ = end + 1;
        return v;
    }
    if (std::isdigit(static_cast<unsigned char>(c))) {
        int base = 10;
        if (c == '0' && pos_ + 1 < line_.size() && (line_[pos_ + 1] == 'x' || line_[pos_ + 1] == 'X'))
            base = 16;
        if (c == '0' && pos_ + 1 < line_.size() && (line_[pos_ + 1] == 'b' || line_[pos_ + 1] == 'B'))
            base = 2;
        if (base != 10) pos_ += 2;
        std::uint64_t v = 0;
        std::size_t digits = 0;
        while (pos_ < line_.size()) {
            int d = std::isdigit(static_cast<unsigned char>(line_[pos_])) ? line_[pos_] - '0'
                : std::isxdigit(static_cast<unsigned char>(line_[pos_]))
                ? std::tolower(line_[pos_]) - 'a' + 10
                : 99;
            if (d >= base) break;
            v = v * static_cast<unsigned>(base) + static_cast<unsigned>(d);
            ++pos_;
            ++digits;
        }
        if (digits == 0) Fail("missing digits");
        return Value { false, static_cast<std::int64_t>(v), {} };
    }
    if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
        std::string name = Name();
        if (Accept("(")) {
            std::vector<Value> args;
            std::string varName;
            if (name == "fset") {
                SkipBlanks();
                varName = Name();
                if (varName.empty()) Fail("FSET needs a variable name");
                if (!Accept(",")) Fail("missing ','");
            }
            if (!Accept(")")) {
                do
                    args.push_back(Expression(0));
                while (Accept(","));
                if (!Accept(")")) Fail("missing ')'");
            }
            auto number = [&](std::size_t i) {
                if (i >= args.size() || args[i].isText) Fail(name + " needs a number");
                return static_cast<std::uint64_t>(args[i].number);
            };
            if (name == "fset") {
                if (args.size() != 1) Fail("FSET takes a name and a value");
                variables_[varName] = args[0];
                return args[0];
            }
            if (name == "fhex") return Value { true, 0, Hex(number(0)) };
            if (name == "fbin") return Value { true, 0, Binary(number(0)) };
            if (name == "f64") return Value { true, 0, Board(number(0)) };
            if (name == "fpop") return Value { false, __builtin_popcountll(number(0)), {} };
            Fail("unknown function " + name);
        }
        auto it = variables_.find(name);
        if (it == variables_.end()) Fail("unknown variable " + name);
        return it->second;
    }
    Fail(std::string("unexpected '") + c + "'");
}

} // namespace drnChess
