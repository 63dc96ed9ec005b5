#pragma once
// What every file-system port does, the fake included, so that what passes on the fake holds
// on disk: the refusals, and what a write that fails leaves of the file. Each port's test lays
// out the files below, spells their paths its own way and runs both tables.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "host/error.h"
#include "platform/file_system.h"

namespace murl::file_cases {

// The layout the refusals are tried in: these files and one empty folder.
struct LaidOutFile {
    const char* name;
    const char* bytes;
    bool read_only;
};
inline constexpr LaidOutFile kFiles[] = {
    {"plain.txt", "plain\r\n", false},
    {"locked.txt", "locked\r\n", true},
};
inline constexpr char kFolder[] = "sub";

// A path in the layout, given with '/' between its parts, as the port under test spells it.
using Namer = std::function<std::u16string(const std::string&)>;

struct Refusal {
    const char* name;
    std::function<void(FileSystem&, const Namer&)> call;
    int32_t number;
};

// None of these writes, replaces or leaves anything.
inline const std::vector<Refusal>& Refusals() {
    using F = FileSystem&;
    using N = const Namer&;
    static const std::vector<Refusal> kRefusals = {
        {"append to missing file", [](F fs, N p) { fs.OpenTextFile(p("none"), 8); }, 53},
        {"append in missing folder", [](F fs, N p) { fs.OpenTextFile(p("no/x"), 8); }, 76},
        {"append to read-only", [](F fs, N p) { fs.OpenTextFile(p("locked.txt"), 8); }, 70},
        {"other open mode", [](F fs, N p) { fs.OpenTextFile(p("plain.txt"), 2); }, 5},
        {"create over read-only", [](F fs, N p) { fs.CreateTextFile(p("locked.txt"), true); }, 70},
        {"create in missing folder", [](F fs, N p) { fs.CreateTextFile(p("no/x"), true); }, 76},
        {"create empty name", [](F fs, N) { fs.CreateTextFile(u"", true); }, 52},
        {"create name with NUL",
         [](F fs, N p) { fs.CreateTextFile(p("new") + u'\0' + u"x", true); }, 52},
        {"copy missing source", [](F fs, N p) { fs.CopyFile(p("none"), p("copy"), true); }, 53},
        {"copy into missing folder",
         [](F fs, N p) { fs.CopyFile(p("plain.txt"), p("no/copy"), true); }, 76},
        {"copy over read-only",
         [](F fs, N p) { fs.CopyFile(p("plain.txt"), p("locked.txt"), true); }, 70},
        {"copy without overwrite",
         [](F fs, N p) { fs.CopyFile(p("locked.txt"), p("plain.txt"), false); }, 58},
        {"existing folder", [](F fs, N p) { fs.CreateFolder(p("sub")); }, 58},
        {"folder in missing folder", [](F fs, N p) { fs.CreateFolder(p("no/sub")); }, 76},
        {"file object of missing file", [](F fs, N p) { fs.GetFile(p("none")); }, 53},
        {"file object of a folder", [](F fs, N p) { fs.GetFile(p("sub")); }, 75},
        {"lock of missing file", [](F fs, N p) { fs.LockFile(p("none")); }, 53},
        {"lock of a folder", [](F fs, N p) { fs.LockFile(p("sub")); }, 75},
        {"append to a folder", [](F fs, N p) { fs.OpenTextFile(p("sub"), 8); }, 75},
        {"copy a folder", [](F fs, N p) { fs.CopyFile(p("sub"), p("copy"), true); }, 75},
        {"create over a folder", [](F fs, N p) { fs.CreateTextFile(p("sub"), true); }, 75},
        {"create without replacing", [](F fs, N p) { fs.CreateTextFile(p("plain.txt"), false); },
         58},
        {"copy onto a folder", [](F fs, N p) { fs.CopyFile(p("plain.txt"), p("sub"), true); }, 75},
        // That the file exists is told before that it is read-only.
        {"create without replacing a read-only file",
         [](F fs, N p) { fs.CreateTextFile(p("locked.txt"), false); }, 58},
        {"copy without replacing a read-only file",
         [](F fs, N p) { fs.CopyFile(p("plain.txt"), p("locked.txt"), false); }, 58},
        // A file where a folder should be is a missing path, not a missing file.
        {"append under a plain file", [](F fs, N p) { fs.OpenTextFile(p("plain.txt/x"), 8); }, 76},
        {"file object under a plain file", [](F fs, N p) { fs.GetFile(p("plain.txt/x")); }, 76},
        {"copy from under a plain file",
         [](F fs, N p) { fs.CopyFile(p("plain.txt/x"), p("copy"), true); }, 76},
        {"copy to under a plain file",
         [](F fs, N p) { fs.CopyFile(p("plain.txt"), p("plain.txt/x"), true); }, 76},
        {"create under a plain file", [](F fs, N p) { fs.CreateTextFile(p("plain.txt/x"), true); },
         76},
        {"same file, empty name", [](F fs, N p) { fs.SameFile(u"", p("plain.txt")); }, 52},
        {"same file, name with NUL",
         [](F fs, N p) { fs.SameFile(p("plain.txt"), p("plain.txt") + u'\0'); }, 52},
    };
    return kRefusals;
}

// What a port's test does to the file behind an open stream's back.
class CutBackRig {
public:
    virtual ~CutBackRig() = default;
    // Writes may append `bytes` more bytes; the write that would pass that puts in what fits
    // and fails as on a full disk (61).
    virtual void LimitAppends(size_t bytes) = 0;
    // Another program gives the file these bytes.
    virtual void Replace(const std::string& bytes) = 0;
};

// The file holds this when the stream is opened.
inline constexpr char kBeforeCutBack[] = "first\r\n";

struct CutBack {
    const char* name;
    std::function<void(TextStream&, CutBackRig&)> writes;  // the last one fails
    std::string after;                                     // the file then
};

// A failed write sets the file back to its length when the stream was opened: the stream's
// earlier lines go too, and another program's change of length is undone either way.
inline const std::vector<CutBack>& CutBacks() {
    using S = TextStream&;
    using R = CutBackRig&;
    static const std::vector<CutBack> kCutBacks = {
        {"failing at once",
         [](S s, R r) {
             r.LimitAppends(0);
             s.WriteLine(u"second");
         },
         kBeforeCutBack},
        {"failing part-way",
         [](S s, R r) {
             r.LimitAppends(3);
             s.WriteLine(u"second");
         },
         kBeforeCutBack},
        {"blank lines failing part-way",
         [](S s, R r) {
             r.LimitAppends(1);
             s.WriteBlankLines(2);
         },
         kBeforeCutBack},
        {"failing after a whole line",
         [](S s, R r) {
             r.LimitAppends(std::string("second\r\n").size() + 3);
             s.WriteLine(u"second");
             s.WriteLine(u"third");
         },
         kBeforeCutBack},
        {"the file grown meanwhile",
         [](S s, R r) {
             r.Replace(std::string(kBeforeCutBack) + "other\r\n");
             r.LimitAppends(0);
             s.WriteLine(u"second");
         },
         kBeforeCutBack},
        {"the file emptied meanwhile",
         [](S s, R r) {
             r.Replace("");
             r.LimitAppends(0);
             s.WriteLine(u"second");
         },
         std::string(std::string(kBeforeCutBack).size(), '\0')},
    };
    return kCutBacks;
}

// The number of the error that the writes of `c` fail with; 0 when they do not fail.
inline int32_t RunCutBack(const CutBack& c, TextStream& stream, CutBackRig& rig) {
    try {
        c.writes(stream, rig);
    } catch (const Error& e) {
        return e.number();
    }
    return 0;
}

}  // namespace murl::file_cases
