#include "dranbase/clsxml.h"

#include <cstdio>
#include <stdexcept>
#include <sys/stat.h>

#include "dranbase/console.h"

namespace dranbase {

namespace {

    bool IsBlank(char c)
    {
        return c == ' ' || c == '\t' || c == '\r' || c == '\n';
    }

    // Appends the code point as UTF-8; false for values that are no character.
    bool AppendUtf8(std::string& out, unsigned long cp)
    {
        if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
        return true;
    }

    // Replaces the five named entities and numeric character references; anything else that
    // starts with '&' is kept as written.
    std::string DecodeEntities(std::string_view s)
    {
        static const struct {
            std::string_view name;
            char c;
        } named[] = { { "amp", '&' }, { "lt", '<' }, { "gt", '>' }, { "quot", '"' }, { "apos", '\'' } };

        std::string out;
        out.reserve(s.size());
        for (std::size_t i = 0; i < s.size(); ++i) {
            if (s[i] != '&') {
                out += s[i];
                continue;
            }
            std::size_t semi = s.find(';', i + 1);
            if (semi == std::string_view::npos || semi - i > 12) {
                out += '&';
                continue;
            }
            std::string_view ref = s.substr(i + 1, semi - i - 1);
            bool done = false;
            if (ref.size() > 1 && ref[0] == '#') {
                bool hex = ref[1] == 'x' || ref[1] == 'X';
                std::string_view digits = ref.substr(hex ? 2 : 1);
                unsigned long cp = 0;
                bool valid = !digits.empty();
                for (char c : digits) {
                    int d = (c >= '0' && c <= '9')      ? c - '0'
                        : (hex && c >= 'a' && c <= 'f') ? c - 'a' + 10
                        : (hex && c >= 'A' && c <= 'F') ? c - 'A' + 10
                                                        : -1;
                    if (d < 0) {
                        valid = false;
                        break;
                    }
                    cp = cp * (hex ? 16 : 10) + static_cast<unsigned long>(d);
                    if (cp > 0x10FFFF) {
                        valid = false;
                        break;
                    }
                }
                done = valid && AppendUtf8(out, cp);
            } else {
                for (const auto& e : named)
                    if (ref == e.name) {
                        out += e.c;
                        done = true;
                        break;
                    }
            }
            if (done)
                i = semi;
            else
                out += '&';
        }
        return out;
    }

    // Character content: tabs and line ends become blanks, runs of blanks become one, and the
    // ends are trimmed.
    std::string NormaliseText(std::string_view s)
    {
        std::string out;
        bool blank = false;
        for (char c : s) {
            if (IsBlank(c)) {
                blank = true;
                continue;
            }
            if (blank && !out.empty()) out += ' ';
            blank = false;
            out += c;
        }
        return out;
    }

    // Attribute values keep their blanks; tabs and line ends become blanks as XML asks.
    std::string NormaliseValue(std::string_view s)
    {
        std::string out(s);
        for (char& c : out)
            if (c == '\t' || c == '\r' || c == '\n') c = ' ';
        return DecodeEntities(out);
    }

    std::string ReplaceAll(std::string s, std::string_view from, std::string_view to)
    {
        for (std::size_t p = s.find(from); p != std::string::npos; p = s.find(from, p + to.size()))
            s.replace(p, from.size(), to);
        return s;
    }

    // The inside of a start tag or declaration: "name attr="value" ... [/]".
    struct TagText {
        std::string name;
        std::vector<std::pair<std::string, std::string>> attributes;
        bool selfClosing = false;
    };

