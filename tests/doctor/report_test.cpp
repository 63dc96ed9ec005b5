#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "log_summary.h"
#include "report.h"
#include "scratch_folder.h"
#include "settings_review.h"
#include "text/escaped_text.h"

namespace murl::doctor {
namespace {

// What a strict JSON reader makes of each text the report carries, one per line as the hex of
// its UTF-8 bytes; empty when it refuses the document.
std::vector<std::string> ReadStrictly(const std::string& json, const std::string& folder) {
    const std::string file = folder + "/report.json", decoded = folder + "/decoded.txt";
    std::ofstream(file, std::ios::binary) << json;
    const std::string command =
        "python3 -c 'import json, sys\n"
        "d = json.load(open(sys.argv[1], encoding=\"utf-8\"))\n"
        "texts = [d[\"doctor\"]]\n"
        "for c in d[\"checks\"]: texts += [c[\"found\"], c[\"action\"]] + c[\"details\"]\n"
        "texts.append(d[\"summary\"])\n"
        "open(sys.argv[2], \"w\").write(\"\\n\".join(t.encode(\"utf-8\").hex() for t in texts))' " +
        file + " " + decoded;
    if (std::system(command.c_str()) != 0) return {};
    std::ifstream in(decoded);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::string HexOf(std::string_view bytes) {
    std::string hex;
    for (const char c : bytes) AppendHex(hex, static_cast<unsigned char>(c), 2, HexCase::kLower);
    return hex;
}

struct HostileCase {
    std::string_view name;
    std::string text;  // UTF-8, as the checks write it, or not quite
    std::string read;  // what a reader finds in the JSON
};

TEST(DoctorReport, JsonCarriesHostileTextsToAStrictReader) {
    const std::string kLong(100000, 'x');
    const HostileCase kHostileCases[] = {
        {"plain", "murl.dll", "murl.dll"},
        {"quotes and backslashes", R"(C:\Murl\"x".log \\ \")", R"(C:\Murl\"x".log \\ \")"},
        {"controls", std::string("a\0b\x01\x1F\x7F\t\n\r\b\f", 11),
         std::string("a\0b\x01\x1F\x7F\t\n\r\b\f", 11)},
        {"non-ASCII", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80",
         "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"},
        {"a lone surrogate in its three-byte form", "a\xED\xA0\x80z", "a\xEF\xBF\xBDz"},
        {"malformed UTF-8", "a\xFF\xC3z", "a\xEF\xBF\xBD\xEF\xBF\xBDz"},
        {"very long", kLong, kLong},
    };
    testing_support::ScratchFolder folder;
    for (const auto& c : kHostileCases) {
        SCOPED_TRACE(std::string(c.name));
        Report report;
        report.Add({"log.writable", Status::kProblem, c.text, c.text, {c.text, c.text}});
        report.Add({"log.entries", Status::kNote, c.text, {}, {}});
        const std::string read = HexOf(c.read);
        const std::vector<std::string> expected = {
            HexOf("1.2.3"), read, read, read, read, read, "", HexOf("1 problem found.")};
        EXPECT_EQ(ReadStrictly(AsJson(report, "1.2.3"), folder.path()), expected);
        EXPECT_NE(AsText(report, "1.2.3").find(c.text), std::string::npos);
    }
}

struct SummaryCase {
    std::vector<Status> statuses;
    int problems;
    std::string_view summary;
};

TEST(DoctorReport, CountsOnlyProblems) {
    const SummaryCase kSummaryCases[] = {
        {{}, 0, "No problem found."},
        {{Status::kNote, Status::kNote, Status::kSkipped}, 0, "No problem found."},
        {{Status::kOk, Status::kProblem, Status::kNote}, 1, "1 problem found."},
        {{Status::kProblem, Status::kProblem}, 2, "2 problems found."},
    };
    for (const auto& c : kSummaryCases) {
        SCOPED_TRACE(std::string(c.summary));
        Report report;
        for (const Status status : c.statuses) report.Add({"trace.switch", status, "x", {}, {}});
        EXPECT_EQ(report.Problems(), c.problems);
        EXPECT_EQ(report.Summary(), c.summary);
        const std::string text = AsText(report, "1.0.0");
        EXPECT_EQ(text.substr(text.rfind('\n', text.size() - 2) + 1),
                  std::string(c.summary) + "\n");
    }
}

TEST(DoctorReport, TextGroupsRowsByAreaWithWhatToDo) {
    Report report;
    report.Add({"log.writable", Status::kProblem, "cannot", "delete it.", {}});
    report.Add({"log.entries", Status::kNote, "2 entries", {}, {"first", "second"}});
    report.Add({"trace.switch", Status::kOk, "off", {}, {}});
    EXPECT_EQ(AsText(report, "1.0.7"),
              "Murl doctor 1.0.7\n"
              "\n"
              "error log\n"
              "  PROBLEM  this account can create and append murl_err.log: cannot\n"
              "           What to do: delete it.\n"
              "  note     entries: 2 entries\n"
              "           first\n"
              "           second\n"
              "\n"
              "trace\n"
              "  ok       trace switch: off\n"
              "\n"
              "1 problem found.\n");
}

struct CountedCase {
    size_t count;
    std::string_view words;
};

TEST(DoctorReport, CountsWithTheRightNoun) {
    const CountedCase cases[] = {{0, "0 entries"}, {1, "1 entry"}, {2, "2 entries"}};
    for (const auto& c : cases) EXPECT_EQ(Counted(c.count, "entry", "entries"), c.words);
}

struct ListingCase {
    std::vector<StoredValue> values;
    std::string_view found;
};

TEST(DoctorReport, ListsStoredSettingsWithTheRightNouns) {
    const ListingCase cases[] = {
        {{{u"Kael", u"Evades", u"1"}}, "1 value in 1 section"},
        {{{u"Kael", u"Evades", u"1"}, {u"Kael", u"Zero", u"2"}}, "2 values in 1 section"},
        {{{u"Kael", u"Evades", u"1"}, {u"Settings", u"Bots", u"True"}}, "2 values in 2 sections"},
        // A section of values that Murl does not use is a section all the same.
        {{{u"Kael", u"Evades", u"1"}, {u"Old", u"Colour", u"3"}}, "2 values in 2 sections"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.found));
        Report report;
        ReviewSettings(c.values, report);
        ASSERT_FALSE(report.rows().empty());
        EXPECT_EQ(report.rows().front().found, c.found);
    }
}

struct ShownCase {
    std::u16string text;
    std::string shown;
};

TEST(DoctorReport, ShowsAStoredTextEscapedWholeUpToItsLengthAndMarksTheCut) {
    const auto units = [](size_t n) { return std::u16string(n, u'7'); };
    const auto bytes = [](size_t n) { return std::string(n, '7'); };
    const std::u16string smile = u"\U0001F600";
    const ShownCase cases[] = {
        {units(0), "\"\""},
        {units(39), '"' + bytes(39) + '"'},
        {units(40), '"' + bytes(40) + '"'},
        {units(41), '"' + bytes(40) + "\"..."},
        {units(4000), '"' + bytes(40) + "\"..."},
        {u"say \"hi\" \\ bye", R"("say \"hi\" \\ bye")"},
        {u"a\tb\nc\rd", R"("a\tb\nc\rd")"},
        {std::u16string(u"n\0u\x1B\x7F\x85", 6), "\"n\\u0000u\\u001B\\u007F\u0085\""},
        {u"\xD800 \xDC00 \xDC00\xD800", "\"\\uD800 \\uDC00 \\uDC00\\uD800\""},
        {units(38) + smile, '"' + bytes(38) + "\xF0\x9F\x98\x80\""},
        {units(39) + smile, '"' + bytes(39) + "\"..."},
        {units(39) + u"\xD800x", '"' + bytes(39) + "\\uD800\"..."},  // a lone high surrogate kept
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shown);
        EXPECT_EQ(Shown(c.text), c.shown);
    }
}

struct LogCase {
    std::string_view name;
    std::string log;  // the file's bytes
    size_t entries;
    std::vector<std::string> last;  // of at most two
    Recurring most;
    std::vector<Stretch> stretches = {};
    size_t stretch_count = 0, entries_after_stretch = 0;
};

std::string Zeros(size_t count) {
    return std::string(count, '\0');
}

std::string Repeated(std::string_view text, size_t count) {
    std::string repeated;
    while (count-- > 0) repeated += text;
    return repeated;
}

TEST(DoctorLogSummary, CountsEntriesAndWhatRepeatsInAnyLog) {
    const std::string kLongFailure(3 * kShownUnits, 'x');
    const LogCase kLogCases[] = {
        {"empty", "\n\r\n", 0, {}, {}},
        {"one entry",
         "1/2/2026 10:00:00\tError in LoadVariables: Overflow. At line 0\r\n",
         1,
         {R"("1/2/2026 10:00:00 Error in LoadVariables: Overflow. At line 0")"},
         {R"("Error in LoadVariables: Overflow. At line 0")", 1, "1/2/2026 10:00:00",
          "1/2/2026 10:00:00"}},
        {"the most frequent, with its first and last time",
         "t1\tA\nt2\tB\n\nt3\tB\nt4\tA\nt5\tB\nt6\tC",
         6,
         {R"("t5 B")", R"("t6 C")"},
         {R"("B")", 3, "t2", "t5"}},
        {"a tie goes to the one seen first",
         "t1\tB\r\nt2\tA\r\nt3\tA\r\nt4\tB\r\n",
         4,
         {R"("t3 A")", R"("t4 B")"},
         {R"("B")", 2, "t1", "t4"}},
        {"a line without a time",
         "no tab here\r\nno tab here\r\n",
         2,
         {R"("no tab here")", R"("no tab here")"},
         {R"("no tab here")", 2, "", ""}},
        {"a tab far into its line is no time's",
         std::string(41, 't') + "\tA\r\n",
         1,
         {'"' + std::string(41, 't') + R"(\tA")"},
         {'"' + std::string(41, 't') + R"(\tA")", 1, "", ""}},
        {"a long entry shown cut",
         "t1\t" + kLongFailure + "\r\n",
         1,
         {"\"t1 " + kLongFailure.substr(0, kShownUnits - 3) + "\"..."},
         {'"' + kLongFailure.substr(0, kShownUnits) + "\"...", 1, "t1", "t1"}},
        {"what is not text escaped, the code page's characters decoded",
         "t\x01\t\x80\x1B\r\xFF\r\n",
         1,
         {"\"t\\u0001 \xE2\x82\xAC\\u001B\\r\xC3\xBF\""},
         {"\"\xE2\x82\xAC\\u001B\\r\xC3\xBF\"", 1, "t\\u0001", "t\\u0001"}},
        {"a few zero bytes shown in their line",
         "t1\tA" + Zeros(15) + "B\r\n",
         1,
         {"\"t1 A" + Repeated("\\u0000", 15) + "B\""},
         {"\"A" + Repeated("\\u0000", 15) + "B\"", 1, "t1", "t1"}},
        {"zero bytes after the last entry, as a crash leaves them",
         "t1\tA\r\n" + Zeros(1000),
         1,
         {R"("t1 A")"},
         {R"("A")", 1, "t1", "t1"},
         {{6, 1000}},
         1,
         0},
        {"entries appended after the zeros, and zeros ending a line",
         "t1\tA" + Zeros(16) + "t2\tB\r\nt3\tC\r\n" + Zeros(20) + "t4\tB\r\n",
         4,
         {R"("t3 C")", R"("t4 B")"},
         {R"("B")", 2, "t2", "t4"},
         {{4, 16}, {32, 20}},
         2,
         1},
        {"stretches past the third counted",
         Zeros(16) + "a\n" + Zeros(16) + "b\n" + Zeros(16) + "c\n" + Zeros(16) + "d\n" + Zeros(32),
         4,
         {R"("c")", R"("d")"},
         {R"("a")", 1, "", ""},
         {{0, 16}, {18, 16}, {36, 16}},
         5,
         0},
    };
    for (const auto& c : kLogCases) {
        // The log read whole, a byte at a time and in uneven chunks: the same summary.
        for (const size_t chunk : {c.log.size() + 1, size_t{1}, size_t{7}}) {
            SCOPED_TRACE(testing::Message() << c.name << ", read " << chunk << " bytes at a time");
            LogSummary summary(2);
            for (size_t at = 0; at < c.log.size(); at += chunk) {
                summary.Read(std::string_view(c.log).substr(at, chunk));
            }
            summary.End();
            EXPECT_EQ(summary.bytes(), c.log.size());
            EXPECT_EQ(summary.entries(), c.entries);
            EXPECT_EQ(std::vector<std::string>(summary.last().begin(), summary.last().end()),
                      c.last);
            const Recurring most = summary.MostFrequent();
            EXPECT_EQ(most.failure, c.most.failure);
            EXPECT_EQ(most.count, c.most.count);
            EXPECT_EQ(most.first, c.most.first);
            EXPECT_EQ(most.last, c.most.last);
            ASSERT_EQ(summary.stretches().size(), c.stretches.size());
            for (size_t i = 0; i < c.stretches.size(); ++i) {
                EXPECT_EQ(summary.stretches()[i].offset, c.stretches[i].offset) << i;
                EXPECT_EQ(summary.stretches()[i].length, c.stretches[i].length) << i;
            }
            EXPECT_EQ(summary.stretch_count(), c.stretch_count);
            EXPECT_EQ(summary.entries_after_stretch(), c.entries_after_stretch);
        }
    }
}

// A failure that recurs is found after any number of different failures, though only a bounded
// number of them is followed at once.
TEST(DoctorLogSummary, FindsTheRecurringFailureAfterManyOthers) {
    LogSummary summary(1);
    for (int i = 0; i < 100000; ++i) summary.Read("t\tonce " + std::to_string(i) + "\r\n");
    for (int i = 0; i < 100; ++i) summary.Read("t" + std::to_string(i) + "\tagain\r\n");
    summary.End();
    EXPECT_EQ(summary.entries(), 100100u);
    const Recurring most = summary.MostFrequent();
    EXPECT_EQ(most.failure, R"("again")");
    EXPECT_EQ(most.count, 100u);
    EXPECT_EQ(most.first, "t0");
    EXPECT_EQ(most.last, "t99");
}

TEST(DoctorLogSummary, DescribesAStretchWhereItIsAndHowLongInTheUnitsItNames) {
    EXPECT_EQ(DescribeStretch({68, 419430400}),
              "zero bytes from offset 68 to 419430467: 419430400 bytes (400.0 MiB)");
    EXPECT_EQ(DescribeStretch({0, 16}), "zero bytes from offset 0 to 15: 16 bytes");
}

TEST(DoctorReport, WritesSizesInTheUnitsTheyName) {
    const std::pair<unsigned long long, std::string_view> cases[] = {
        {0, "0 bytes"},
        {1, "1 byte"},
        {1023, "1023 bytes"},
        {1024, "1024 bytes (1.0 KiB)"},
        {1536, "1536 bytes (1.5 KiB)"},
        {1048576, "1048576 bytes (1.0 MiB)"},
        {5000000, "5000000 bytes (4.8 MiB)"},
        {2147483648ull, "2147483648 bytes (2.0 GiB)"},
        {5ull << 40, "5497558138880 bytes (5.0 TiB)"},
    };
    for (const auto& [bytes, words] : cases) EXPECT_EQ(SizeText(bytes), words);
}

}  // namespace
}  // namespace murl::doctor
