#pragma once
// Strings and keyed collections of the base library: thin classes over the standard library
// that keep the operations the rest of the program relies on (keyed lookup in insertion
// order, sorted lookup, whole-file load and save, popping from either end).

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace dranbase {

class clsString : public std::string {
public:
    using std::string::string;
    clsString() = default;
    clsString(const std::string& s)
        : std::string(s)
    {
    }
    clsString(std::string&& s)
        : std::string(std::move(s))
    {
    }
    clsString(std::string_view s)
        : std::string(s)
    {
    }

    // Reads the whole file (binary). Returns its length; 0 (and an empty string) on any failure
    // or for an empty path.
    std::size_t LoadFromFile(const std::string& path);
    // Writes the whole text in one block: overwrite ("wb") or append ("ab+").
    // True only when the whole block was written.
    bool SaveToFile(const std::string& path, bool overwrite) const;
};

// Case-insensitive comparison of ASCII letters.
bool EqualsNoCase(std::string_view a, std::string_view b);
std::string ToLower(std::string_view s);
std::string Trim(std::string_view s);
// The C library's decimal conversion: leading blanks, optional sign, leading digits; 0 for text.
long long ToInt(std::string_view s);
// Splits at the first occurrence of sep: (before, after); after is empty when sep is absent.
std::pair<std::string, std::string> SplitFirst(std::string_view s, char sep);
// Splits at blanks into fields; runs of blanks give no empty fields.
std::vector<std::string> SplitFields(std::string_view s);
// Splits at every occurrence of sep, keeping empty parts.
std::vector<std::string> SplitAll(std::string_view s, char sep);
// A value divided by a unit with two decimals, "%-.2lf" style (e.g. 105 / 105 -> "1.00").
std::string FixedText(double v, int decimals);
// The five XML entities.
std::string XmlEscape(std::string_view s);

// A keyed list of string pairs in insertion order. Lookup returns the first entry with the
// key (exact, case-sensitive), so a repeated key keeps its first value.
class clsStrings {
public:
    struct Entry {
        std::string key;
        std::string value;
    };

    void Add(std::string key, std::string value) { items_.push_back({ std::move(key), std::move(value) }); }
    // Index of the first entry with the key, or -1.
    int IndexOf(std::string_view key) const;
    bool Has(std::string_view key) const { return IndexOf(key) >= 0; }
    // Value of the first entry with the key; empty when absent.
    std::string Value(std::string_view key) const;
    // Replaces the value of the first entry with the key in place, or appends.
    void Set(std::string_view key, std::string value);
    void Remove(std::string_view key);
    void Clear() { items_.clear(); }
    int Count() const { return static_cast<int>(items_.size()); }
    bool Empty() const { return items_.empty(); }
    const Entry& At(int i) const { return items_[static_cast<std::size_t>(i)]; }
    Entry& At(int i) { return items_[static_cast<std::size_t>(i)]; }
    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }

private:
    std::vector<Entry> items_;
};

// A plain list of strings (a FIFO when used with PopFirst).
class clsCStrings {
public:
    void Add(std::string s) { items_.push_back(std::move(s)); }
    // Removes and returns the first / last string; empty when the list is empty.
    std::string PopFirst();
    std::string PopLast();
    // Replaces the list by the file's lines (LF or CR LF); false when the file cannot be read.
    bool LoadFromFile(const std::string& path);
    // Lines joined, each followed by "\r\n".
    std::string Text() const;
    void Clear() { items_.clear(); }
    int Count() const { return static_cast<int>(items_.size()); }
    bool Empty() const { return items_.empty(); }
    const std::string& At(int i) const { return items_[static_cast<std::size_t>(i)]; }
    std::string& At(int i) { return items_[static_cast<std::size_t>(i)]; }
    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }

private:
    std::vector<std::string> items_;
};

// An ordered collection of owned items, each under a string key, in insertion order.
// Lookup is linear and returns the first equal key; after Sort() it is a binary search.
template <class T> class clsCollection {
public:
    // Appends and returns the new index.
    int Add(std::string key, std::unique_ptr<T> item)
    {
        nodes_.push_back({ std::move(key), std::move(item) });
        sorted_ = false;
        return Count() - 1;
    }
    // Index of an entry with the key, or -1.
    int IndexOf(std::string_view key) const
    {
        if (sorted_ && nodes_.size() > 5) {
            auto it = std::lower_bound(nodes_.begin(), nodes_.end(), key,
                [](const Node& n, std::string_view k) { return n.key < k; });
            return (it != nodes_.end() && it->key == key) ? static_cast<int>(it - nodes_.begin()) : -1;
        }
        for (std::size_t i = 0; i < nodes_.size(); ++i)
            if (nodes_[i].key == key) return static_cast<int>(i);
        return -1;
    }
    // Returns the index of an entry with the key, storing nothing; else appends.
    int FindOrAdd(std::string key, std::unique_ptr<T> item)
    {
        int i = IndexOf(key);
        return i >= 0 ? i : Add(std::move(key), std::move(item));
    }
    // The item at the index, or null outside 0..Count()-1.
    T* Item(int i) const
    {
        return (i >= 0 && i < Count()) ? nodes_[static_cast<std::size_t>(i)].item.get() : nullptr;
    }
    T* Find(std::string_view key) const { return Item(IndexOf(key)); }
    const std::string& Key(int i) const { return nodes_[static_cast<std::size_t>(i)].key; }
    // Moves one entry to another index, shifting those between; false when either index is
    // out of range or they are equal.
    bool Move(int from, int to)
    {
        if (from == to || from < 0 || to < 0 || from >= Count() || to >= Count()) return false;
        auto it = nodes_.begin();
        if (from < to)
            std::rotate(it + from, it + from + 1, it + to + 1);
        else
            std::rotate(it + to, it + from, it + from + 1);
        sorted_ = false;
        return true;
    }
    void RemoveAt(int i)
    {
        if (i >= 0 && i < Count()) nodes_.erase(nodes_.begin() + i);
    }
    // Sorts by key (ascending, or descending) and enables binary-search lookup.
    void Sort(bool descending = false)
    {
        std::stable_sort(nodes_.begin(), nodes_.end(), [descending](const Node& a, const Node& b) {
            return descending ? b.key < a.key : a.key < b.key;
        });
        sorted_ = !descending;
    }
    void Clear() { nodes_.clear(); }
    int Count() const { return static_cast<int>(nodes_.size()); }
    bool Empty() const { return nodes_.empty(); }

private:
    struct Node {
        std::string key;
        std::unique_ptr<T> item;
    };
    std::vector<Node> nodes_;
    bool sorted_ = false;
};

} // namespace dranbase
