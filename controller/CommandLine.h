// The command line and the run mode it selects. Pure: no platform calls.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// The arguments that follow the program path. Runs of characters 1 to 32 separate them; a
// double quote opens or closes a stretch in which they do not, and is itself dropped; there is
// no escape. An argument that comes to nothing (a bare pair of quotes) does not count.
std::vector<std::string> SplitArguments(const std::string& commandLine);

enum class RunMode { Interactive, Silent, Auto, Deployment };

struct RunModeChoice {
    RunMode mode = RunMode::Interactive;
    bool selfDelete = false;
};

// What the deployment check reads, asked only when the command line selects no mode; the key
// is only looked at when the value is 1.
struct DeploymentMarkers {
    std::function<uint32_t()> systemSetupInProgress;
    std::function<bool()> peBuilderKeyExists;
};

RunModeChoice DecideRunMode(const std::vector<std::string>& arguments, const DeploymentMarkers& markers);
