// INI text: indexing, lookups and in-place edits.
#include "platform/inifile.h"

#include <cstring>

bool koNameEquals(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x != y && (x | 0x20) != (y | 0x20)) return false;
        if (x != y && !((x | 0x20) >= 'a' && (x | 0x20) <= 'z')) return false;
    }
    return true;
}

std::string_view koTrimBlanks(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t'))
        ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t'))
        --e;
    return s.substr(b, e - b);
}

bool KoIniFile::parse(std::string text) {
    text_ = std::move(text);
    index();
    return valid_;
}

void KoIniFile::index() {
    lines_.clear();
    valid_ = std::memchr(text_.data(), 0, text_.size()) == nullptr;
    size_t firstEol = text_.find('\n');
    eol_ = firstEol != std::string::npos && firstEol > 0 && text_[firstEol - 1] == '\r' ? "\r\n" : "\n";
    std::string_view all(text_);
    for (size_t start = 0; start < all.size();) {
        size_t nl = all.find('\n', start);
        size_t next = nl == std::string_view::npos ? all.size() : nl + 1;
        std::string_view raw = all.substr(start, (nl == std::string_view::npos ? all.size() : nl) - start);
        if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
        std::string_view t = koTrimBlanks(raw);
        Line line{start, next, blank, {}, {}};
        if (t.empty()) {
        } else if (t[0] == ';' || t[0] == '#') {
            line.kind = comment;
        } else if (t[0] == '[') {
            size_t close = t.find(']');
            if (close == std::string_view::npos) valid_ = false;
            line.kind = header;
            line.name = koTrimBlanks(t.substr(1, close == std::string_view::npos ? t.size() - 1 : close - 1));
        } else {
            line.kind = entry;
            size_t eq = t.find('=');
            line.name = koTrimBlanks(t.substr(0, eq));
            if (eq != std::string_view::npos) {
                std::string_view v = koTrimBlanks(t.substr(eq + 1));
                if (v.size() >= 2 && (v[0] == '"' || v[0] == '\'') && v.back() == v[0])
                    v = v.substr(1, v.size() - 2);
                line.value = v;
            }
        }
        lines_.push_back(line);
        start = next;
    }
}

bool KoIniFile::find(std::string_view section, std::string_view key, std::string* value) const {
    bool inside = false;
    for (const Line& l : lines_) {
        if (l.kind == header)
            inside = koNameEquals(l.name, section);
        else if (inside && l.kind == entry && koNameEquals(l.name, key)) {
            value->assign(l.value);
            return true;
        }
    }
    return false;
}

bool KoIniFile::hasSection(std::string_view section) const {
    for (const Line& l : lines_)
        if (l.kind == header && koNameEquals(l.name, section)) return true;
    return false;
}

std::vector<std::string> KoIniFile::sections() const {
    std::vector<std::string> names;
    for (const Line& l : lines_) {
        if (l.kind != header) continue;
        bool seen = false;
        for (const std::string& n : names)
            seen = seen || koNameEquals(n, l.name);
        if (!seen) names.emplace_back(l.name);
    }
    return names;
}

std::vector<std::pair<std::string, std::string>> KoIniFile::entries(std::string_view section) const {
    std::vector<std::pair<std::string, std::string>> list;
    bool inside = false;
    for (const Line& l : lines_) {
        if (l.kind == header) inside = koNameEquals(l.name, section);
        if (!inside || l.kind != entry) continue;
        bool seen = false;
        for (const auto& e : list)
            seen = seen || koNameEquals(e.first, l.name);
        if (!seen) list.emplace_back(std::string(l.name), std::string(l.value));
    }
    return list;
}

size_t KoIniFile::endOfSection(size_t h) const {
    size_t last = h;
    for (size_t i = h + 1; i < lines_.size() && lines_[i].kind != header; ++i)
        if (lines_[i].kind != blank) last = i;
    return last;
}

void KoIniFile::splice(size_t from, size_t to, const std::string& with) {
    text_.replace(from, to - from, with);
    index();
}

void KoIniFile::set(std::string_view section, std::string_view key, std::string_view value) {
    std::string line = std::string(key) + "=" + std::string(value) + eol_;
    bool inside = false;
    size_t firstHeader = lines_.size();
    for (size_t i = 0; i < lines_.size(); ++i) {
        const Line& l = lines_[i];
        if (l.kind == header) {
            inside = koNameEquals(l.name, section);
            if (inside && firstHeader == lines_.size()) firstHeader = i;
        } else if (inside && l.kind == entry && koNameEquals(l.name, key)) {
            // The entry keeps the spelling its key already has.
            splice(l.start, l.next, std::string(l.name) + "=" + std::string(value) + eol_);
            return;
        }
    }
    if (firstHeader < lines_.size()) {
        const Line& after = lines_[endOfSection(firstHeader)];
        size_t at = after.next;
        if (at == text_.size() && (text_.empty() || text_.back() != '\n')) line = eol_ + line;
        splice(at, at, line);
        return;
    }
    std::string add;
    if (!text_.empty() && text_.back() != '\n') add = eol_;
    add += "[" + std::string(section) + "]" + eol_ + line;
    splice(text_.size(), text_.size(), add);
}

void KoIniFile::addSection(std::string_view section) {
    if (hasSection(section)) return;
    std::string add;
    if (!text_.empty() && text_.back() != '\n') add = eol_;
    add += "[" + std::string(section) + "]" + eol_;
    splice(text_.size(), text_.size(), add);
}

bool KoIniFile::removeKey(std::string_view section, std::string_view key) {
    bool removed = false;
    for (bool again = true; again;) {
        again = false;
        bool inside = false;
        for (const Line& l : lines_) {
            if (l.kind == header) inside = koNameEquals(l.name, section);
            if (inside && l.kind == entry && koNameEquals(l.name, key)) {
                splice(l.start, l.next, std::string());
                removed = again = true;
                break;
            }
        }
    }
    return removed;
}

bool KoIniFile::removeSection(std::string_view section) {
    bool removed = false;
    for (bool again = true; again;) {
        again = false;
        for (size_t i = 0; i < lines_.size(); ++i) {
            if (lines_[i].kind != header || !koNameEquals(lines_[i].name, section)) continue;
            size_t end = i + 1;
            while (end < lines_.size() && lines_[end].kind != header)
                ++end;
            size_t to = end < lines_.size() ? lines_[end].start : text_.size();
            splice(lines_[i].start, to, std::string());
            removed = again = true;
            break;
        }
    }
    return removed;
}
