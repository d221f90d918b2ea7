// Writes the fuzzer's seed corpus, the files of both BMP tables, into a
// directory; with --check, verifies that the directory holds exactly them, so
// the committed corpus cannot drift from the tables.
#include "bmp_cases.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

using namespace quadfind::testing;
namespace fs = std::filesystem;

int main(int argc, char* argv[]) {
    const bool check = argc == 3 && std::string(argv[1]) == "--check";
    if (argc != 2 && !check) {
        std::fprintf(stderr, "usage: bmp_seed_corpus [--check] DIR\n");
        return 2;
    }
    const fs::path dir = argv[argc - 1];
    std::map<std::string, Bytes> files;
    for (const ValidBmp& c : ValidBmps())
        files["valid-" + c.name + ".bmp"] = c.file;
    for (const BrokenBmp& c : BrokenBmps())
        files["broken-" + c.name + ".bmp"] = c.file;

    if (!check) {
        fs::create_directories(dir);
        for (const auto& [name, bytes] : files)
            std::ofstream(dir / name, std::ios::binary)
                .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        std::printf("%zu files written to %s\n", files.size(), dir.c_str());
        return 0;
    }
    int stale = 0;
    for (const auto& entry : fs::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        std::ifstream in(entry.path(), std::ios::binary);
        const Bytes bytes{std::istreambuf_iterator<char>(in), {}};
        const auto it = files.find(name);
        if (it == files.end() || it->second != bytes) {
            std::fprintf(stderr, "%s: %s\n", name.c_str(), it == files.end() ? "not in the tables" : "differs");
            ++stale;
        }
        if (it != files.end())
            files.erase(it);
    }
    for (const auto& [name, bytes] : files) {
        std::fprintf(stderr, "%s: missing\n", name.c_str());
        ++stale;
    }
    if (stale != 0)
        std::fprintf(stderr, "the seed corpus is out of date: run bmp_seed_corpus %s\n", dir.c_str());
    return stale == 0 ? 0 : 1;
}
