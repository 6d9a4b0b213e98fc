#include <gtest/gtest.h>

#include "CommandLine.h"

using Args = std::vector<std::string>;

TEST(SplitArguments, Rules) {
    struct Case { std::string line; Args args; } cases[] = {
        {"QvKu.exe", {}},
        {"\"C:\\Program Files\\QvKu.exe\"", {}},
        {"\"C:\\Program Files\\QvKu.exe\" -s", {"-s"}},
        {"QvKu.exe -s -d", {"-s", "-d"}},
        {"QvKu.exe   -s\t\t-d  ", {"-s", "-d"}},
        {"QvKu.exe \"-s\"", {"-s"}},
        {"QvKu.exe \"\" -s", {"-s"}},           // a bare pair of quotes does not count
        {"QvKu.exe -s \"\" -d", {"-s", "-d"}},
        {"QvKu.exe \"a b\" c", {"a b", "c"}},
        {"QvKu.exe a\"b c\"d", {"ab cd"}},
        {"QvKu.exe \"unclosed arg", {"unclosed arg"}},
        {"QvKu.exe a\\\"b", {"a\\b"}},           // no escape: the backslash stays, the quote goes
        {"QvKu.exe \x01-s\x1f-a\x20", {"-s", "-a"}},  // every code from 1 to 32 separates
        {"QvKu.exe \xa1\xa1", {"\xa1\xa1"}},       // bytes above 127 belong to the argument
        {"\"\" -s", {"-s"}},                      // an empty program path still names the program
        {"", {}},
        {"   ", {}},
        {std::string("QvKu.exe -s\0-d", 14), {"-s"}},
    };
    for (const auto& c : cases) EXPECT_EQ(SplitArguments(c.line), c.args) << c.line;
}

namespace {
struct Probe {
    uint32_t setupInProgress = 0;
    bool peBuilder = false;
    int valueReads = 0;
    int keyReads = 0;
    DeploymentMarkers Markers() {
        return {[this] { ++valueReads; return setupInProgress; }, [this] { ++keyReads; return peBuilder; }};
    }
};
}  // namespace

TEST(DecideRunMode, Table) {
    struct Case {
        const char* line;
        RunMode mode;
        bool selfDelete;
    } cases[] = {
        {"x -s", RunMode::Silent, false},      {"x /s", RunMode::Silent, false},
        {"x -S", RunMode::Silent, false},      {"x /S", RunMode::Silent, false},
        {"x -a", RunMode::Auto, false},        {"x /A", RunMode::Auto, false},
        {"x -s -d", RunMode::Silent, true},    {"x /S /D", RunMode::Silent, true},
        {"x -a -D", RunMode::Auto, true},      {"x -a /d", RunMode::Auto, true},
        {"x -s x", RunMode::Silent, false},    {"x -a -dd", RunMode::Auto, false},
        {"x \"-s\" \"-d\"", RunMode::Silent, true},
        {"x -s \"\" -d", RunMode::Silent, true},
        {"x", RunMode::Interactive, false},    {"x -d", RunMode::Interactive, false},
        {"x -d -s", RunMode::Interactive, false},
        {"x -s -d -a", RunMode::Interactive, false},  // three arguments select nothing
        {"x --s", RunMode::Interactive, false},       // doubled prefix
        {"x -/s", RunMode::Interactive, false},
        {"x -silent", RunMode::Interactive, false},   // a word behind the prefix
        {"x s", RunMode::Interactive, false},         // a letter without a prefix
        {"x -s-d", RunMode::Interactive, false},
        {"x \\s", RunMode::Interactive, false},
        {"x -x -d", RunMode::Interactive, false},
    };
    for (const auto& c : cases) {
        Probe probe;
        RunModeChoice choice = DecideRunMode(SplitArguments(c.line), probe.Markers());
        EXPECT_EQ(choice.mode, c.mode) << c.line;
        EXPECT_EQ(choice.selfDelete, c.selfDelete) << c.line;
    }
}

TEST(DecideRunMode, DeploymentMarkers) {
    struct Case {
        uint32_t value;
        bool peBuilder;
        RunMode mode;
        int keyReads;
    } cases[] = {
        {1, false, RunMode::Deployment, 1}, {1, true, RunMode::Interactive, 1},
        {0, false, RunMode::Interactive, 0}, {2, false, RunMode::Interactive, 0},
        {0xFFFFFFFFu, false, RunMode::Interactive, 0},
    };
    for (const char* line : {"x", "x -q", "x -s -d -a", "x -d"}) {
        for (const auto& c : cases) {
            Probe probe;
            probe.setupInProgress = c.value;
            probe.peBuilder = c.peBuilder;
            RunModeChoice choice = DecideRunMode(SplitArguments(line), probe.Markers());
            EXPECT_EQ(choice.mode, c.mode) << line << " value " << c.value;
            EXPECT_EQ(choice.selfDelete, c.mode == RunMode::Deployment);
            EXPECT_EQ(probe.keyReads, c.keyReads) << "the key is only looked at when the value is 1";
        }
    }
    // A mode switch never looks at the markers.
    Probe probe;
    probe.setupInProgress = 1;
    EXPECT_EQ(DecideRunMode(SplitArguments("x -a"), probe.Markers()).mode, RunMode::Auto);
    EXPECT_EQ(probe.valueReads, 0);
}
