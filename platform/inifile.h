#pragma once
// The text of an INI file, read and edited in place: "[section]" headers, "key=value" entries, comment
// lines (";" or "#") and blank lines. Names match ignoring case (ASCII) and keep their spelling; edits
// touch only the lines they change, so comments and layout the user wrote survive.
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class KoIniFile {
public:
    // Takes the file's text. False when it is not an INI file: a NUL byte, or a "[" header without its
    // "]". The text is kept either way, but a damaged file is never edited.
    bool parse(std::string text);
    bool valid() const { return valid_; }
    const std::string& text() const { return text_; }

    // The value of key in section, blanks around it and one pair of enclosing quotes removed; false
    // when there is none. A section given twice is one section.
    bool find(std::string_view section, std::string_view key, std::string* value) const;
    bool hasSection(std::string_view section) const;
    // Section names in file order, each once.
    std::vector<std::string> sections() const;
    // Keys of a section in file order, each once, with their values.
    std::vector<std::pair<std::string, std::string>> entries(std::string_view section) const;

    // Sets key to value, adding the section or the entry at its end when missing.
    void set(std::string_view section, std::string_view key, std::string_view value);
    // Adds an empty section at the end unless there is one of that name.
    void addSection(std::string_view section);
    // Removes every entry named key of the section; false when there was none.
    bool removeKey(std::string_view section, std::string_view key);
    // Removes the section with its lines; false when there was none.
    bool removeSection(std::string_view section);

private:
    enum Kind { blank, comment, header, entry };
    struct Line {
        size_t start, next; // the line's first byte and the next line's
        Kind kind;
        std::string_view name, value;
    };
    void index();
    // Index of the line after which a new entry of the section at header line h goes.
    size_t endOfSection(size_t h) const;
    void splice(size_t from, size_t to, const std::string& with);

    std::string text_;
    std::vector<Line> lines_;
    const char* eol_ = "\n";
    bool valid_ = false;
};

// Equality of two names ignoring ASCII case.
bool koNameEquals(std::string_view a, std::string_view b);
// The text without blanks (spaces and tabs) at either end.
std::string_view koTrimBlanks(std::string_view s);
