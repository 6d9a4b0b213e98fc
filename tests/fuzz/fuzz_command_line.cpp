// The splitter and the run-mode decision over any command line.
#include <cstddef>
#include <cstdint>
#include <string>

#include "CommandLine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string line(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> args = SplitArguments(line);
    for (const std::string& a : args) {
        if (a.empty()) __builtin_trap();
        for (char c : a)
            if (c == '"' || c == '\0') __builtin_trap();
    }
    DeploymentMarkers markers{[] { return uint32_t(1); }, [] { return false; }};
    RunModeChoice choice = DecideRunMode(args, markers);
    if (choice.mode == RunMode::Interactive && choice.selfDelete) __builtin_trap();
    return 0;
}
