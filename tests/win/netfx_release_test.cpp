// Reading the .NET Framework setup's Release values from the real registry of the Wine prefix:
// the keys the Microsoft setup writes, set to each state a machine may be in, and put back as
// they were afterwards.
#include <gtest/gtest.h>
#include <windows.h>
#include <sddl.h>

#include <memory>
#include <string>
#include <vector>

#include "Func_Reg.h"
#include "NetFxRelease.h"
#include "TestSupport.h"
#include "WindowsSysVersion.h"

namespace {
// Written out here rather than taken from the module, so that a slip in its key names shows.
const char kSetupKey[] = "SOFTWARE\\Microsoft\\NET Framework Setup";
const char kFullKey[] = "SOFTWARE\\Microsoft\\NET Framework Setup\\NDP\\v4\\Full";
const char kPackKey[] = "SOFTWARE\\Microsoft\\NET Framework Setup\\NDP\\v4\\Full\\2052";

// The view the installer must read: the 64-bit one in the win64 prefix.
REGSAM ReadView() { return TestArch() == "win64" ? KEY_WOW64_64KEY : 0; }

bool KeyExists(const std::string& subKey, REGSAM view) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, subKey.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

void DeleteTree(const std::string& subKey, REGSAM view) {
    std::string::size_type slash = subKey.rfind('\\');
    HKEY parent;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, subKey.substr(0, slash).c_str(), 0, KEY_ALL_ACCESS | view, &parent))
        return;
    RegDeleteTreeA(parent, subKey.substr(slash + 1).c_str());
    RegCloseKey(parent);
}

// What a Release value is made to be for one case.
struct ValueState {
    enum Kind { NoKey, NoValue, Stored } kind = NoKey;
    DWORD type = REG_NONE;
    std::string data;
};
ValueState NoKey() { return {}; }
ValueState NoValue() { return {ValueState::NoValue, REG_NONE, ""}; }
ValueState Stored(DWORD type, const std::string& data) { return {ValueState::Stored, type, data}; }
ValueState Dword(DWORD value) { return Stored(REG_DWORD, std::string(reinterpret_cast<const char*>(&value), 4)); }
ValueState Text(const std::string& text) { return Stored(REG_SZ, text + '\0'); }

// The setup's two keys in one registry view, changed by the test and put back when it ends: a
// key the test made is deleted, a value that was there before is written back as it was.
class SetupKeys {
public:
    explicit SetupKeys(REGSAM view) : view_(view) {
        for (const char* key : {kSetupKey, "SOFTWARE\\Microsoft\\NET Framework Setup\\NDP",
                                "SOFTWARE\\Microsoft\\NET Framework Setup\\NDP\\v4", kFullKey, kPackKey}) {
            if (!KeyExists(key, view)) {
                firstMade_ = key;
                break;
            }
        }
        runtime_ = Saved::Take(kFullKey, view);
        pack_ = Saved::Take(kPackKey, view);
    }
    ~SetupKeys() {
        if (!firstMade_.empty()) DeleteTree(firstMade_, view_);
        runtime_.Restore(kFullKey, view_);
        pack_.Restore(kPackKey, view_);
    }

    void Set(const ValueState& runtime, const ValueState& pack) {
        Put(kPackKey, pack_.existed, NoKey());
        Put(kFullKey, runtime_.existed, runtime);
        if (pack.kind != ValueState::NoKey) Put(kPackKey, pack_.existed, pack);
    }

private:
    struct Saved {
        bool existed = false, hadValue = false;
        DWORD type = REG_NONE;
        std::vector<BYTE> data;
        static Saved Take(const char* subKey, REGSAM view) {
            Saved saved;
            HKEY key;
            if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, subKey, 0, KEY_READ | view, &key)) return saved;
            saved.existed = true;
            DWORD size = 0;
            if (RegQueryValueExA(key, "Release", nullptr, &saved.type, nullptr, &size) == ERROR_SUCCESS) {
                saved.data.resize(size);
                saved.hadValue = RegQueryValueExA(key, "Release", nullptr, &saved.type, saved.data.data(),
                                                  &size) == ERROR_SUCCESS;
            }
            RegCloseKey(key);
            return saved;
        }
        void Restore(const char* subKey, REGSAM view) const {
            if (!existed) return;
            HKEY key;
            if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, subKey, 0, KEY_ALL_ACCESS | view, &key)) return;
            if (hadValue)
                RegSetValueExA(key, "Release", 0, type, data.data(), DWORD(data.size()));
            else
                RegDeleteValueA(key, "Release");
            RegCloseKey(key);
        }
    };

    // A key that was there before the test is never deleted: "no key" then leaves it without
    // its Release value, which reads the same.
    void Put(const char* subKey, bool existedBefore, const ValueState& state) {
        if (state.kind == ValueState::NoKey && !existedBefore) {
            DeleteTree(subKey, view_);
            return;
        }
        HKEY key;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, subKey, 0, nullptr, 0, KEY_ALL_ACCESS | view_, nullptr, &key,
                                  nullptr),
                  ERROR_SUCCESS)
            << subKey;
        if (state.kind == ValueState::Stored)
            EXPECT_EQ(RegSetValueExA(key, "Release", 0, state.type, reinterpret_cast<const BYTE*>(state.data.data()),
                                     DWORD(state.data.size())),
                      ERROR_SUCCESS);
        else
            RegDeleteValueA(key, "Release");
        RegCloseKey(key);
    }

    REGSAM view_;
    std::string firstMade_;
    Saved runtime_, pack_;
};

