#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "ChainerData.h"

namespace {

// The documented offsets, written out here rather than taken from the header, so that a wrong
// constant there shows as a wrong byte here.
constexpr size_t kAtDownloadFinished = 0, kAtInstallFinished = 1, kAtDownloadAbort = 2, kAtInstallAbort = 3,
                 kAtHrDownload = 4, kAtHrInstall = 8, kAtHrInternal = 12, kAtStep = 16, kAtDownloadSoFar = 536,
                 kAtInstallSoFar = 537, kAtEventName = 538, kAtVersion = 1058, kAtMessageCode = 1060,
                 kAtResponse = 1064, kAtDataLength = 1068, kAtData = 1072;

// A buffer of exactly the given size (so that AddressSanitizer sees any read past it) and the
// few stores a fixture needs.
struct Block {
    std::vector<uint8_t> bytes;
    explicit Block(size_t size, uint8_t fill = 0) : bytes(size, fill) {}
    void U8(size_t at, uint8_t v) { bytes.at(at) = v; }
    void U32(size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) bytes.at(at + i) = uint8_t(v >> (8 * i));
    }
    uint32_t Get32(size_t at) const {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v |= uint32_t(bytes.at(at + i)) << (8 * i);
        return v;
    }
    // The units as they are, no terminator added.
    void Text(size_t at, const std::u16string& text) {
        for (size_t i = 0; i < text.size(); ++i) {
            bytes.at(at + 2 * i) = uint8_t(text[i]);
            bytes.at(at + 2 * i + 1) = uint8_t(text[i] >> 8);
        }
    }
    // An installer's block seen through a shorter buffer: a fresh allocation of exactly n bytes.
    Block& CutTo(size_t n) {
        bytes = std::vector<uint8_t>(bytes.begin(), bytes.begin() + n);
        return *this;
    }
    uint8_t* data() { return bytes.data(); }
    size_t size() const { return bytes.size(); }
};

struct App {
    std::u16string name;  // written as is: 260 units leave no room for a NUL
    uint32_t pid;
};

// A files-in-use question as an installer writes it: code 0x01070001, the claimed length just
// covering the list.
Block FilesInUse(const std::vector<App>& apps, size_t size = 65536) {
    Block b(size);
    b.U32(kAtMessageCode, 0x01070001);
    b.U32(kAtDataLength, uint32_t(4 + apps.size() * 524));
    b.U32(kAtData, uint32_t(apps.size()));
    for (size_t i = 0; i < apps.size(); ++i) {
        const size_t entry = kAtData + 4 + i * 524;
        b.Text(entry, apps[i].name);
        b.U32(entry + 520, apps[i].pid);
    }
    return b;
}

const std::u16string kNotepadCn = u"记事本.exe";
const std::string kNotepadCnUtf8 = "\xE8\xAE\xB0\xE4\xBA\x8B\xE6\x9C\xAC.exe";
const std::u16string kExcel = u"EXCEL.EXE";

}  // namespace

