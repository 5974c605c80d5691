/* The statistics requests of a C host's run, read from the recording server's record
 * (testing/stats_server): one JSON line per request, whose "target" is the request's path and
 * query. A request names as its product_id the first product of the loadercontrol.xml beside the
 * program, as the plug-in's control file has it while the plug-in holds one. So a program that
 * checks its requests lives in a folder of its own, whose loadercontrol.xml is the control file
 * of its runs: a copy of a fixture whose product ids carry a suffix of this process's own
 * (RunControlFile). The program finds its first request among those of other tests sharing the
 * server by that suffix, and from it the random identifier (rnd) that every request of the
 * process carries. Include after plugin_slots.h, in one translation unit per program. */
#pragma once

#include <stdlib.h>

#define STATS_MAX_REQUESTS 256
#define STATS_FIELD_CHARS 96

typedef struct {
    char action[STATS_MAX_REQUESTS][STATS_FIELD_CHARS];
    int count;
} StatsActions;

static char g_statsRecord[MAX_PATH]; /* the record in Windows form; empty: no server */
static char g_runSuffix[32];         /* of this process's product ids */
static char g_statsRnd[STATS_FIELD_CHARS];

/* Whether the record names a server for this run (KY_STATS_RECORD, a path of the build
 * machine's, read through Wine's Z: drive). Without one the statistics checks are left out. */
static int StatsChecked(void) { return g_statsRecord[0] != 0; }

static void StatsBegin(void) {
    const char* record = getenv("KY_STATS_RECORD");
    size_t i;
    sprintf(g_runSuffix, "-run%lxx%lx", (unsigned long)GetCurrentProcessId(),
            (unsigned long)GetTickCount());
    if (!record || !record[0] || strlen(record) + 3 > sizeof g_statsRecord) {
        printf("no statistics server for this run (KY_STATS_RECORD): actions not checked\n");
        return;
    }
    strcpy(g_statsRecord, "Z:");
    strcat(g_statsRecord, record);
    for (i = 0; g_statsRecord[i]; ++i) {
        if (g_statsRecord[i] == '/') g_statsRecord[i] = '\\';
    }
}

/* A product id of this process: id with the run's suffix. */
static void RunProduct(const wchar_t* id, wchar_t* out, size_t size) {
    swprintf(out, size, L"%ls%hs", id, g_runSuffix);
}

/* Copies the fixture plugin_host_data\<fixture> of the plug-in's folder to loadercontrol.xml
 * beside the program with every product id (id="...") given the run's suffix, and writes the
 * copy's full path to path; 0 on failure. */
static int RunControlFile(const wchar_t* fixture, wchar_t* path) {
    static char text[16384];
    wchar_t source[MAX_PATH];
    FILE* in;
    FILE* out;
    size_t length;
    char* p;
    wcscpy(source, L"plugin_host_data\\");
    wcscat(source, fixture);
    PathInDir(path, source);
    in = _wfopen(path, L"rb");
    CHECK(in != NULL);
    if (!in) return 0;
    length = fread(text, 1, sizeof text - 1, in);
    fclose(in);
    text[length] = 0;
    length = GetModuleFileNameW(NULL, path, MAX_PATH);
    while (length > 0 && path[length - 1] != L'\\') --length;
    path[length] = 0;
    wcscat(path, L"loadercontrol.xml");
    out = _wfopen(path, L"wb");
    CHECK(out != NULL);
    if (!out) return 0;
    for (p = text; *p;) {
        char* id = strstr(p, " id=\"");
        char* end = id ? strchr(id + 5, '"') : NULL;
        if (!end) {
            fputs(p, out);
            break;
        }
        fwrite(p, 1, (size_t)(end - p), out);
        fputs(g_runSuffix, out);
        p = end;
    }
    fclose(out);
    return 1;
}

/* The value of key in the query of target ("" when missing), at most STATS_FIELD_CHARS - 1
 * characters, still percent-encoded. */
static void QueryValue(const char* target, const char* key, char* value) {
    const char* p = strchr(target, '?');
    size_t keyLength = strlen(key), n = 0;
    value[0] = 0;
    while (p) {
        ++p;
        if (strncmp(p, key, keyLength) == 0 && p[keyLength] == '=') {
            p += keyLength + 1;
            while (p[n] && p[n] != '&' && n + 1 < STATS_FIELD_CHARS) {
                value[n] = p[n];
                ++n;
            }
            value[n] = 0;
            return;
        }
        p = strchr(p, '&');
    }
}

static int IsRandomId(const char* rnd) {
    size_t i;
    for (i = 0; rnd[i]; ++i) {
        if (!((rnd[i] >= '0' && rnd[i] <= '9') || (rnd[i] >= 'a' && rnd[i] <= 'f'))) return 0;
    }
    return i == 40;
}

/* The actions of this process's requests, in order of arrival: those with the random identifier
 * of the first request that names a product with the run's suffix. */
static void ReadStatsActions(StatsActions* out) {
    static char line[8192];
    FILE* file = fopen(g_statsRecord, "rb");
    out->count = 0;
    if (!file) return;
    while (fgets(line, sizeof line, file)) {
        static const char key[] = "\"target\": \"";
        char* target = strstr(line, key);
        char* end;
        char rnd[STATS_FIELD_CHARS], product[STATS_FIELD_CHARS];
        if (!target) continue;
        target += sizeof key - 1;
        end = strchr(target, '"');
        if (!end) continue;
        *end = 0;
        QueryValue(target, "rnd", rnd);
        QueryValue(target, "product_id", product);
        if (!g_statsRnd[0] && strlen(product) > strlen(g_runSuffix) &&
            strcmp(product + strlen(product) - strlen(g_runSuffix), g_runSuffix) == 0) {
            CHECK(IsRandomId(rnd));
            strcpy(g_statsRnd, rnd);
        }
        if (!g_statsRnd[0] || strcmp(rnd, g_statsRnd) != 0) continue;
        if (out->count < STATS_MAX_REQUESTS)
            QueryValue(target, "action", out->action[out->count++]);
    }
    fclose(file);
}

/* The number of this run's requests so far: what a step's actions are counted from. */
static int StatsMark(void) {
    static StatsActions all;
    if (!StatsChecked()) return 0;
    ReadStatsActions(&all);
    return all.count;
}

/* Checks that the requests after mark are exactly the actions listed (NULL-terminated), in order.
 * It waits up to 8 s for them to arrive, then a little longer for any that should not be there. */
static int CheckStatsActions(const char* row, int mark, const char* const* expected) {
    static StatsActions all;
    int wanted = 0, i, same;
    DWORD start = GetTickCount();
    if (!StatsChecked()) return 1;
    while (expected[wanted]) ++wanted;
    for (;;) {
        ReadStatsActions(&all);
        if (all.count - mark >= wanted || GetTickCount() - start > 8000) break;
        Sleep(100);
    }
    Sleep(500);
    ReadStatsActions(&all);
    same = all.count - mark == wanted;
    for (i = 0; same && i < wanted; ++i) same = strcmp(all.action[mark + i], expected[i]) == 0;
    CHECK(same);
    if (!same) {
        printf("%s: statistics actions expected:", row);
        for (i = 0; i < wanted; ++i) printf(" %s", expected[i]);
        printf("\n%s: statistics actions recorded:", row);
        for (i = mark; i < all.count; ++i) printf(" %s", all.action[i]);
        printf("\n");
    }
    return same;
}
