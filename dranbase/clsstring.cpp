#include "dranbase/clsstring.h"

#include <cstdio>
#include <cstdlib>

namespace dranbase {

std::size_t clsString::LoadFromFile(const std::string& path)
{
    clear();
    if (path.empty()) return 0;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return 0;
    std::string text;
    char buf[65536];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        text.append(buf, n);
    bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed) return 0;
    assign(std::move(text));
    return size();
}

bool clsString::SaveToFile(const std::string& path, bool overwrite) const
{
    if (path.empty()) return false;
    std::FILE* f = std::fopen(path.c_str(), overwrite ? "wb" : "ab+");
    if (!f) return false;
    bool ok = empty() || std::fwrite(data(), size(), 1, f) == 1;
    if (std::fclose(f) != 0) ok = false;
    return ok;
}

static char LowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    return true;
}

std::string ToLower(std::string_view s)
{
    std::string r(s);
    for (char& c : r)
        c = LowerAscii(c);
    return r;
}

std::string Trim(std::string_view s)
{
    auto isBlank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    std::size_t b = 0, e = s.size();
    while (b < e && isBlank(s[b]))
        ++b;
    while (e > b && isBlank(s[e - 1]))
        --e;
    return std::string(s.substr(b, e - b));
}

long long ToInt(std::string_view s)
{
    std::size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\r' || s[i] == '\n'))
        ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '-' || s[i] == '+')) negative = s[i++] == '-';
    unsigned long long v = 0;
    constexpr unsigned long long Max = 0x7FFFFFFFFFFFFFFFull;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
        const auto digit = static_cast<unsigned>(s[i] - '0');
        if (v > (Max - digit) / 10) return negative ? INT64_MIN : INT64_MAX; // before it wraps
        v = v * 10 + digit;
    }
    long long r = static_cast<long long>(v);
    return negative ? -r : r;
}

std::pair<std::string, std::string> SplitFirst(std::string_view s, char sep)
{
    std::size_t p = s.find(sep);
    if (p == std::string_view::npos) return { std::string(s), std::string() };
    return { std::string(s.substr(0, p)), std::string(s.substr(p + 1)) };
}

std::vector<std::string> SplitFields(std::string_view s)
{
    std::vector<std::string> out;
    std::size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && s[i] == ' ')
            ++i;
        std::size_t b = i;
        while (i < s.size() && s[i] != ' ')
            ++i;
        if (i > b) out.emplace_back(s.substr(b, i - b));
    }
    return out;
}

std::vector<std::string> SplitAll(std::string_view s, char sep)
{
    std::vector<std::string> out;
    std::size_t b = 0;
    for (;;) {
        std::size_t p = s.find(sep, b);
        if (p == std::string_view::npos) {
            out.emplace_back(s.substr(b));
            return out;
        }
        out.emplace_back(s.substr(b, p - b));
        b = p + 1;
    }
}

std::string FixedText(double v, int decimals)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%-.*lf", decimals, v);
    return buf;
}

std::string XmlEscape(std::string_view s)
{
    std::string r;
    r.reserve(s.size());
    for (char c : s) {
        switch (c) {
        case '&':
            r += "&amp;";
            break;
        case '\'':
            r += "&apos;";
            break;
        case '"':
            r += "&quot;";
            break;
        case '<':
            r += "&lt;";
            break;
        case '>':
            r += "&gt;";
            break;
        default:
            r += c;
        }
    }
    return r;
}

int clsStrings::IndexOf(std::string_view key) const
{
    for (std::size_t i = 0; i < items_.size(); ++i)
        if (items_[i].key == key) return static_cast<int>(i);
    return -1;
}

std::string clsStrings::Value(std::string_view key) const
{
    int i = IndexOf(key);
    return i < 0 ? std::string() : items_[static_cast<std::size_t>(i)].value;
}

void clsStrings::Set(std::string_view key, std::string value)
{
    int i = IndexOf(key);
    if (i < 0)
        Add(std::string(key), std::move(value));
    else
        items_[static_cast<std::size_t>(i)].value = std::move(value);
}

void clsStrings::Remove(std::string_view key)
{
    int i = IndexOf(key);
    if (i >= 0) items_.erase(items_.begin() + i);
}

std::string clsCStrings::PopFirst()
{
    if (items_.empty()) return {};
    std::string s = std::move(items_.front());
    items_.erase(items_.begin());
    return s;
}

std::string clsCStrings::PopLast()
{
    if (items_.empty()) return {};
    std::string s = std::move(items_.back());
    items_.pop_back();
    return s;
}

bool clsCStrings::LoadFromFile(const std::string& path)
{
    items_.clear();
    clsString text;
    if (text.LoadFromFile(path) == 0) {
        std::FILE* f = path.empty() ? nullptr : std::fopen(path.c_str(), "rb");
        if (!f) return false;
        std::fclose(f);
        return true; // an empty file
    }
    std::size_t b = 0;
    while (b < text.size()) {
        std::size_t e = text.find('\n', b);
        if (e == std::string::npos) e = text.size();
        std::size_t end = e;
        if (end > b && text[end - 1] == '\r') --end;
        items_.emplace_back(text.substr(b, end - b));
        b = e + 1;
    }
    return true;
}

std::string clsCStrings::Text() const
{
    std::string r;
    for (const auto& s : items_) {
        r += s;
        r += "\r\n";
    }
    return r;
}

} // namespace dranbase