TEST(ChainerData, ReadsEachFieldAtItsDocumentedOffset) {
    using Get = std::function<uint32_t(const ChainerProgress&, const ChainerMessage&)>;
    struct Case { const char* field; size_t at; int width; uint32_t value; Get get; } cases[] = {
        {"downloadFinished", kAtDownloadFinished, 1, 1, [](auto& p, auto&) { return uint32_t(p.downloadFinished); }},
        {"installFinished", kAtInstallFinished, 1, 1, [](auto& p, auto&) { return uint32_t(p.installFinished); }},
        {"downloadAbort", kAtDownloadAbort, 1, 1, [](auto& p, auto&) { return uint32_t(p.downloadAbort); }},
        {"installAbort", kAtInstallAbort, 1, 1, [](auto& p, auto&) { return uint32_t(p.installAbort); }},
        {"hrDownloadFinished", kAtHrDownload, 4, 0x80070005, [](auto& p, auto&) { return p.hrDownloadFinished; }},
        {"hrInstallFinished", kAtHrInstall, 4, 0x80004004, [](auto& p, auto&) { return p.hrInstallFinished; }},
        {"hrInternalError", kAtHrInternal, 4, 0x00000643, [](auto& p, auto&) { return p.hrInternalError; }},
        {"szCurrentItemStep", kAtStep, 1, 'Z', [](auto& p, auto&) { return p.currentItemStep == "Z" ? uint32_t('Z') : 0; }},
        {"downloadSoFar", kAtDownloadSoFar, 1, 201, [](auto& p, auto&) { return uint32_t(p.downloadSoFar); }},
        {"installSoFar", kAtInstallSoFar, 1, 77, [](auto& p, auto&) { return uint32_t(p.installSoFar); }},
        {"version", kAtVersion, 1, 1, [](auto& p, auto&) { return uint32_t(p.version); }},
        {"messageCode", kAtMessageCode, 4, 0x02040009, [](auto&, auto& m) { return m.messageCode; }},
    };
    for (const Case& c : cases) {
        Block b(kAtData + 16);
        if (c.width == 1) b.U8(c.at, uint8_t(c.value));
        else b.U32(c.at, c.value);
        ChainerProgress p;
        ChainerMessage m;
        ASSERT_TRUE(ReadChainerProgress(b.data(), b.size(), p)) << c.field;
        ASSERT_TRUE(ReadChainerMessage(b.data(), b.size(), m)) << c.field;
        EXPECT_EQ(c.get(p, m), c.value) << c.field;
        // and no other field saw it
        for (const Case& other : cases)
            if (&other != &c) EXPECT_EQ(other.get(p, m), 0u) << c.field << " leaked into " << other.field;
    }
}

TEST(ChainerData, WritersPutEachFieldAtItsDocumentedOffset) {
    Block b(kAtData);
    ASSERT_TRUE(InitializeChainerData(b.data(), b.size(), "E"));
    EXPECT_EQ(b.Get32(kAtHrDownload), 0x8000000Au);
    EXPECT_EQ(b.Get32(kAtHrInstall), 0x8000000Au);
    EXPECT_EQ(b.bytes[kAtEventName], 'E');
    EXPECT_EQ(b.bytes[kAtVersion], 1);

    ASSERT_TRUE(RequestChainerAbort(b.data(), b.size()));
    EXPECT_EQ(b.bytes[kAtDownloadAbort], 1);
    EXPECT_EQ(b.bytes[kAtInstallAbort], 1);

    b.U32(kAtMessageCode, 0x01070001);
    ASSERT_TRUE(AnswerChainerMessage(b.data(), b.size(), 0xA1B2C3D4));
    EXPECT_EQ(b.Get32(kAtResponse), 0xA1B2C3D4u);
    EXPECT_EQ(b.Get32(kAtMessageCode), 0u);
}

TEST(InitializeChainerData, WritesTheStartStateOverWhatWasThere) {
    const std::string name = "QvKu.Event.5f3a9c1e-0b7d";
    Block b(65536, 0xAA);
    ASSERT_TRUE(InitializeChainerData(b.data(), b.size(), name));

    Block expected(65536);
    expected.U32(kAtHrDownload, 0x8000000A);
    expected.U32(kAtHrInstall, 0x8000000A);
    expected.Text(kAtEventName, std::u16string(name.begin(), name.end()));
    expected.U8(kAtVersion, 1);
    EXPECT_EQ(b.bytes, expected.bytes);

    ChainerProgress p;
    ASSERT_TRUE(ReadChainerProgress(b.data(), b.size(), p));
    EXPECT_FALSE(p.installFinished);
    EXPECT_EQ(p.hrInstallFinished, kHresultPending);
    EXPECT_EQ(ChainerFraction255(p), 0);
    ChainerMessage m;
    ASSERT_TRUE(ReadChainerMessage(b.data(), b.size(), m));
    EXPECT_EQ(m.question, ChainerQuestion::None);
}

