#include <gtest/gtest.h>

#include "NetFxDetection.h"

namespace {
ReleaseReading Absent() { return {}; }
ReleaseReading Dword(uint32_t value) {
    ReleaseReading r;
    r.kind = ReleaseReadingKind::Dword;
    r.value = value;
    return r;
}
ReleaseReading WrongType(uint32_t type) {
    ReleaseReading r;
    r.kind = ReleaseReadingKind::WrongType;
    r.type = type;
    return r;
}
ReleaseReading WrongSize(uint32_t size) {
    ReleaseReading r;
    r.kind = ReleaseReadingKind::WrongSize;
    r.size = size;
    return r;
}
ReleaseReading Unreadable(uint32_t error) {
    ReleaseReading r;
    r.kind = ReleaseReadingKind::Unreadable;
    r.error = error;
    return r;
}
}  // namespace

TEST(NetFxDetection, ReleaseCountsFrom452) {
    struct Case {
        const char* what;
        ReleaseReading reading;
        bool present;
    } cases[] = {
        {"absent", Absent(), false},
        {"0", Dword(0), false},
        {"4.5", Dword(378389), false},
        {"4.5.1", Dword(378758), false},
        {"one below 4.5.2", Dword(379892), false},
        {"4.5.2", Dword(379893), true},
        {"4.6", Dword(393295), true},
        {"4.8", Dword(528040), true},
        {"largest", Dword(0xFFFFFFFFu), true},
        // The number itself stored as text, as a big-endian DWORD or as a QWORD is no release.
        {"REG_SZ", WrongType(1), false},
        {"REG_DWORD_BIG_ENDIAN", WrongType(5), false},
        {"REG_QWORD", WrongType(11), false},
        {"short DWORD", WrongSize(2), false},
        {"long DWORD", WrongSize(8), false},
        // A reading that is not a DWORD never counts, whatever its other fields hold.
        {"unreadable with a value", [] { ReleaseReading r = Unreadable(5); r.value = 528040; return r; }(), false},
        {"wrong type with a value", [] { ReleaseReading r = WrongType(1); r.value = 528040; return r; }(), false},
    };
    for (const Case& c : cases) EXPECT_EQ(ReleaseIs452OrLater(c.reading), c.present) << c.what;
}

TEST(NetFxDetection, DecisionFromBothReadings) {
    struct Case {
        ReleaseReading runtime, pack;
        bool runtimePresent, packPresent;
        NetFxDecision decision;
    } cases[] = {
        {Absent(), Absent(), false, false, NetFxDecision::Full},
        {Dword(378758), Absent(), false, false, NetFxDecision::Full},
        {Dword(379893), Absent(), true, false, NetFxDecision::PackOnly},
        {Dword(528040), Absent(), true, false, NetFxDecision::PackOnly},
        {Dword(379893), Dword(379893), true, true, NetFxDecision::NothingToDo},
        {Dword(528040), Dword(528040), true, true, NetFxDecision::NothingToDo},
        // An older pack under a current runtime: only the pack runs.
        {Dword(528040), Dword(378758), true, false, NetFxDecision::PackOnly},
        {Dword(379893), WrongType(1), true, false, NetFxDecision::PackOnly},
        {Dword(379893), Unreadable(5), true, false, NetFxDecision::PackOnly},
        // The pack's key without the runtime's, or beside an older one: the whole install.
        {Absent(), Dword(379893), false, true, NetFxDecision::Full},
        {Dword(378758), Dword(528040), false, true, NetFxDecision::Full},
        {WrongType(1), Dword(379893), false, true, NetFxDecision::Full},
        {WrongSize(2), Dword(379893), false, true, NetFxDecision::Full},
        {Unreadable(5), Dword(528040), false, true, NetFxDecision::Full},
    };
    for (const Case& c : cases) {
        NetFxReadings readings{c.runtime, c.pack};
        std::string what = NetFxReadingsText(readings);
        EXPECT_EQ(NetFxRuntimePresent(readings), c.runtimePresent) << what;
        EXPECT_EQ(NetFxPackPresent(readings), c.packPresent) << what;
        EXPECT_EQ(DecideNetFx(readings), c.decision) << what;
    }
}

TEST(NetFxDetection, TextsForTheLog) {
    struct Case {
        ReleaseReading reading;
        const char* text;
    } cases[] = {
        {Absent(), "absent"},
        {Dword(379893), "Release=379893"},
        {Dword(0), "Release=0"},
        {Dword(0xFFFFFFFFu), "Release=4294967295"},
        {WrongType(0), "REG_NONE, not a DWORD"},
        {WrongType(1), "REG_SZ, not a DWORD"},
        {WrongType(2), "REG_EXPAND_SZ, not a DWORD"},
        {WrongType(3), "REG_BINARY, not a DWORD"},
        {WrongType(5), "REG_DWORD_BIG_ENDIAN, not a DWORD"},
        {WrongType(7), "REG_MULTI_SZ, not a DWORD"},
        {WrongType(11), "REG_QWORD, not a DWORD"},
        {WrongType(12), "type 12, not a DWORD"},
        {WrongType(0xFFFFFFFFu), "type 4294967295, not a DWORD"},
        {WrongSize(0), "REG_DWORD of 0 bytes"},
        {WrongSize(1), "REG_DWORD of 1 byte"},
        {WrongSize(8), "REG_DWORD of 8 bytes"},
        {Unreadable(5), "unreadable (error 5)"},
    };
    for (const Case& c : cases) EXPECT_EQ(ReleaseReadingText(c.reading), c.text);

    EXPECT_STREQ(NetFxDecisionName(NetFxDecision::Full), "Full");
    EXPECT_STREQ(NetFxDecisionName(NetFxDecision::PackOnly), "PackOnly");
    EXPECT_STREQ(NetFxDecisionName(NetFxDecision::NothingToDo), "NothingToDo");
    EXPECT_EQ(NetFxReadingsText({Dword(528040), Absent()}), "runtime Release=528040, language pack absent: PackOnly");
    EXPECT_EQ(NetFxReadingsText({Absent(), WrongType(1)}), "runtime absent, language pack REG_SZ, not a DWORD: Full");
}
