// A stand-in for the browser registered for HTML files: appends one line per start to the file
// named by QVKU_BROWSER_LOG, "cmdline=<hex> args=<hex>,<hex>..." (hex of the bytes; args are the
// parameters after the program's own name), and ends at once.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {
std::string Hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}
}  // namespace

int main(int argc, char** argv) {
    char log[MAX_PATH] = {};
    if (!GetEnvironmentVariableA("QVKU_BROWSER_LOG", log, sizeof log)) return 2;
    std::string line = "cmdline=" + Hex(GetCommandLineA()) + " args=";
    for (int i = 1; i < argc; ++i) line += (i > 1 ? "," : "") + Hex(argv[i]);
    FILE* f = std::fopen(log, "ab");
    if (!f) return 3;
    std::fprintf(f, "%s\n", line.c_str());
    std::fclose(f);
    return 0;
}