TEST(InitializeChainerData, LongestNameStillEndsWithItsNul) {
    const std::string name(259, 'n');
    Block b(kAtData, 0xAA);
    ASSERT_TRUE(InitializeChainerData(b.data(), b.size(), name));
    EXPECT_EQ(b.bytes[kAtEventName + 2 * 258], 'n');
    EXPECT_EQ(b.bytes[kAtEventName + 2 * 259], 0);
    EXPECT_EQ(b.bytes[kAtEventName + 2 * 259 + 1], 0);
    EXPECT_EQ(b.bytes[kAtVersion], 1);
    EXPECT_EQ(Utf8FromUtf16Le(b.data() + kAtEventName, 260), name);
}

TEST(InitializeChainerData, RefusesAndLeavesTheBufferAlone) {
    struct Case { std::string name; size_t size; const char* what; } cases[] = {
        {"QvKu.Event.1", kAtData - 1, "buffer shorter than the header"},
        {"QvKu.Event.1", 0, "empty buffer"},
        {std::string(260, 'n'), 65536, "name with no room for its NUL"},
        {std::string(5000, 'n'), 65536, "name far too long"},
        {"", 65536, "empty name"},
        {"QvKu.\xCA\xC2\xBC\xFE", 65536, "GBK bytes: widening them would name another event"},
        {std::string("QvKu\0Event", 10), 65536, "NUL inside the name"},
    };
    for (const Case& c : cases) {
        Block b(c.size, 0xAA);
        EXPECT_FALSE(InitializeChainerData(b.data(), b.size(), c.name)) << c.what;
        EXPECT_EQ(b.bytes, Block(c.size, 0xAA).bytes) << c.what;
    }
    EXPECT_FALSE(InitializeChainerData(nullptr, 65536, "QvKu.Event.1"));
}

TEST(ReadChainerProgress, StepTextEndsAtItsNulOrAtTheFieldsEnd) {
    struct Case { std::u16string written; bool terminated; std::string expected; const char* what; } cases[] = {
        {u"Installing .NET Framework 4.5.2", true, "Installing .NET Framework 4.5.2", "terminated"},
        {u"\u6B63\u5728\u5B89\u88C5", true, "\xE6\xAD\xA3\xE5\x9C\xA8\xE5\xAE\x89\xE8\xA3\x85", "Chinese, terminated"},
        {u"", true, "", "empty"},
        {std::u16string(260, u'x'), false, std::string(260, 'x'), "fills the field, no NUL"},
        {std::u16string(259, u'x') + u"\u00E9", false, std::string(259, 'x') + "\xC3\xA9", "no NUL, last unit two bytes in UTF-8"},
        {std::u16string(259, u'x') + u"\xD83D", false, std::string(259, 'x') + "\xEF\xBF\xBD",
         "no NUL, a high surrogate in the last unit: its partner would be downloadSoFar"},
    };
    for (const Case& c : cases) {
        Block b(kAtData);
        b.Text(kAtStep, c.written);
        // What follows the text when it is unterminated: if read as text it would add "A" or,
        // with the surrogate, a pair.
        b.U8(kAtDownloadSoFar, 0x41);
        b.U8(kAtInstallSoFar, 0xDC);
        if (!c.terminated) ASSERT_EQ(c.written.size(), 260u);
        else b.Text(kAtStep + 2 * c.written.size() + 2, u"after the NUL");
        ChainerProgress p;
        ASSERT_TRUE(ReadChainerProgress(b.data(), b.size(), p)) << c.what;
        EXPECT_EQ(p.currentItemStep, c.expected) << c.what;
        EXPECT_EQ(p.downloadSoFar, 0x41) << c.what;
    }
}

TEST(ReadChainerProgress, BufferShorterThanTheHeader) {
    for (size_t size : {size_t(0), size_t(4), size_t(kAtVersion + 1), size_t(kAtData - 1)}) {
        Block b(size, 0xFF);
        ChainerProgress p;
        p.installSoFar = 9;
        EXPECT_FALSE(ReadChainerProgress(b.data(), b.size(), p)) << size;
        EXPECT_EQ(p.installSoFar, 0) << "out is reset, size " << size;
    }
    ChainerProgress p;
    EXPECT_FALSE(ReadChainerProgress(nullptr, 65536, p));
}

