// Checks what a run left against the promise every run keeps, for the crash test: prints each
// breach and ends with 1 when there is any.
// Usage: check-invariant HANDHELD LOCALDIR SERVED SETTINGS [BOX]. SETTINGS is a file of the
// settings as they must stay ("name=value" lines), written from the stored ones when missing.
// ZC_SERVER_LOG names the stand-in server's log: then a row imported twice is a breach too.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "support/Invariant.h"

int main(int argc, char** argv) {
    if (argc < 5) {
        std::cerr << "usage: check-invariant HANDHELD LOCALDIR SERVED SETTINGS [BOX]\n";
        return 2;
    }
    const char* serverLog = std::getenv("ZC_SERVER_LOG");
    zc::test::World world{argv[1], argv[2], argv[3], {}, serverLog ? serverLog : ""};
    if (!std::filesystem::exists(argv[4])) {
        std::ofstream out(argv[4]);
        for (const auto& [name, value] : zc::test::StoredSettings()) out << name << '=' << value << '\n';
    }
    std::ifstream in(argv[4]);
    for (std::string line; std::getline(in, line);)
        world.settings[line.substr(0, line.find('='))] = line.substr(line.find('=') + 1);
    std::vector<std::string> breaches = zc::test::Breaches(world, argc > 5 ? argv[5] : "");
    for (const std::string& breach : breaches) std::cout << breach << '\n';
    return breaches.empty() ? 0 : 1;
}
