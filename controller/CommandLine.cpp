#include "CommandLine.h"

static bool Separates(unsigned char c) { return c >= 1 && c <= 32; }

std::vector<std::string> SplitArguments(const std::string& commandLine) {
    std::vector<std::string> arguments;
    // The command line ends at its first NUL, as the platform hands it over.
    const std::string line = commandLine.substr(0, commandLine.find('\0'));
    std::size_t i = 0;
    bool programPath = true;
    while (true) {
        while (i < line.size() && Separates(static_cast<unsigned char>(line[i]))) ++i;
        if (i >= line.size()) break;
        std::string argument;
        bool quoted = false;
        for (; i < line.size(); ++i) {
            const unsigned char c = static_cast<unsigned char>(line[i]);
            if (c == '"') {
                quoted = !quoted;
            } else if (!quoted && Separates(c)) {
                break;
            } else {
                argument += char(c);
            }
        }
        if (programPath) {
            programPath = false;  // whatever it holds, the first token names the program
        } else if (!argument.empty()) {
            arguments.push_back(argument);
        }
    }
    return arguments;
}

static std::string AsciiLower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return text;
}

static bool IsSwitch(const std::string& argument, char letter) {
    const std::string lower = AsciiLower(argument);
    return lower.size() == 2 && (lower[0] == '/' || lower[0] == '-') && lower[1] == letter;
}

RunModeChoice DecideRunMode(const std::vector<std::string>& arguments, const DeploymentMarkers& markers) {
    RunModeChoice choice;
    if (arguments.size() == 1 || arguments.size() == 2) {
        const std::string& first = arguments[0];
        if (IsSwitch(first, 's')) choice.mode = RunMode::Silent;
        else if (IsSwitch(first, 'a')) choice.mode = RunMode::Auto;
        if (choice.mode != RunMode::Interactive) {
            choice.selfDelete = arguments.size() == 2 && IsSwitch(arguments[1], 'd');
            return choice;
        }
    }
    if (markers.systemSetupInProgress() == 1 && !markers.peBuilderKeyExists()) {
        choice.mode = RunMode::Deployment;
        choice.selfDelete = true;
    }
    return choice;
}