TEST(Utf8FromUtf16Le, PairsAndUnpairedSurrogates) {
    struct Case { std::u16string units; size_t maxUnits; std::string utf8; const char* what; } cases[] = {
        {u"abc", 3, "abc", "ASCII"},
        {u"abc", 2, "ab", "stops at maxUnits"},
        {u"abc", 0, "", "no units"},
        {std::u16string(u"a\0b", 3), 3, "a", "stops at NUL"},
        {u"\u00FF\u07FF\u0800\uFFFF", 4, "\xC3\xBF\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF", "two- and three-byte edges"},
        {u"\xD83D\xDE00", 2, "\xF0\x9F\x98\x80", "a pair: U+1F600"},
        {u"\xDBFF\xDFFF", 2, "\xF4\x8F\xBF\xBF", "the last pair: U+10FFFF"},
        {u"\xD83D\xDE00", 1, "\xEF\xBF\xBD", "pair cut by maxUnits"},
        {u"\xD83Dx", 2, "\xEF\xBF\xBDx", "high then a letter"},
        {u"\xD83D\xD83D\xDE00", 3, "\xEF\xBF\xBD\xF0\x9F\x98\x80", "high, then a pair"},
        {u"\xDE00x", 2, "\xEF\xBF\xBDx", "lone low"},
        {std::u16string(u"\xD83D\0z", 3), 3, "\xEF\xBF\xBD", "high then NUL: the NUL still ends it"},
    };
    for (const Case& c : cases) {
        Block b(2 * c.maxUnits);
        b.Text(0, c.units.substr(0, c.maxUnits));
        EXPECT_EQ(Utf8FromUtf16Le(b.data(), c.maxUnits), c.utf8) << c.what;
    }
    EXPECT_EQ(Utf8FromUtf16Le(nullptr, 10), "");
}

TEST(ReadChainerMessage, FilesInUseWithTwoApplications) {
    Block b = FilesInUse({{kNotepadCn, 4242}, {kExcel, 0xFEDCBA98}});
    ChainerMessage m;
    ASSERT_TRUE(ReadChainerMessage(b.data(), b.size(), m));
    EXPECT_EQ(m.messageCode, 0x01070001u);
    EXPECT_EQ(m.version, 1);
    EXPECT_EQ(m.code, 1);
    EXPECT_EQ(DefaultAnswer(m), kAnswerNo);
    EXPECT_EQ(m.question, ChainerQuestion::FilesInUse);
    EXPECT_FALSE(m.malformed);
    EXPECT_TRUE(NeedsUserAnswer(m));
    ASSERT_EQ(m.applications.size(), 2u);
    EXPECT_EQ(m.applications[0].name, kNotepadCnUtf8);
    EXPECT_EQ(m.applications[0].processId, 4242u);
    EXPECT_EQ(m.applications[1].name, "EXCEL.EXE");
    EXPECT_EQ(m.applications[1].processId, 0xFEDCBA98u);
    EXPECT_EQ(m.applicationsLeftOut, 0u);
}

TEST(ReadChainerMessage, LongListIsCappedAndTheRestCounted) {
    std::vector<App> apps;
    for (uint32_t i = 0; i < 70; ++i) apps.push_back({u"app" + std::u16string(1, char16_t(u'A' + i % 26)), 1000 + i});
    Block b = FilesInUse(apps);
    ChainerMessage m;
    ASSERT_TRUE(ReadChainerMessage(b.data(), b.size(), m));
    EXPECT_FALSE(m.malformed);
    ASSERT_EQ(m.applications.size(), 64u);
    EXPECT_EQ(m.applicationsLeftOut, 6u);
    EXPECT_EQ(m.applications[63].processId, 1063u);
    EXPECT_EQ(m.applications[63].name, "appL");
}

