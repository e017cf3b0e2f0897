#pragma once
// A small XML tree: a document node whose children are the file's top-level nodes.
//
// The reader is forgiving by design. It never fails on malformed input: unknown markup is
// skipped, an unbalanced end tag closes the current element early, unterminated constructs run
// to the end of the text, and nesting deeper than MaxDepth is flattened. Well-formed input
// gives the tree a conforming parser would give.

#include <string>
#include <string_view>
#include <vector>

#include "dranbase/clsstring.h"

namespace dranbase {

class clsXML;
// Result list of CollectByName: the nodes stay owned by their tree.
using clsXMLCollection = std::vector<clsXML*>;

class clsXML {
public:
    // Node kinds. ElementAlt is written like Element; TextElement is an element with text.
    enum Kind : int {
        Document = 0,
        Declaration = 1,
        Comment = 2,
        Element = 3,
        ElementAlt = 4,
        TextElement = 5
    };
    // Deepest element nesting kept; deeper start tags are ignored (their text still counts).
    static constexpr int MaxDepth = 256;

    // A kind outside 0..5 is a programming error: throws std::invalid_argument("invalid xml type").
    explicit clsXML(int kind = Document, std::string name = {}, clsXML* parent = nullptr);
    virtual ~clsXML() = default;
    clsXML(const clsXML&) = delete;
    clsXML& operator=(const clsXML&) = delete;

    // Reads the file and parses it (a UTF-8 byte-order mark is dropped). When the file cannot
    // be read, leaves an empty tree and returns false (the caller words the error).
    virtual bool LoadFile(const std::string& path);
    // Replaces this node's children by the nodes read from the text. The folder is where
    // relative references of the text would be resolved (kept, not used by the reader).
    void Parse(std::string_view text, const std::string& folder = {});
    // What the last Parse had to repair, in text order: elements left open ("element
    // <options> is not closed"), end tags that close nothing or another element. The reader
    // keeps going either way; a caller that needs a well-formed file refuses it.
    const std::vector<std::string>& Problems() const { return problems_; }
    // The node and its subtree as XML, one node per line, children indented by two blanks per
    // level (starting at depth). A document writes its children one after another.
    virtual std::string ToText(int depth = 0) const;

    // The attribute's value; empty when absent.
    std::string GetAttribute(std::string_view name) const;
    // Walks the "/"-separated parts: for each part the node found so far when its name matches,
    // else the first match in a depth-first search of its descendants. Null when a part is not
    // found or the path has no parts.
    clsXML* FindPath(std::string_view path);
    const clsXML* FindPath(std::string_view path) const;
    // Text of FindPath(path), or the default when there is no such node.
    std::string GetChildText(std::string_view path, std::string_view defaultText = {}) const;
    // Appends every node of the subtree (this one first) whose name matches, depth first in
    // document order. Returns the list's new size.
    int CollectByName(std::string_view name, clsXMLCollection& list);

    int NodeKind() const { return kind_; }
    const std::string& Name() const { return name_; }
    const std::string& Text() const { return text_; }
    const std::string& Folder() const { return folder_; }
    clsXML* Parent() const { return parent_; }
    const clsStrings& Attributes() const { return attributes_; }
    int ChildCount() const { return children_.Count(); }
    // The child at the index; null outside 0..ChildCount()-1.
    clsXML* Child(int i) const { return children_.Item(i); }
    // The first child with the name; null when none.
    clsXML* FindChild(std::string_view name) const { return children_.Find(name); }

    // Building a tree by hand.
    void SetAttribute(std::string_view name, std::string value) { attributes_.Set(name, std::move(value)); }
    // Appends text (with one blank between pieces) and makes an element a text element.
    void AppendText(std::string_view text);
    // Adds a child of the kind and name and returns it.
    clsXML* AddChild(int kind, std::string name);
    void Clear();

private:
    void RemoveLastChild();
    clsXML* FindDepthFirst(std::string_view name);
    void WriteText(std::string& out, int depth) const;

    clsXML* parent_;
    int kind_;
    std::string name_;
    clsStrings attributes_;
    std::string text_;
    clsCollection<clsXML> children_;
    std::string folder_;
    std::vector<std::string> problems_;
};

} // namespace dranbase
