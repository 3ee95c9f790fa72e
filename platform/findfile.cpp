// Directory search with Windows' wildcard rules.
#include "platform/fileinternal.h"

#include <dirent.h>
#include <errno.h>
#include <string.h>

#include <algorithm>
#include <mutex>
#include <new>
#include <vector>

namespace {

// ---- wildcard matching ----
// The pattern is first rewritten the way Windows does before it matches names: "?" becomes DOS_QM,
// "*" before "." DOS_STAR, "." before "?" or "*" or at the end DOS_DOT.
enum : int { tokStar = 256, tokDosStar, tokDosQm, tokDosDot };

std::vector<int> compilePattern(const std::string& p) {
    std::vector<int> out;
    if (p == "*.*") return {tokStar};
    for (size_t i = 0; i < p.size(); ++i) {
        unsigned char c = (unsigned char)p[i];
        char next = i + 1 < p.size() ? p[i + 1] : 0;
        if (c == '?')
            out.push_back(tokDosQm);
        else if (c == '*')
            out.push_back(next == '.' ? tokDosStar : tokStar);
        else if (c == '.' && (next == '?' || next == '*' || next == 0))
            out.push_back(tokDosDot);
        else
            out.push_back(c);
    }
    return out;
}

bool matchCompiled(const std::vector<int>& pat, const std::string& name) {
    const size_t m = pat.size(), n = name.size();
    size_t lastDot = name.rfind('.');
    // memo: 0 unknown, 1 no, 2 yes; iterative over (pattern, name) positions from the end.
    std::vector<unsigned char> ok((m + 1) * (n + 1), 0);
    auto at = [&](size_t p, size_t i) -> unsigned char& { return ok[p * (n + 1) + i]; };
    for (size_t p = m + 1; p-- > 0;) {
        for (size_t i = n + 1; i-- > 0;) {
            bool r;
            if (p == m)
                r = i == n;
            else {
                int t = pat[p];
                if (t == tokStar)
                    r = at(p + 1, i) == 2 || (i < n && at(p, i + 1) == 2);
                else if (t == tokDosStar)
                    r = at(p + 1, i) == 2 || (i < n && i != lastDot && at(p, i + 1) == 2);
                else if (t == tokDosQm) {
                    if (i < n && name[i] != '.')
                        r = at(p + 1, i + 1) == 2;
                    else {
                        size_t q = p;
                        while (q < m && pat[q] == tokDosQm)
                            ++q;
                        r = at(q, i) == 2;
                    }
                } else if (t == tokDosDot)
                    r = (i < n && name[i] == '.' && at(p + 1, i + 1) == 2) || (i == n && at(p + 1, i) == 2);
                else
                    r = i < n && (unsigned char)name[i] == t && at(p + 1, i + 1) == 2;
            }
            at(p, i) = r ? 2 : 1;
        }
    }
    return at(0, 0) == 2;
}

struct Search : KoHandleObject {
    Search() : KoHandleObject(KoHandleKind::find) {}
    std::string dir;
    std::vector<std::string> names;
    size_t next = 0;
    std::mutex lock;
};

void fillFindData(const Search& s, const std::string& name, LPWIN32_FIND_DATAA data) {
    memset(data, 0, sizeof *data);
    std::string full = s.dir == "/" ? "/" + name : s.dir + "/" + name;
    struct stat st;
    if (stat(full.c_str(), &st) == 0 || lstat(full.c_str(), &st) == 0) {
        data->dwFileAttributes = koAttributesOf(st, name);
        data->ftCreationTime = koSplitTime(koFileTimeOf(st.st_ctim));
        data->ftLastAccessTime = koSplitTime(koFileTimeOf(st.st_atim));
        data->ftLastWriteTime = koSplitTime(koFileTimeOf(st.st_mtim));
        if (!S_ISDIR(st.st_mode)) {
            data->nFileSizeHigh = DWORD(uint64_t(st.st_size) >> 32);
            data->nFileSizeLow = DWORD(uint64_t(st.st_size) & 0xFFFFFFFFu);
        }
    } else
        data->dwFileAttributes = FILE_ATTRIBUTE_ARCHIVE;
    size_t n = std::min(name.size(), sizeof data->cFileName - 1);
    memcpy(data->cFileName, name.data(), n);
    data->cFileName[n] = 0;
}

} // namespace

HANDLE FindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA data) {
    if (!pattern || !data) {
        koFailWindows(ERROR_INVALID_PARAMETER, crtEINVAL);
        return INVALID_HANDLE_VALUE;
    }
    std::string p(pattern);
    size_t slash = p.rfind('/');
    std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : p.substr(0, slash);
    std::string mask = slash == std::string::npos ? p : p.substr(slash + 1);
    if (mask.empty()) {
        koFailWindows(ERROR_FILE_NOT_FOUND, crtENOENT);
        return INVALID_HANDLE_VALUE;
    }
    DIR* d = opendir(dir.c_str());
    if (!d) {
        int e = errno;
        koFailErrno(e);
        if (e == ENOENT || e == ENOTDIR) SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    Search* s = new (std::nothrow) Search;
    if (!s) {
        closedir(d);
        koFailErrno(ENOMEM);
        return INVALID_HANDLE_VALUE;
    }
    s->dir = dir;
    std::vector<int> compiled = compilePattern(mask);
    while (struct dirent* e = readdir(d))
        if (matchCompiled(compiled, e->d_name)) s->names.push_back(e->d_name);
    closedir(d);
    if (s->names.empty()) {
        s->release();
        koFailWindows(ERROR_FILE_NOT_FOUND, crtENOENT);
        return INVALID_HANDLE_VALUE;
    }
    std::sort(s->names.begin(), s->names.end());
    fillFindData(*s, s->names[0], data);
    s->next = 1;
    HANDLE h = koHandleCreate(s);
    if (!h) {
        koFailWindows(ERROR_NOT_ENOUGH_MEMORY, crtENOMEM);
        return INVALID_HANDLE_VALUE;
    }
    SetLastError(ERROR_SUCCESS);
    return h;
}

BOOL FindNextFileA(HANDLE search, LPWIN32_FIND_DATAA data) {
    auto s = koHandleLookup<Search>(search, KoHandleKind::find);
    if (!s) {
        koFailWindows(ERROR_INVALID_HANDLE, crtEBADF);
        return FALSE;
    }
    if (!data) {
        koFailWindows(ERROR_INVALID_PARAMETER, crtEINVAL);
        return FALSE;
    }
    // One cursor may be advanced from several threads; each entry goes to one of them.
    std::string name;
    {
        std::lock_guard<std::mutex> g(s->lock);
        if (s->next >= s->names.size()) {
            koFailWindows(ERROR_NO_MORE_FILES, crtENOENT);
            return FALSE;
        }
        name = s->names[s->next++];
    }
    fillFindData(*s.get(), name, data);
    return TRUE;
}

BOOL FindClose(HANDLE search) {
    if (!koHandleClose(search, KoHandleKind::find)) {
        koFailWindows(ERROR_INVALID_HANDLE, crtEBADF);
        return FALSE;
    }
    return TRUE;
}