// The chainer reads a copy of the whole 65,536-byte mapping, which holds 123 entries after the
// header at most: the largest honest list is taken (capped), one more entry is past its end.
TEST(ReadChainerMessage, TheMappingsEndBoundsTheList) {
    std::vector<App> apps;
    for (uint32_t i = 0; i < 123; ++i) apps.push_back({u"app.exe", 5000 + i});
    struct Case { uint32_t count; uint32_t claimed; bool malformed; size_t taken; uint32_t leftOut; } cases[] = {
        {123, 4 + 123 * 524, false, 64, 59},
        {123, 65536 - kAtData, false, 64, 59},
        {124, 65536 - kAtData, true, 0, 0},
        {124, 4 + 124 * 524, true, 0, 0},
    };
    for (const Case& c : cases) {
        Block b = FilesInUse(apps);
        b.U32(kAtData, c.count);
        b.U32(kAtDataLength, c.claimed);
        ChainerMessage m;
        ASSERT_TRUE(ReadChainerMessage(b.data(), b.size(), m)) << c.count << "/" << c.claimed;
        EXPECT_EQ(m.malformed, c.malformed) << c.count << "/" << c.claimed;
        EXPECT_EQ(m.applications.size(), c.taken) << c.count << "/" << c.claimed;
        EXPECT_EQ(m.applicationsLeftOut, c.leftOut) << c.count << "/" << c.claimed;
        if (c.taken) EXPECT_EQ(m.applications.back().processId, 5063u);
    }
}