std::string Describe(const ReleaseReading& r) { return ReleaseReadingText(r); }

ReleaseReading Reading(ReleaseReadingKind kind, uint32_t number = 0) {
    ReleaseReading r;
    r.kind = kind;
    if (kind == ReleaseReadingKind::Dword) r.value = number;
    if (kind == ReleaseReadingKind::WrongType) r.type = number;
    if (kind == ReleaseReadingKind::WrongSize) r.size = number;
    if (kind == ReleaseReadingKind::Unreadable) r.error = number;
    return r;
}
const ReleaseReading kAbsent = Reading(ReleaseReadingKind::Absent);
ReleaseReading DwordOf(uint32_t v) { return Reading(ReleaseReadingKind::Dword, v); }
ReleaseReading TypeOf(uint32_t t) { return Reading(ReleaseReadingKind::WrongType, t); }
ReleaseReading SizeOf(uint32_t s) { return Reading(ReleaseReadingKind::WrongSize, s); }
}  // namespace

TEST(NetFxRelease, ReadsTheViewOfTheSystem) {
    EXPECT_EQ(NetFxRegistryView(), ReadView());
}

TEST(NetFxRelease, EachStateOfTheSetupKeys) {
    SetupKeys keys(ReadView());
    const std::string dword528040 = Dword(528040).data;
    struct Case {
        const char* what;
        ValueState runtime, pack;
        ReleaseReading runtimeRead, packRead;
        NetFxDecision decision;
    } cases[] = {
        {"nothing installed", NoKey(), NoKey(), kAbsent, kAbsent, NetFxDecision::Full},
        {"runtime key without Release", NoValue(), NoKey(), kAbsent, kAbsent, NetFxDecision::Full},
        {"4.5.1", Dword(378758), NoKey(), DwordOf(378758), kAbsent, NetFxDecision::Full},
        {"4.5.2", Dword(379893), NoKey(), DwordOf(379893), kAbsent, NetFxDecision::PackOnly},
        {"4.8", Dword(528040), NoKey(), DwordOf(528040), kAbsent, NetFxDecision::PackOnly},
        {"4.5.2 with its pack", Dword(379893), Dword(379893), DwordOf(379893), DwordOf(379893),
         NetFxDecision::NothingToDo},
        {"4.8 with its pack", Dword(528040), Dword(528040), DwordOf(528040), DwordOf(528040),
         NetFxDecision::NothingToDo},
        {"4.8 with an old pack", Dword(528040), Dword(378758), DwordOf(528040), DwordOf(378758),
         NetFxDecision::PackOnly},
        {"4.8, pack key without Release", Dword(528040), NoValue(), DwordOf(528040), kAbsent,
         NetFxDecision::PackOnly},
        {"the pack's key without the runtime's Release", NoValue(), Dword(379893), kAbsent, DwordOf(379893),
         NetFxDecision::Full},
        {"the pack's key beside 4.5.1", Dword(378758), Dword(528040), DwordOf(378758), DwordOf(528040),
         NetFxDecision::Full},
        // The number in another type is not the setup's: it counts as absent.
        {"REG_SZ runtime", Text("528040"), NoKey(), TypeOf(REG_SZ), kAbsent, NetFxDecision::Full},
        {"REG_SZ runtime, DWORD pack", Text("528040"), Dword(528040), TypeOf(REG_SZ), DwordOf(528040),
         NetFxDecision::Full},
        {"REG_SZ pack", Dword(528040), Text("528040"), DwordOf(528040), TypeOf(REG_SZ), NetFxDecision::PackOnly},
        {"long REG_SZ", Text(std::string(300, '9')), NoKey(), TypeOf(REG_SZ), kAbsent, NetFxDecision::Full},
        {"REG_BINARY of four bytes", Stored(REG_BINARY, dword528040), NoKey(), TypeOf(REG_BINARY), kAbsent,
         NetFxDecision::Full},
        {"REG_DWORD_BIG_ENDIAN", Stored(REG_DWORD_BIG_ENDIAN, dword528040), NoKey(), TypeOf(REG_DWORD_BIG_ENDIAN),
         kAbsent, NetFxDecision::Full},
        {"REG_QWORD", Stored(REG_QWORD, dword528040 + std::string(4, '\0')), NoKey(), TypeOf(REG_QWORD), kAbsent,
         NetFxDecision::Full},
        // A REG_DWORD of the wrong length is no number either, whatever its first bytes say.
        {"REG_DWORD of 2 bytes", Stored(REG_DWORD, dword528040.substr(0, 2)), NoKey(), SizeOf(2), kAbsent,
         NetFxDecision::Full},
        {"REG_DWORD of 0 bytes", Stored(REG_DWORD, ""), NoKey(), SizeOf(0), kAbsent, NetFxDecision::Full},
        {"REG_DWORD of 8 bytes", Stored(REG_DWORD, dword528040 + dword528040), NoKey(), SizeOf(8), kAbsent,
         NetFxDecision::Full},
    };
    for (const Case& c : cases) {
        keys.Set(c.runtime, c.pack);
        NetFxReadings read = ReadNetFxReleases();
        EXPECT_EQ(Describe(read.runtime), Describe(c.runtimeRead)) << c.what;
        EXPECT_EQ(Describe(read.pack), Describe(c.packRead)) << c.what;
        EXPECT_EQ(DecideNetFx(read), c.decision) << c.what;
    }
}