    TagText ReadTag(std::string_view s)
    {
        TagText tag;
        std::size_t i = 0;
        while (i < s.size() && IsBlank(s[i]))
            ++i;
        std::size_t b = i;
        while (i < s.size() && !IsBlank(s[i]) && s[i] != '/' && s[i] != '>')
            ++i;
        tag.name = std::string(s.substr(b, i - b));
        while (i < s.size()) {
            char c = s[i];
            if (IsBlank(c)) {
                ++i;
                continue;
            }
            if (c == '/') {
                std::size_t j = i + 1;
                while (j < s.size() && IsBlank(s[j]))
                    ++j;
                if (j == s.size()) tag.selfClosing = true;
                i = j;
                continue;
            }
            b = i;
            while (i < s.size() && !IsBlank(s[i]) && s[i] != '=' && s[i] != '/')
                ++i;
            std::string name(s.substr(b, i - b));
            std::string value;
            std::size_t j = i;
            while (j < s.size() && IsBlank(s[j]))
                ++j;
            if (j < s.size() && s[j] == '=') {
                i = j + 1;
                while (i < s.size() && IsBlank(s[i]))
                    ++i;
                if (i < s.size() && (s[i] == '"' || s[i] == '\'')) {
                    char q = s[i++];
                    b = i;
                    while (i < s.size() && s[i] != q)
                        ++i;
                    value = NormaliseValue(s.substr(b, i - b));
                    if (i < s.size()) ++i; // closing quote
                } else {
                    b = i;
                    while (i < s.size() && !IsBlank(s[i]))
                        ++i;
                    value = NormaliseValue(s.substr(b, i - b));
                }
            }
            if (!name.empty()) tag.attributes.emplace_back(std::move(name), std::move(value));
        }
        return tag;
    }

    // Index just past the '>' that ends the tag starting at from, honouring quoted values;
    // the text's size when the tag is not closed.
    std::size_t TagEnd(std::string_view s, std::size_t from)
    {
        char quote = 0;
        for (std::size_t i = from; i < s.size(); ++i) {
            char c = s[i];
            if (quote) {
                if (c == quote) quote = 0;
            } else if (c == '"' || c == '\'') {
                quote = c;
            } else if (c == '>') {
                return i + 1;
            }
        }
        return s.size();
    }

    // Index just past the terminator, or the text's size when it is missing; the content runs
    // from the start to the terminator (or the end).
    std::size_t FindClose(
        std::string_view s, std::size_t from, std::string_view terminator, std::size_t& contentEnd)
    {
        std::size_t p = s.find(terminator, from);
        if (p == std::string_view::npos) {
            contentEnd = s.size();
            return s.size();
        }
        contentEnd = p;
        return p + terminator.size();
    }

    // A "<!DOCTYPE ...>" or other "<!" markup: skipped, with a bracketed internal subset.
    std::size_t SkipMarkup(std::string_view s, std::size_t from)
    {
        int depth = 0;
        char quote = 0;
        for (std::size_t i = from; i < s.size(); ++i) {
            char c = s[i];
            if (quote) {
                if (c == quote) quote = 0;
            } else if (c == '"' || c == '\'') {
                quote = c;
            } else if (c == '[') {
                ++depth;
            } else if (c == ']') {
                if (depth > 0) --depth;
            } else if (c == '>' && depth == 0) {
                return i + 1;
            }
        }
        return s.size();
    }