// Every block here comes from a misbehaving or hostile installer. None may crash or read outside
// the buffer (each Block has exactly its size, so AddressSanitizer sees any stray read), and each
// must still be answerable: a question that cannot be read gets its default answer.
TEST(ReadChainerMessage, MalformedAndOddBlocks) {
    const App notepad{kNotepadCn, 11}, excel{kExcel, 22};
    const std::u16string full260 = std::u16string(259, u'\u6587') + u"Z";  // no room for a NUL
    struct Case {
        const char* what;
        std::function<Block()> make;
        bool read;
        ChainerQuestion question;
        bool malformed;
        size_t apps;
        uint32_t defaultAnswer;
        bool askUser;
    } cases[] = {
        {"claimed length 0xFFFFFFF0",
         [&] { Block b = FilesInUse({notepad, excel}); b.U32(kAtDataLength, 0xFFFFFFF0); return b; },
         true, ChainerQuestion::FilesInUse, true, 0, kAnswerNo, false},
        {"claimed length one byte past the buffer's end",
         [&] { Block b = FilesInUse({notepad, excel}); b.U32(kAtDataLength, 4 + 2 * 524 + 1); return b.CutTo(kAtData + 4 + 2 * 524); },
         true, ChainerQuestion::FilesInUse, true, 0, kAnswerNo, false},
        {"claimed length ending exactly at the buffer's end",
         [&] { return FilesInUse({notepad, excel}, kAtData + 4 + 2 * 524); },
         true, ChainerQuestion::FilesInUse, false, 2, kAnswerNo, true},
        {"count one more than the claimed length holds",
         [&] { Block b = FilesInUse({notepad, excel}); b.U32(kAtData, 3); return b; },
         true, ChainerQuestion::FilesInUse, true, 0, kAnswerNo, false},
        {"count past the end of the mapping, length claiming all of it",
         [&] { Block b = FilesInUse({notepad, excel}); b.U32(kAtDataLength, 65536 - kAtData); b.U32(kAtData, 125); return b; },
         true, ChainerQuestion::FilesInUse, true, 0, kAnswerNo, false},
        // 8196514 * 524 + 4 wraps in 32 bits to 6044, which a 32-bit check would find within the
        // claimed 6292 bytes (room for 12 entries).
        {"count * 524 overflowing 32 bits",
         [&] { Block b = FilesInUse({notepad, excel}); b.U32(kAtDataLength, 4 + 12 * 524); b.U32(kAtData, 8196514); return b; },
         true, ChainerQuestion::FilesInUse, true, 0, kAnswerNo, false},
        {"count 0xFFFFFFFF",
         [&] { Block b = FilesInUse({notepad, excel}); b.U32(kAtDataLength, 65536 - kAtData); b.U32(kAtData, 0xFFFFFFFF); return b; },
         true, ChainerQuestion::FilesInUse, true, 0, kAnswerNo, false},
        {"claimed length too short for the count itself",
         [&] { Block b = FilesInUse({}); b.U32(kAtDataLength, 3); return b; },
         true, ChainerQuestion::FilesInUse, true, 0, kAnswerNo, false},
        {"buffer cut in the middle of the second entry",
         [&] { return FilesInUse({notepad, excel}).CutTo(kAtData + 4 + 524 + 100); },
         true, ChainerQuestion::FilesInUse, true, 0, kAnswerNo, false},
        {"buffer ending right after the header",
         [&] { return FilesInUse({notepad}).CutTo(kAtData); },
         true, ChainerQuestion::FilesInUse, true, 0, kAnswerNo, false},
        {"buffer shorter than the header",
         [&] { return FilesInUse({notepad}).CutTo(kAtData - 1); },
         false, ChainerQuestion::None, false, 0, 0, false},
        {"names filling all 260 units, no NUL",
         [&] { return FilesInUse({{full260, 0x11111111}, {full260, 0x22222222}}, kAtData + 4 + 2 * 524); },
         true, ChainerQuestion::FilesInUse, false, 2, kAnswerNo, true},
        {"an empty list",
         [&] { return FilesInUse({}); },
         true, ChainerQuestion::FilesInUse, false, 0, kAnswerNo, false},
        {"claimed length larger than the list needs",
         [&] { Block b = FilesInUse({notepad}); b.U32(kAtDataLength, 4000); return b; },
         true, ChainerQuestion::FilesInUse, false, 1, kAnswerNo, true},
        {"unknown code: default answer from bits 16-23",
         [&] { Block b = FilesInUse({notepad}); b.U32(kAtMessageCode, 0x01020005); return b; },
         true, ChainerQuestion::Unknown, false, 0, kAnswerCancel, false},
        {"code 0 under a nonzero message code",
         [&] { Block b(kAtData); b.U32(kAtMessageCode, 0x01060000); return b; },
         true, ChainerQuestion::Unknown, false, 0, kAnswerYes, false},
        {"message code with version 0",
         [&] { Block b = FilesInUse({notepad}); b.U32(kAtMessageCode, 0x00040001); return b; },
         true, ChainerQuestion::Unknown, false, 0, kAnswerRetry, false},
        {"message code with version 2",
         [&] { Block b = FilesInUse({notepad}); b.U32(kAtMessageCode, 0x02070001); return b; },
         true, ChainerQuestion::Unknown, false, 0, kAnswerNo, false},
        {"no question, data left behind",
         [&] { Block b = FilesInUse({notepad}); b.U32(kAtMessageCode, 0); return b; },
         true, ChainerQuestion::None, false, 0, 0, false},
    };
    for (const Case& c : cases) {
        Block b = c.make();
        ChainerMessage m;
        EXPECT_EQ(ReadChainerMessage(b.data(), b.size(), m), c.read) << c.what;
        EXPECT_EQ(m.question, c.question) << c.what;
        EXPECT_EQ(m.malformed, c.malformed) << c.what;
        EXPECT_EQ(m.applications.size(), c.apps) << c.what;
        EXPECT_EQ(m.applicationsLeftOut, 0u) << c.what;
        EXPECT_EQ(DefaultAnswer(m), c.defaultAnswer) << c.what;
        EXPECT_EQ(NeedsUserAnswer(m), c.askUser) << c.what;
    }
}

TEST(ReadChainerMessage, UnterminatedNamesKeepTheirPids) {
    const std::u16string full260 = std::u16string(259, u'\u6587') + u"Z";
    Block b = FilesInUse({{full260, 0x11111111}, {full260, 0x22222222}}, kAtData + 4 + 2 * 524);
    ChainerMessage m;
    ASSERT_TRUE(ReadChainerMessage(b.data(), b.size(), m));
    ASSERT_EQ(m.applications.size(), 2u);
    std::string expected;
    for (int i = 0; i < 259; ++i) expected += "\xE6\x96\x87";
    expected += "Z";
    EXPECT_EQ(m.applications[0].name, expected);
    EXPECT_EQ(m.applications[0].processId, 0x11111111u);
    EXPECT_EQ(m.applications[1].name, expected);
    EXPECT_EQ(m.applications[1].processId, 0x22222222u);
}

