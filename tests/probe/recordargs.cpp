// recordargs: a child process for the tests that start programs. It writes
// its own command line, exactly as the system hands it over, as the first line
// of a file, waits if asked, appends the line "ended" and exits with the code
// asked for.
//
//   recordargs [--out FILE] [--sleep MS] [--exit CODE] [anything else ...]
//
// Without --out the file is named by the environment variable RECORDARGS_OUT.
// Arguments it does not know are ignored, so a caller can put any text on the
// command line.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

bool AppendToFile(const std::string& path, const std::string& text)
{
    std::FILE* file = std::fopen(path.c_str(), "ab");
    if (!file)
        return false;
    bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    return std::fclose(file) == 0 && written;
}

} // namespace

int main(int argc, char** argv)
{
    std::string out;
    if (const char* fromEnvironment = std::getenv("RECORDARGS_OUT"))
        out = fromEnvironment;
    DWORD sleepMs = 0;
    int exitCode = 0;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--out") == 0)
            out = argv[++i];
        else if (std::strcmp(argv[i], "--sleep") == 0)
            sleepMs = static_cast<DWORD>(std::strtoul(argv[++i], nullptr, 10));
        else if (std::strcmp(argv[i], "--exit") == 0)
            exitCode = std::atoi(argv[++i]);
    }
    if (out.empty()) {
        std::fputs("recordargs: no output file (--out or RECORDARGS_OUT)\n", stderr);
        return 125;
    }
    if (!AppendToFile(out, std::string(GetCommandLineA()) + "\n"))
        return 126;
    Sleep(sleepMs);
    if (!AppendToFile(out, "ended\n"))
        return 126;
    return exitCode;
}