TEST(NetFxRelease, LeavesTheRegistryAsItWas) {
    const bool setupKeyBefore = KeyExists(kSetupKey, ReadView());
    {
        SetupKeys keys(ReadView());
        keys.Set(Dword(528040), Dword(528040));
        ASSERT_EQ(ReadNetFxReleases().pack.kind, ReleaseReadingKind::Dword);
    }
    EXPECT_EQ(KeyExists(kSetupKey, ReadView()), setupKeyBefore);
    if (!setupKeyBefore) {
        EXPECT_EQ(ReadNetFxReleases().runtime.kind, ReleaseReadingKind::Absent);
    }
}

TEST(NetFxRelease, SixtyFourBitViewOnly) {
    if (TestArch() != "win64") GTEST_SKIP() << "the 32-bit and 64-bit views are one on 32-bit Windows";
    // What the 32-bit setup view holds does not count on 64-bit Windows, and the other way round.
    SetupKeys view64(KEY_WOW64_64KEY);
    SetupKeys view32(KEY_WOW64_32KEY);
    view64.Set(NoKey(), NoKey());
    view32.Set(Dword(528040), Dword(528040));
    NetFxReadings read = ReadNetFxReleases();
    EXPECT_EQ(Describe(read.runtime), "absent");
    EXPECT_EQ(Describe(read.pack), "absent");
    EXPECT_EQ(DecideNetFx(read), NetFxDecision::Full);

    view64.Set(Dword(379893), NoKey());
    view32.Set(Dword(378758), Dword(528040));
    read = ReadNetFxReleases();
    EXPECT_EQ(Describe(read.runtime), "Release=379893");
    EXPECT_EQ(Describe(read.pack), "absent");
    EXPECT_EQ(DecideNetFx(read), NetFxDecision::PackOnly);
}

namespace {
// A key of the test's own whose access list the test sets, restored before it is deleted.
class GuardedKey {
public:
    explicit GuardedKey(const char* sddl)
        : subKey_("Software\\QvKuTest\\netfx" + std::to_string(GetCurrentProcessId())),
          key_(new ScratchKey(HKEY_LOCAL_MACHINE, subKey_, ReadView())) {
        key_->SetDword("Release", 528040);
        SetAccess(sddl);
    }
    ~GuardedKey() {
        SetAccess("D:(A;;KA;;;WD)");
        key_.reset();
    }
    const std::string& subKey() const { return subKey_; }

private:
    void SetAccess(const char* sddl) {
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &descriptor, nullptr));
        EXPECT_EQ(RegSetKeySecurity(key_->handle(), DACL_SECURITY_INFORMATION, descriptor), ERROR_SUCCESS);
        LocalFree(descriptor);
    }
    std::string subKey_;
    std::unique_ptr<ScratchKey> key_;
};
}  // namespace

TEST(NetFxRelease, AKeyThatMayOnlyBeReadIsFound) {
    // Read access for everyone, nothing more: a full-access open is refused, the query is not.
    GuardedKey key("D:P(A;;KR;;;WD)");
    HKEY probe;
    LONG full = RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.subKey().c_str(), 0, KEY_ALL_ACCESS | ReadView(), &probe);
    if (full == ERROR_SUCCESS) RegCloseKey(probe);
    ASSERT_EQ(full, ERROR_ACCESS_DENIED) << "the key's access list must refuse a full-access open";
    if (TestArch() == "win64") {
        EXPECT_FALSE(RegKeyExists("HKEY_LOCAL_MACHINE\\" + key.subKey())) << "full-access open, as Func_Reg's";
    }
    EXPECT_EQ(Describe(ReadDwordReading(key.subKey(), "Release", NetFxRegistryView())), "Release=528040");
}

TEST(NetFxRelease, AKeyThatMayNotBeReadCountsAsAbsent) {
    GuardedKey key("D:P");
    ReleaseReading read = ReadDwordReading(key.subKey(), "Release", NetFxRegistryView());
    EXPECT_EQ(Describe(read), "unreadable (error 5)");
    EXPECT_FALSE(ReleaseIs452OrLater(read));
}