TEST(AnswerChainerMessage, WritesTheAnswerClearsTheQuestionAndCancelAborts) {
    struct Case { uint32_t response; bool aborts; } cases[] = {
        {kAnswerYes, false}, {kAnswerNo, false}, {kAnswerRetry, false}, {kAnswerCancel, true},
    };
    for (const Case& c : cases) {
        Block b = FilesInUse({{kNotepadCn, 4242}});
        b.U32(kAtHrInstall, 0x8000000A);
        b.U8(kAtInstallSoFar, 99);
        Block expected = b;
        ASSERT_TRUE(AnswerChainerMessage(b.data(), b.size(), c.response)) << c.response;
        expected.U32(kAtResponse, c.response);
        expected.U32(kAtMessageCode, 0);
        if (c.aborts) {
            expected.U8(kAtDownloadAbort, 1);
            expected.U8(kAtInstallAbort, 1);
        }
        EXPECT_EQ(b.bytes, expected.bytes) << "only those bytes change, response " << c.response;
        ChainerMessage m;
        ASSERT_TRUE(ReadChainerMessage(b.data(), b.size(), m));
        EXPECT_EQ(m.question, ChainerQuestion::None);
    }
}

TEST(RequestChainerAbort, SetsBothFlagsOnly) {
    Block b(65536);
    ASSERT_TRUE(InitializeChainerData(b.data(), b.size(), "QvKu.Event.1"));
    Block expected = b;
    ASSERT_TRUE(RequestChainerAbort(b.data(), b.size()));
    expected.U8(kAtDownloadAbort, 1);
    expected.U8(kAtInstallAbort, 1);
    EXPECT_EQ(b.bytes, expected.bytes);
    ChainerProgress p;
    ASSERT_TRUE(ReadChainerProgress(b.data(), b.size(), p));
    EXPECT_TRUE(p.downloadAbort);
    EXPECT_TRUE(p.installAbort);
}

TEST(ChainerWriters, RefuseABufferShorterThanTheHeader) {
    Block b(kAtData - 1, 0xAA);
    EXPECT_FALSE(RequestChainerAbort(b.data(), b.size()));
    EXPECT_FALSE(AnswerChainerMessage(b.data(), b.size(), kAnswerCancel));
    EXPECT_EQ(b.bytes, Block(kAtData - 1, 0xAA).bytes);
    EXPECT_FALSE(RequestChainerAbort(nullptr, 65536));
    EXPECT_FALSE(AnswerChainerMessage(nullptr, 65536, kAnswerYes));
}

TEST(ChainerFraction255, InstallProgressAndSuccessfulEnd) {
    struct Case { bool finished; uint32_t hr; uint8_t soFar; uint8_t downloadSoFar; int fraction; const char* what; } cases[] = {
        {false, kHresultPending, 0, 0, 0, "not started"},
        {false, kHresultPending, 128, 0, 128, "half way; an offline installer downloads nothing"},
        {false, kHresultPending, 128, 255, 128, "the download counter does not count"},
        {false, kHresultOk, 254, 0, 254, "not finished yet"},
        {true, kHresultOk, 200, 0, 255, "finished with S_OK"},
        {true, 1, 10, 0, 255, "finished with S_FALSE, also a success"},
        {true, kHresultAbort, 90, 0, 90, "rolled back"},
        {true, 0x80070643, 255, 0, 255, "failed at the end: the counter as it stands"},
        {true, 0x80070643, 30, 0, 30, "failed early"},
        {true, kHresultPending, 17, 0, 17, "finished flag without a result"},
    };
    for (const Case& c : cases) {
        ChainerProgress p;
        p.installFinished = c.finished;
        p.hrInstallFinished = c.hr;
        p.installSoFar = c.soFar;
        p.downloadSoFar = c.downloadSoFar;
        EXPECT_EQ(ChainerFraction255(p), c.fraction) << c.what;
    }
}