    bool IsDropped(const clsXML& node)
    {
        return EqualsNoCase(node.GetAttribute("sg:null"), "true");
    }

} // namespace

clsXML::clsXML(int kind, std::string name, clsXML* parent)
    : parent_(parent)
    , kind_(kind)
    , name_(std::move(name))
{
    if (kind < Document || kind > TextElement) throw std::invalid_argument("invalid xml type");
}

void clsXML::Clear()
{
    children_.Clear();
    attributes_.Clear();
    text_.clear();
}

void clsXML::AppendText(std::string_view text)
{
    if (text.empty()) return;
    if (!text_.empty()) text_ += ' ';
    text_ += text;
    if (kind_ == Element || kind_ == ElementAlt) kind_ = TextElement;
}

clsXML* clsXML::AddChild(int kind, std::string name)
{
    auto node = std::make_unique<clsXML>(kind, name, this);
    clsXML* raw = node.get();
    children_.Add(std::move(name), std::move(node));
    return raw;
}

void clsXML::RemoveLastChild()
{
    children_.RemoveAt(children_.Count() - 1);
}

bool clsXML::LoadFile(const std::string& path)
{
    struct stat st { };
    clsString text;
    bool readable = !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
    if (readable && st.st_size > 0) readable = text.LoadFromFile(path) > 0;
    if (!readable) text.clear();
    std::string_view view(text);
    if (view.size() >= 3 && view.substr(0, 3) == "\xEF\xBB\xBF") view.remove_prefix(3);
    std::size_t slash = path.find_last_of('/');
    Parse(view, slash == std::string::npos ? std::string() : path.substr(0, slash));
    return readable;
}

void clsXML::Parse(std::string_view s, const std::string& folder)
{
    children_.Clear();
    folder_ = folder;
    problems_.clear();

    clsXML* current = this;
    int depth = 0; // elements open below this node
    int skipped = 0; // start tags beyond MaxDepth that were not opened

    // Closes the current element, dropping it when it asked for that.
    auto closeCurrent = [&]() {
        clsXML* node = current;
        current = node->parent_;
        --depth;
        if (IsDropped(*node)) current->RemoveLastChild();
    };

    std::size_t i = 0;
    while (i < s.size()) {
        if (s[i] != '<') {
            std::size_t next = s.find('<', i);
            if (next == std::string_view::npos) next = s.size();
            current->AppendText(DecodeEntities(NormaliseText(s.substr(i, next - i))));
            i = next;
            continue;
        }
        if (i + 1 == s.size() || IsBlank(s[i + 1])) {
            // A '<' that starts no markup is plain text.
            std::size_t next = s.find('<', i + 1);
            if (next == std::string_view::npos) next = s.size();
            current->AppendText(DecodeEntities(NormaliseText(s.substr(i, next - i))));
            i = next;
            continue;
        }
        std::string_view rest = s.substr(i);
        std::size_t contentEnd = 0;
        if (rest.starts_with("<!--")) {
            std::size_t end = FindClose(s, i + 4, "-->", contentEnd);
            clsXML* c = current->AddChild(Comment, {});
            c->text_ = std::string(s.substr(i + 4, contentEnd - (i + 4)));
            i = end;
        } else if (rest.starts_with("<![CDATA[")) {
            std::size_t end = FindClose(s, i + 9, "]]>", contentEnd);
            // CDATA keeps '<' and '&' as written; only its white space is normalised.
            current->AppendText(NormaliseText(s.substr(i + 9, contentEnd - (i + 9))));
            i = end;
        } else if (rest.starts_with("<!")) {
            i = SkipMarkup(s, i + 2);
        } else if (rest.starts_with("<?")) {
            std::size_t end = FindClose(s, i + 2, "?>", contentEnd);
            TagText tag = ReadTag(s.substr(i + 2, contentEnd - (i + 2)));
            if (!tag.name.empty()) {
                clsXML* d = current->AddChild(Declaration, tag.name);
                for (auto& [name, value] : tag.attributes)
                    d->SetAttribute(name, std::move(value));
            }
            i = end;
        } else if (rest.starts_with("</")) {
            std::size_t end = TagEnd(s, i + 2);
            std::string name = NormaliseText(s.substr(i + 2, end - (i + 2) - (s[end - 1] == '>' ? 1 : 0)));
            i = end;
            if (skipped > 0) {
                --skipped;
                continue;
            }
            if (current == this) {
                problems_.push_back("end tag </" + name + "> without a start tag");
                continue; // nothing open at this level
            }
            // Close up to the open element of that name; an end tag that matches none closes
            // the current element only.
            int levels = 1;
            for (clsXML* n = current; n != this; n = n->parent_, ++levels)
                if (n->name_ == name) break;
            if (levels > depth) {
                problems_.push_back("end tag </" + name + "> closes <" + current->name_ + ">");
                levels = 1;
            } else {
                for (clsXML* n = current; n->name_ != name; n = n->parent_)
                    problems_.push_back("element <" + n->name_ + "> is not closed");
            }
            while (levels-- > 0)
                closeCurrent();
        } else {
            std::size_t end = TagEnd(s, i + 1);
            std::string_view inside = s.substr(i + 1, end - (i + 1) - (s[end - 1] == '>' ? 1 : 0));
            i = end;
            TagText tag = ReadTag(inside);
            if (tag.name.empty()) continue;
            if (depth >= MaxDepth) {
                if (!tag.selfClosing) ++skipped;
                continue;
            }
            clsXML* e = current->AddChild(Element, tag.name);
            for (auto& [name, value] : tag.attributes)
                e->SetAttribute(name, std::move(value));
            if (tag.selfClosing) {
                if (IsDropped(*e)) current->RemoveLastChild();
            } else {
                current = e;
                ++depth;
            }
        }
    }
    while (current != this) {
        problems_.push_back("element <" + current->name_ + "> is not closed");
        closeCurrent();
    }
}

std::string clsXML::GetAttribute(std::string_view name) const
{
    return attributes_.Value(name);
}

clsXML* clsXML::FindDepthFirst(std::string_view name)
{
    // Iterative pre-order walk: the first descendant in document order with the name.
    std::vector<std::pair<clsXML*, int>> stack { { this, 0 } };
    while (!stack.empty()) {
        auto& [node, next] = stack.back();
        if (next >= node->ChildCount()) {
            stack.pop_back();
            continue;
        }
        clsXML* child = node->Child(next++);
        if (child->name_ == name) return child;
        stack.emplace_back(child, 0);
    }
    return nullptr;
}

clsXML* clsXML::FindPath(std::string_view path)
{
    clsXML* node = this;
    bool anyPart = false;
    for (const std::string& part : SplitAll(path, '/')) {
        if (part.empty()) continue;
        anyPart = true;
        if (node->name_ != part) node = node->FindDepthFirst(part);
        if (!node) return nullptr;
    }
    return anyPart ? node : nullptr;
}

const clsXML* clsXML::FindPath(std::string_view path) const
{
    return const_cast<clsXML*>(this)->FindPath(path);
}

std::string clsXML::GetChildText(std::string_view path, std::string_view defaultText) const
{
    const clsXML* node = FindPath(path);
    return node ? node->text_ : std::string(defaultText);
}

int clsXML::CollectByName(std::string_view name, clsXMLCollection& list)
{
    if (name_ == name) list.push_back(this);
    std::vector<std::pair<clsXML*, int>> stack { { this, 0 } };
    while (!stack.empty()) {
        auto& [node, next] = stack.back();
        if (next >= node->ChildCount()) {
            stack.pop_back();
            continue;
        }
        clsXML* child = node->Child(next++);
        if (child->name_ == name) list.push_back(child);
        stack.emplace_back(child, 0);
    }
    return static_cast<int>(list.size());
}

void clsXML::WriteText(std::string& out, int depth) const
{
    auto newLine = [&](int d) {
        if (!out.empty()) out += '\n';
        out.append(static_cast<std::size_t>(2 * d), ' ');
    };
    auto writeAttributes = [&]() {
        for (const auto& a : attributes_)
            out += ' ' + a.key + "=\"" + XmlEscape(a.value) + '"';
    };

    switch (kind_) {
    case Document:
        for (int c = 0; c < ChildCount(); ++c)
            Child(c)->WriteText(out, depth);
        return;
    case Declaration:
        newLine(depth);
        out += "<?" + name_;
        writeAttributes();
        out += "?>";
        return;
    case Comment:
        newLine(depth);
        out += "<!--" + ReplaceAll(text_, "--", "==") + "-->";
        return;
    default:
        newLine(depth);
        out += '<' + name_;
        writeAttributes();
        out += '>';
        if (ChildCount() == 0) {
            out += XmlEscape(text_) + "</" + name_ + '>';
            return;
        }
        if (!text_.empty()) {
            newLine(depth + 1);
            out += XmlEscape(text_);
        }
        for (int c = 0; c < ChildCount(); ++c)
            Child(c)->WriteText(out, depth + 1);
        newLine(depth);
        out += "</" + name_ + '>';
    }
}

std::string clsXML::ToText(int depth) const
{
    std::string out;
    WriteText(out, depth);
    return out;
}

} // namespace dranbase
