// The terminal front end's open-file dialog: a browsable folder listing under the chosen filter, a
// name field, and the caller's must-exist checks before it closes.
#include "platform/termui.h"

#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>

using namespace kownd;

namespace {

struct Entry {
    std::string name;
    bool folder;
};

struct FileView {
    std::string title, dir, name, message;
    std::vector<std::pair<std::string, std::string>> filters; // description, patterns
    int filter = 0;
    std::vector<Entry> entries;
    int selected = 0, first = 0;
    int field = 0; // 0 name, 1 list, 2 type, 3 Open, 4 Cancel
    std::vector<Region> regions;
    int cursorRow = -1, cursorCol = -1;
};

constexpr int listRows = 12;

bool isFolder(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool matches(const std::string& name, const std::string& patterns) {
    size_t start = 0;
    for (;;) {
        size_t end = patterns.find(';', start);
        std::string p = patterns.substr(start, end == std::string::npos ? std::string::npos : end - start);
        // "*.*" takes names without a dot too, as Windows' dialogs do.
        if (p == "*.*" || p == "*" || (!p.empty() && fnmatch(p.c_str(), name.c_str(), FNM_CASEFOLD) == 0))
            return true;
        if (end == std::string::npos) return patterns.empty();
        start = end + 1;
    }
}

void list(FileView& v) {
    v.entries.clear();
    v.entries.push_back({"..", true});
    std::vector<Entry> folders, files;
    if (DIR* d = opendir(v.dir.c_str())) {
        while (dirent* e = readdir(d)) {
            std::string n = e->d_name;
            if (n.empty() || n[0] == '.') continue;
            if (isFolder(v.dir + "/" + n))
                folders.push_back({n, true});
            else if (matches(n, v.filters.empty() ? "" : v.filters[static_cast<size_t>(v.filter)].second))
                files.push_back({n, false});
        }
        closedir(d);
    } else {
        v.message = "The folder cannot be read.";
    }
    auto byName = [](const Entry& a, const Entry& b) { return a.name < b.name; };
    std::sort(folders.begin(), folders.end(), byName);
    std::sort(files.begin(), files.end(), byName);
    v.entries.insert(v.entries.end(), folders.begin(), folders.end());
    v.entries.insert(v.entries.end(), files.begin(), files.end());
    v.selected = std::min(v.selected, static_cast<int>(v.entries.size()) - 1);
    v.first = 0;
}

void enter(FileView& v, const std::string& folder) {
    std::string path = folder == ".." ? v.dir.substr(0, v.dir.rfind('/')) : v.dir + "/" + folder;
    if (folder[0] == '/') path = folder;
    if (path.empty()) path = "/";
    if (path.size() > 1 && path.back() == '/') path.pop_back();
    char real[PATH_MAX];
    if (!realpath(path.c_str(), real) || !isFolder(real)) {
        v.message = "No such folder: " + path;
        return;
    }
    v.dir = real;
    if (v.dir.size() > 1 && v.dir.back() == '/') v.dir.pop_back();
    v.selected = 0;
    v.message.clear();
    list(v);
}

void draw(FileView& v) {
    v.regions.clear();
    v.cursorRow = v.cursorCol = -1;
    int width = std::min(76, std::max(screenCols(), 30)), height = listRows + 8;
    int row = std::max(0, (screenRows() - height) / 2), col = std::max(0, (screenCols() - width) / 2);
    int inner = width - 4;
    screenBox(row, col, height, width, v.title);
    std::string look = "Look in: " + v.dir;
    if (static_cast<int>(look.size()) > inner)
        look = "Look in: ..." + v.dir.substr(v.dir.size() - (inner - 12));
    screenPut(row + 1, col + 2, look, attrNormal, inner);
    screenPut(row + 2, col + 2, "File name:", attrNormal);
    int fieldWidth = inner - 11;
    std::string shown = v.name.size() >= static_cast<size_t>(fieldWidth)
                            ? v.name.substr(v.name.size() - fieldWidth + 1)
                            : v.name;
    screenFill(row + 2, col + 13, 1, fieldWidth, attrUnderline);
    screenPut(row + 2, col + 13, shown, attrUnderline, fieldWidth);
    v.regions.push_back({row + 2, col + 13, 1, fieldWidth, nullptr, 0});
    if (v.field == 0) {
        v.cursorRow = row + 2;
        v.cursorCol = col + 13 + static_cast<int>(shown.size());
    }
    if (v.selected < v.first) v.first = v.selected;
    if (v.selected >= v.first + listRows) v.first = v.selected - listRows + 1;
    for (int i = 0; i < listRows; ++i) {
        int index = v.first + i;
        if (index >= static_cast<int>(v.entries.size())) break;
        const Entry& e = v.entries[static_cast<size_t>(index)];
        unsigned a = index == v.selected ? (v.field == 1 ? attrReverse : attrBold) : attrNormal;
        screenPut(row + 3 + i, col + 2, (e.folder ? "[" + e.name + "]" : " " + e.name), a, inner);
        v.regions.push_back({row + 3 + i, col + 2, 1, inner, nullptr, 100 + index});
    }
    std::string type = v.filters.empty() ? "All files" : v.filters[static_cast<size_t>(v.filter)].first;
    screenPut(row + 3 + listRows, col + 2, "Files of type:", attrNormal);
    screenPut(row + 3 + listRows, col + 17, "< " + type + " >", v.field == 2 ? attrReverse : attrNormal,
              inner - 15);
    v.regions.push_back({row + 3 + listRows, col + 17, 1, inner - 15, nullptr, 2});
    screenPut(row + 4 + listRows, col + width - 24, "[ Open ]",
              v.field == 3 ? attrReverse | attrBold : attrBold);
    screenPut(row + 4 + listRows, col + width - 14, "[ Cancel ]", v.field == 4 ? attrReverse : attrNormal);
    v.regions.push_back({row + 4 + listRows, col + width - 24, 1, 8, nullptr, 3});
    v.regions.push_back({row + 4 + listRows, col + width - 14, 1, 10, nullptr, 4});
    screenPut(row + 5 + listRows, col + 2, v.message, attrBold, inner);
}

// Open: the name typed (a folder is entered), else the entry marked. 1 chosen, 0 stay.
int open(FileView& v, const std::function<std::string(const std::string&)>& check, std::string* out) {
    std::string name = v.name;
    if (name.empty() && v.field == 1 && !v.entries.empty()) {
        const Entry& e = v.entries[static_cast<size_t>(v.selected)];
        if (e.folder) {
            enter(v, e.name);
            return 0;
        }
        name = e.name;
    }
    if (name.empty()) return 0;
    std::string path = name[0] == '/' ? name : v.dir + "/" + name;
    if (isFolder(path)) {
        v.name.clear();
        enter(v, path);
        return 0;
    }
    std::string why = check(path);
    if (!why.empty()) {
        v.message = "Refused: " + why + ".";
        return 0;
    }
    *out = path;
    return 1;
}

} // namespace

namespace kownd {

bool terminalOpenFile(const std::string& title, const std::string& filter, int filterIndex,
                      const std::string& dir, const std::function<std::string(const std::string&)>& check,
                      std::string* path) {
    ScreenRun run;
    if (!run.taken()) return false;
    FileView v;
    v.title = title;
    // The filter arrives as "description|patterns|description|patterns".
    for (size_t start = 0; start < filter.size();) {
        size_t bar = filter.find('|', start);
        if (bar == std::string::npos) break;
        size_t end = filter.find('|', bar + 1);
        v.filters.emplace_back(
            filter.substr(start, bar - start),
            filter.substr(bar + 1, end == std::string::npos ? std::string::npos : end - bar - 1));
        start = end == std::string::npos ? filter.size() : end + 1;
    }
    if (filterIndex >= 1 && filterIndex <= static_cast<int>(v.filters.size())) v.filter = filterIndex - 1;
    char cwd[PATH_MAX];
    v.dir = getcwd(cwd, sizeof cwd) ? cwd : "/";
    if (!dir.empty()) enter(v, dir[0] == '/' ? dir : v.dir + "/" + dir);
    list(v);
    run.show([&v] { draw(v); });
    int chosen = -1;
    while (chosen < 0) {
        drawLayers();
        draw(v);
        screenShow(v.cursorRow, v.cursorCol);
        Input in = screenRead(200);
        if (in.kind == Input::lost || in.kind == Input::interrupt) screenAbandon(in);
        if (in.kind != Input::key) continue;
        int k = in.code, count = static_cast<int>(v.entries.size());
        bool enterKey = k == '\r' || k == '\n' || k == keyEnter;
        if (k == 27 && !in.alt) {
            chosen = 0;
        } else if (k == '\t') {
            v.field = (v.field + 1) % 5;
        } else if (k == keyBackTab) {
            v.field = (v.field + 4) % 5;
        } else if (k == keyMouse) {
            if (!(in.mouse.buttons & (mouseButton1Pressed | mouseButton1Clicked))) continue;
            for (const Region& r : v.regions) {
                if (in.mouse.y != r.row || in.mouse.x < r.col || in.mouse.x >= r.col + r.width) continue;
                if (r.tab >= 100) {
                    v.field = 1;
                    v.selected = r.tab - 100;
                    const Entry& e = v.entries[static_cast<size_t>(v.selected)];
                    if (!e.folder)
                        v.name = e.name;
                    else
                        v.name.clear();
                } else if (r.tab == 2) {
                    v.field = 2;
                    if (!v.filters.empty()) v.filter = (v.filter + 1) % static_cast<int>(v.filters.size());
                    list(v);
                } else if (r.tab == 3) {
                    chosen = open(v, check, path) ? 1 : -1;
                } else if (r.tab == 4) {
                    chosen = 0;
                } else {
                    v.field = r.tab;
                }
            }
        } else if (v.field == 4 && (enterKey || k == ' ')) {
            chosen = 0;
        } else if (enterKey || (v.field == 3 && k == ' ')) {
            chosen = open(v, check, path) ? 1 : -1;
        } else if (v.field == 1 && (k == keyUp || k == keyDown || k == keyPageUp || k == keyPageDown ||
                                    k == keyHome || k == keyEnd)) {
            int step = k == keyUp         ? -1
                       : k == keyDown     ? 1
                       : k == keyPageUp   ? -listRows
                       : k == keyPageDown ? listRows
                       : k == keyHome     ? -count
                                          : count;
            v.selected = std::max(0, std::min(count - 1, v.selected + step));
            const Entry& e = v.entries[static_cast<size_t>(v.selected)];
            // Marking a file names it, as Windows' dialog does; a folder leaves the name alone.
            if (!e.folder) v.name = e.name;
        } else if (v.field == 1 && (k == keyBackspace || k == 127 || k == 8)) {
            enter(v, "..");
        } else if (v.field == 2 &&
                   (k == keyLeft || k == keyRight || k == keyUp || k == keyDown || k == ' ')) {
            int n = static_cast<int>(v.filters.size());
            if (n > 0) v.filter = (v.filter + (k == keyLeft || k == keyUp ? n - 1 : 1)) % n;
            list(v);
        } else if (v.field == 0 && (k == keyBackspace || k == 127 || k == 8)) {
            if (!v.name.empty()) v.name.pop_back();
        } else if (v.field == 0 && k == 21) {
            v.name.clear();
        } else if (v.field == 0 && !in.text.empty()) {
            v.name += in.text;
        }
    }
    return chosen == 1;
}

} // namespace kownd
