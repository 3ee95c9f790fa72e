/* Stands in for a browser: records the arguments it was started with, and a little of how it was
   started, in the file named by its first argument (written whole, then renamed into place). */
#define _GNU_SOURCE
#include <dirent.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static void entry(FILE* f, const char* key, const char* value) {
    fprintf(f, "%s=%zu:%s\n", key, strlen(value), value);
}

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    char part[4096], text[4096];
    snprintf(part, sizeof part, "%s.part", argv[1]);
    FILE* f = fopen(part, "w");
    if (!f) return 1;
    for (int i = 2; i < argc; ++i)
        entry(f, "arg", argv[i]);
    if (getcwd(text, sizeof text)) entry(f, "cwd", text);
    const char* echo = getenv("HELP_OPENER_ECHO");
    if (echo) entry(f, "echo", echo);
    int fds = 0;
    DIR* d = opendir("/proc/self/fd");
    if (d) {
        for (struct dirent* e; (e = readdir(d));)
            if (e->d_name[0] != '.' && atoi(e->d_name) > 2 && atoi(e->d_name) != dirfd(d) &&
                atoi(e->d_name) != fileno(f))
                ++fds;
        closedir(d);
    }
    snprintf(text, sizeof text, "%d", fds);
    entry(f, "fds", text);
    entry(f, "session", getsid(0) == getpid() ? "leader" : "member");
    fclose(f);
    return rename(part, argv[1]) == 0 ? 0 : 1;
}
