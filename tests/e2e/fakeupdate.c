/* The "new version" the update end-to-end test serves as the installer of
 * 1.4.0, built by the test script itself. When started it writes the file
 * "update-ran.txt" next to itself holding its own path (UTF-8), so the test
 * sees that the helper script put it in place of the program and started it
 * from there; then it ends.
 */
#include <windows.h>

#include <stdio.h>
#include <wchar.h>

int main(void) {
    wchar_t path[MAX_PATH] = {0};
    wchar_t marker[MAX_PATH + 32] = {0};
    char utf8[4 * MAX_PATH] = {0};
    wchar_t* slash;
    FILE* f;
    DWORD n = GetModuleFileNameW(NULL, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return 2;
    wcscpy(marker, path);
    slash = wcsrchr(marker, L'\\');
    if (!slash) return 2;
    wcscpy(slash + 1, L"update-ran.txt");
    f = _wfopen(marker, L"wb");
    if (!f) return 3;
    WideCharToMultiByte(CP_UTF8, 0, path, -1, utf8, sizeof utf8, NULL, NULL);
    fprintf(f, "%s\n", utf8);
    fclose(f);
    return 0;
}
