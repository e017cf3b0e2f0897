#pragma once
// The calculator console: expressions over 64-bit integers and strings, used to try bitboard
// formulas. Operators (C precedence): unary - ~ !, * / %, + -, << >>, < <= > >=, == !=, &, ^, |.
// Numbers: decimal, 0x hexadecimal, 0b binary. Strings in double quotes; + joins strings.
// Functions: FSET(name, value) sets a variable, FHEX(x) and FBIN(x) show x in hexadecimal and
// binary, F64(x) shows x as a board (rank 8 first, a-file left, h1 is bit 0), FPOP(x) counts
// bits. Names of variables are case-insensitive.

#include <cstdint>
#include <functional>
#include <map>
#include <string>

namespace drnChess {

class clsParser {
public:
    using Printer = std::function<void(const std::string&)>;
    explicit clsParser(Printer printer)
        : print_(std::move(printer))
    {
    }

    void PrintHelp() const;
    // Evaluates one line and returns the text to show ("# error: ..." on a bad expression).
    std::string Evaluate(const std::string& line);

private:
    struct Value {
        bool isText = false;
        std::int64_t number = 0;
        std::string text;
    };
    Value Expression(int level);
    Value Unary();
    Value Primary();
    std::string Name();
    void SkipBlanks();
    bool Accept(const char* token);
    [[noreturn]] void Fail(const std::string& why);
    static std::string Show(const Value& v);

    Printer print_;
    std::map<std::string, Value> variables_;
    static constexpr int MaxNesting = 200;
    std::string line_;
    std::size_t pos_ = 0;
    int depth_ = 0;
};

} // namespace drnChess
