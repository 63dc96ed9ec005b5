// The Win32 file-system port against the real API: lines, refusals, cut-backs, names, full
// disks, the streams' lock, and clients side by side.

#include "platform_test_support.h"

#include "file_system_cases.h"
#include "log/cls_log.h"
#include "platform/win32/win32_platform.h"

TEST_CASE(files_write_windows_1252_lines) {
    const auto fs = murl::Win32FileSystemFactory().Create();
    const std::u16string folder = TempFolder("text");
    const std::u16string file = folder + u"\\log.txt";
    CHECK(!fs->FileExists(file));
    fs->CreateTextFile(file, true);
    CHECK(fs->FileExists(file));
    CHECK(fs->FolderExists(folder));
    CHECK(!fs->FolderExists(file));
    auto stream = fs->OpenTextFile(file, murl::kForAppending);
    stream->WriteBlankLines(2);
    stream->WriteLine(u"caf\u00e9 \u20ac \u4e2d");
    stream->Close();
    stream = fs->OpenTextFile(file, murl::kForAppending);
    stream->WriteLine(u"second");
    stream.reset();
    CHECK_EQ(FileBytes(file), std::string("\r\n\r\ncaf\xE9 \x80 ?\r\nsecond\r\n"));
}

TEST_CASE(files_refuse_with_the_platforms_numbers) {
    const auto fs = murl::Win32FileSystemFactory().Create();
    const std::u16string folder = TempFolder("errors");
    const std::u16string source = NewFile(*fs, folder, u"source.txt");
    const std::u16string locked = NewFile(*fs, folder, u"locked.txt");
    const std::u16string in_use = NewFile(*fs, folder, u"in-use.txt");
    fs->OpenTextFile(source, murl::kForAppending)->WriteLine(u"new");
    fs->OpenTextFile(in_use, murl::kForAppending)->WriteLine(u"old");
    fs->GetFile(locked)->SetAttributes(murl::kAttrReadOnly | murl::kAttrArchive);
    const DWORD attributes = GetFileAttributesW(Wide(locked).c_str());
    CHECK((attributes & FILE_ATTRIBUTE_READONLY) != 0);
    CHECK((attributes & FILE_ATTRIBUTE_ARCHIVE) != 0);

    struct Row {
        const char* name;
        std::function<void()> action;
        int32_t number;
    } rows[] = {
        {"append to a read-only file", [&] { fs->OpenTextFile(locked, murl::kForAppending); }, 70},
        {"create over a read-only file", [&] { fs->CreateTextFile(locked, true); }, 70},
        {"copy over a read-only file", [&] { fs->CopyFile(source, locked, true); }, 70},
        {"copy over without overwrite", [&] { fs->CopyFile(source, locked, false); }, 58},
        {"create over without overwrite", [&] { fs->CreateTextFile(in_use, false); }, 58},
        {"append to a missing file",
         [&] { fs->OpenTextFile(folder + u"\\none.txt", murl::kForAppending); }, 53},
        {"append in a missing folder",
         [&] { fs->OpenTextFile(folder + u"\\none\\x.txt", murl::kForAppending); }, 76},
        {"copy from a missing file",
         [&] { fs->CopyFile(folder + u"\\none.txt", folder + u"\\y.txt", true); }, 53},
        {"copy into a missing folder",
         [&] { fs->CopyFile(source, folder + u"\\none\\y.txt", true); }, 76},
        {"attributes of a missing file", [&] { fs->GetFile(folder + u"\\none.txt"); }, 53},
        {"create an existing folder", [&] { fs->CreateFolder(folder); }, 58},
        {"copy onto itself, plain", [&] { fs->CopyFile(source, folder + u"\\copy.txt", true); }, 0},
        // Copies that fail half-way: reading the source, or replacing the target.
        {"copy from a file held without sharing",
         [&] {
             Held held(source, GENERIC_READ, 0);
             fs->CopyFile(source, folder + u"\\z.txt", true);
         },
         70},
        {"copy over a file held with read sharing",
         [&] {
             Held held(in_use, GENERIC_READ, FILE_SHARE_READ);
             fs->CopyFile(source, in_use, true);
         },
         70},
    };
    for (const Row& row : rows) {
        TRACE(row.name);
        CHECK_EQ(ErrorOf(row.action), row.number);
        CHECK_EQ(CopyLeftovers(folder).size(), size_t{0});
    }
    // The refused files are as they were.
    CHECK_EQ(FileBytes(locked), std::string());
    CHECK_EQ(FileBytes(in_use), std::string("old\r\n"));
    CHECK(!fs->FileExists(folder + u"\\z.txt"));
    fs->GetFile(locked)->SetAttributes(0);
    CHECK_EQ(ErrorOf([&] { fs->CopyFile(source, locked, true); }), 0);
}

// The refusals that every port gives, the fake included, with either separator.
TEST_CASE(files_refuse_as_every_port_does) {
    const auto fs = murl::Win32FileSystemFactory().Create();
    const std::u16string folder = TempFolder("shared");
    for (const murl::file_cases::LaidOutFile& file : murl::file_cases::kFiles) {
        const std::u16string path = folder + u"\\" + murl::ToUtf16(file.name);
        Replace(path, file.bytes);
        if (file.read_only) SetFileAttributesW(Wide(path).c_str(), FILE_ATTRIBUTE_READONLY);
    }
    CreateDirectoryW(Wide(folder + u"\\" + murl::ToUtf16(murl::file_cases::kFolder)).c_str(),
                     nullptr);
    const std::vector<std::wstring> before = Listing(folder);
    for (const char separator : {'\\', '/'}) {
        const murl::file_cases::Namer p = [&](std::string name) {
            std::replace(name.begin(), name.end(), '/', separator);
            return folder + u"\\" + murl::ToUtf16(name);
        };
        for (const murl::file_cases::Refusal& refusal : murl::file_cases::Refusals()) {
            TRACE(std::string(refusal.name) + ", separator " + separator);
            CHECK_EQ(ErrorOf([&] { refusal.call(*fs, p); }), refusal.number);
        }
    }
    CHECK(Listing(folder) == before);
    for (const murl::file_cases::LaidOutFile& file : murl::file_cases::kFiles) {
        TRACE(file.name);
        CHECK_EQ(FileBytes(folder + u"\\" + murl::ToUtf16(file.name)), std::string(file.bytes));
    }
}

namespace {

// The shared cut-back cases on disk: writes fail through the port's table of calls.
class Win32CutBackRig : public murl::file_cases::CutBackRig {
public:
    explicit Win32CutBackRig(std::u16string path) : path_(std::move(path)) {}

    void LimitAppends(size_t bytes) override {
        room = bytes;
        stand_ins_->WriteFile = LimitedWrite;
    }
    void Replace(const std::string& bytes) override { ::Replace(path_, bytes); }

private:
    static BOOL WINAPI LimitedWrite(HANDLE file, LPCVOID bytes, DWORD size, LPDWORD written,
                                    LPOVERLAPPED at) {
        if (room == 0) {
            SetLastError(ERROR_DISK_FULL);
            return FALSE;
        }
        const DWORD fits = static_cast<DWORD>(std::min<size_t>(size, room));
        const BOOL done = system_calls.real().WriteFile(file, bytes, fits, written, at);
        if (done) room -= *written;
        return done;
    }

    static inline size_t room = 0;
    std::u16string path_;
    StandIns stand_ins_{system_calls};
};

}  // namespace

TEST_CASE(files_cut_back_as_every_port_does) {
    const auto fs = murl::Win32FileSystemFactory().Create();
    const std::u16string path = TempFolder("cut-back") + u"\\log.txt";
    for (const murl::file_cases::CutBack& c : murl::file_cases::CutBacks()) {
        TRACE(c.name);
        Replace(path, murl::file_cases::kBeforeCutBack);
        auto stream = fs->OpenTextFile(path, murl::kForAppending);
        {
            Win32CutBackRig rig(path);
            CHECK_EQ(murl::file_cases::RunCutBack(c, *stream, rig), murl::err::kDiskFull);
        }
        stream->Close();
        CHECK_EQ(FileBytes(path), c.after);
    }
}

namespace {

std::wstring raced_path;

// Another game client creates the log, and writes its entry, between this client's look for
// the log and its creation of it.
HANDLE WINAPI OtherClientCreatesFirst(LPCWSTR path, DWORD access, DWORD share,
                                      LPSECURITY_ATTRIBUTES security, DWORD disposition,
                                      DWORD flags, HANDLE model) {
    if (disposition != OPEN_EXISTING && path == raced_path) {
        HANDLE other = system_calls.real().CreateFileW(path, FILE_APPEND_DATA,
                                                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                                       OPEN_ALWAYS, 0, nullptr);
        constexpr char kOthers[] = "other client\r\n";
        DWORD written = 0;
        WriteFile(other, kOthers, sizeof kOthers - 1, &written, nullptr);
        CloseHandle(other);
    }
    return system_calls.real().CreateFileW(path, access, share, security, disposition, flags,
                                           model);
}

}  // namespace

// Creating the log never empties a log that another client has just created.
TEST_CASE(files_created_meanwhile_by_another_client_are_kept) {
    const std::u16string log_path = TempFolder("raced") + u"\\murl_err.log";
    raced_path = Wide(log_path);
    StandIns stand_ins(system_calls);
    stand_ins->CreateFileW = OtherClientCreatesFirst;
    murl::Win32Platform ports;
    murl::clsLog log(ports.MakePlatform());
    log.File(log_path);
    log.Output(u"this client", 0);
    CHECK_EQ(FileBytes(log_path), std::string("other client\r\nthis client\r\n"));
}

TEST_CASE(files_name_what_is_not_a_file) {
    const auto fs = murl::Win32FileSystemFactory().Create();
    const std::u16string folder = TempFolder("kinds");
    const std::u16string file = folder + u"\\file.txt";
    fs->CreateTextFile(file, true);
    struct Row {
        const char* name;
        std::function<void()> action;
        std::u16string description;
    } rows[] = {
        {"create over a folder", [&] { fs->CreateTextFile(folder, true); },
         u"Path/File access error: \"" + folder + u"\" is a folder"},
        {"append to a folder", [&] { fs->OpenTextFile(folder, murl::kForAppending); },
         u"Path/File access error: \"" + folder + u"\" is a folder"},
        {"copy onto a folder", [&] { fs->CopyFile(file, folder, true); },
         u"Path/File access error: \"" + folder + u"\" is a folder"},
        {"create the device NUL", [&] { fs->CreateTextFile(u"\\\\.\\NUL", true); },
         u"Path/File access error: \"\\\\.\\NUL\" is a device"},
        {"append to NUL in a folder",
         [&] { fs->OpenTextFile(folder + u"\\NUL", murl::kForAppending); },
         u"Path/File access error: \"" + folder + u"\\NUL\" is a device"},
        {"create CON", [&] { fs->CreateTextFile(u"CON", true); },
         u"Path/File access error: \"CON\" is a device"},
        {"create a file in a device",
         [&] { fs->CreateTextFile(u"\\\\.\\NUL\\murl_err.log", true); },
         u"Path/File access error: \"\\\\.\\NUL\" is a device"},
        {"copy into a device", [&] { fs->CopyFile(file, u"\\\\.\\NUL\\a.log", true); },
         u"Path/File access error: \"\\\\.\\NUL\" is a device"},
    };
    for (const Row& row : rows) {
        TRACE(row.name);
        const murl::Error e = FailureOf(row.action);
        CHECK_EQ(e.number(), 75);
        CHECK_EQ(e.description(), row.description);
    }
    CHECK(!fs->FileExists(folder + u"\\NUL"));
    CHECK(!fs->FileExists(u"\\\\.\\NUL"));
    CHECK(!fs->FolderExists(u"\\\\.\\NUL"));

    // The log as a folder or a device fails with that description and switches itself off.
    murl::Win32Platform ports;
    const murl::Platform platform = ports.MakePlatform();
    for (const std::u16string& path : {folder, folder + u"\\nul.txt"}) {
        TRACE(Narrow(path));
        murl::clsLog log(platform);
        log.File(path);
        const murl::Error e = FailureOf([&] { log.Output(u"entry", 0); });
        CHECK_EQ(e.number(), murl::err::kLogOutput);
        CHECK(e.description().find(u"\" is a ") != std::u16string::npos);
        CHECK_EQ(log.Active(), murl::kHostFalse);
    }
}

// Run by tests/win32/full_disk.sh with MURL_FULL_DRIVE naming a small drive that it fills:
// an entry that does not fit leaves no part of itself, and the next one starts a line.
MANUAL_CASE(full_disk_keeps_log_entries_whole) {
    const char* drive = std::getenv("MURL_FULL_DRIVE");
    REQUIRE(drive != nullptr);
    const std::u16string root = std::u16string(drive, drive + std::strlen(drive)) + u"\\";
    const std::wstring filler = Wide(root) + L"filler";
    murl::Win32Platform ports;
    const murl::Platform platform = ports.MakePlatform();
    for (int32_t blank_lines : {0, 2}) {
        TRACE("blank lines " + std::to_string(blank_lines));
        const std::u16string log_path = root + u"murl_err.log";
        DeleteFileW(Wide(log_path).c_str());
        DeleteFileW(filler.c_str());
        murl::clsLog log(platform);
        log.File(log_path);
        log.BlankLines(blank_lines);
        std::string expected;
        auto entry = [&](int n) {
            return u"entry " + murl::DecimalText(n) + u" " + std::u16string(300, u'x');
        };
        auto written = [&](int n) {
            std::string line;
            for (int32_t i = 0; i < blank_lines; ++i) line += "\r\n";
            return line + Narrow(entry(n)) + "\r\n";
        };
        log.Output(entry(0), 0);
        expected += written(0);

        // Fill every free block of the drive.
        HANDLE fill =
            CreateFileW(filler.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        REQUIRE(fill != INVALID_HANDLE_VALUE);
        const std::string block(4096, 'f');
        DWORD done = 0;
        while (WriteFile(fill, block.data(), static_cast<DWORD>(block.size()), &done, nullptr) &&
               done > 0) {
        }
        CloseHandle(fill);

        murl::Error failure(0, u"");
        int n = 1;
        for (; n < 100 && failure.number() == 0; ++n) {
            failure = FailureOf([&] { log.Output(entry(n), 0); });
            if (failure.number() == 0) expected += written(n);
        }
        CHECK_EQ(failure.number(), murl::err::kLogOutput);
        CHECK_EQ(Narrow(failure.description()), std::string("Disk full"));
        CHECK(n > 2);  // some entries went into the log's last block first
        CHECK_EQ(FileBytes(log_path), expected);

        DeleteFileW(filler.c_str());
        log.Active(murl::kHostTrue);
        log.Output(entry(n), 0);
        expected += written(n);
        CHECK_EQ(FileBytes(log_path), expected);
    }
}

TEST_CASE(files_are_the_same_however_spelt) {
    const auto fs = murl::Win32FileSystemFactory().Create();
    const std::u16string folder = TempFolder("same");
    const std::u16string log = NewFile(*fs, folder, u"murl_err.log");
    const std::u16string other = NewFile(*fs, folder, u"other.log");
    const std::u16string link = folder + u"\\link.log";
    DeleteFileW(Wide(link).c_str());
    CHECK(CreateHardLinkW(Wide(link).c_str(), Wide(log).c_str(), nullptr));
    struct Row {
        const char* name;
        std::u16string path;
        bool same;
    } rows[] = {
        {"the same path", log, true},
        {"through a dot folder", folder + u"\\.\\murl_err.log", true},
        {"in other letter case", folder + u"\\MURL_ERR.LOG", true},
        {"a hard link", link, true},
        {"another file", other, false},
        {"a missing file", folder + u"\\none.log", false},
        {"the folder", folder, false},
    };
    for (const Row& row : rows) {
        TRACE(row.name);
        CHECK_EQ(fs->SameFile(log, row.path), row.same);
        CHECK_EQ(fs->SameFile(row.path, log), row.same);
    }
}

// A stream holds the file's lock from opening to closing: another stream on the file waits a
// while and gives up with 70, and gets it once the first is closed.
TEST_CASE(files_wait_for_another_stream_then_give_up) {
    const auto fs = murl::Win32FileSystemFactory().Create();
    const std::u16string file = TempFolder("lock") + u"\\log.txt";
    fs->CreateTextFile(file, true);
    auto first = fs->OpenTextFile(file, murl::kForAppending);
    first->WriteLine(u"first");
    const ULONGLONG start = GetTickCount64();
    CHECK_EQ(ErrorOf([&] { fs->OpenTextFile(file, murl::kForAppending); }), 70);
    CHECK(GetTickCount64() - start >= 900);
    CHECK_EQ(FileBytes(file), std::string("first\r\n"));  // the lock keeps no reader out
    first->Close();
    auto second = fs->OpenTextFile(file, murl::kForAppending);
    second->WriteLine(u"second");
    second.reset();
    CHECK_EQ(FileBytes(file), std::string("first\r\nsecond\r\n"));
}

namespace {

// Counts each client's entries in `text` and checks that each comes in its order; the
// archiving client's notices pass. False at the first line that is neither.
bool CountEntries(const std::string& text, std::map<std::string, int>& next,
                  int* fillers = nullptr) {
    if (!CHECK(text.find('\0') == std::string::npos)) return false;
    for (size_t at = 0, end; at < text.size(); at = end + 2) {
        end = text.find("\r\n", at);
        if (!CHECK(end != std::string::npos)) return false;
        const std::string line = text.substr(at, end - at);
        if (line.size() > 14 && line.compare(line.size() - 14, 14, ".log archived.") == 0) {
            continue;
        }
        if (fillers != nullptr && line == kFiller) {
            ++*fillers;
            continue;
        }
        TRACE(line);
        const size_t number = line.rfind(' ') + 1;
        auto client = next.find(line.substr(0, number) + "0");
        if (!CHECK(client != next.end() && line.substr(number) == std::to_string(client->second))) {
            return false;
        }
        ++client->second;
    }
    return true;
}

}  // namespace

// One of the clients below: writes its entries to the log named in its environment, counting
// them for an archiving client. Beside one, it starts once the first archive holds the log, and
// its first entry waits for that archive, longer than a stream would wait for a stream.
MANUAL_CASE(appending_client) {
    const std::u16string path = ClientLog();
    REQUIRE(!path.empty());
    murl::Win32Platform ports;
    murl::clsLog log(ports.MakePlatform());
    log.File(path);
    const HANDLE written = EntriesWritten(path);
    const HANDLE copying = OpenEventW(SYNCHRONIZE, FALSE, ClientObject(path, L"copy").c_str());
    if (copying != nullptr) CHECK_EQ(WaitForSingleObject(copying, INFINITE), WAIT_OBJECT_0);
    const ULONGLONG start = GetTickCount64();
    for (int n = 0; n < kClientEntries; ++n) {
        log.Output(murl::ToUtf16(ClientEntry(GetCurrentProcessId(), n)), 0);
        if (n == 0 && copying != nullptr) CHECK(GetTickCount64() - start >= kLongCopy - 1000);
        ReleaseSemaphore(written, 1, nullptr);
    }
    if (copying != nullptr) CloseHandle(copying);
    CloseHandle(written);
}

namespace {

// The first copy, made while the archive holds the log's lock, takes kLongCopy.
BOOL WINAPI SlowFirstCopy(LPCWSTR from, LPCWSTR to, BOOL fail_if_exists) {
    static bool copied = false;
    if (!std::exchange(copied, true)) {
        const HANDLE copying = CopyStarted(ClientLog());
        SetEvent(copying);
        CloseHandle(copying);
        Sleep(kLongCopy);
    }
    return system_calls.real().CopyFileW(from, to, fail_if_exists);
}

}  // namespace

// Archives the log named in its environment into numbered archives, first at once, then
// whenever the appending client has written since its last round, until told to stop.
MANUAL_CASE(archiving_client) {
    const std::u16string path = ClientLog();
    REQUIRE(!path.empty());
    StandIns stand_ins(system_calls);
    stand_ins->CopyFileW = SlowFirstCopy;
    murl::Win32Platform ports;
    murl::clsLog log(ports.MakePlatform());
    log.File(path);
    const HANDLE written = EntriesWritten(path);
    int rounds = 0;
    do {
        log.ArchiveLog(ArchiveFolder(path) + u"\\" + murl::DecimalText(rounds++) + u".log");
        CHECK_EQ(WaitForSingleObject(written, INFINITE), WAIT_OBJECT_0);
        while (WaitForSingleObject(written, 0) == WAIT_OBJECT_0) {
        }
    } while (GetFileAttributesW(Wide(StopFile(path)).c_str()) == INVALID_FILE_ATTRIBUTES);
    CloseHandle(written);
    CHECK(rounds > 2);
}

// Game clients started side by side append to one log: every entry of each arrives whole and
// in its order.
TEST_CASE(files_keep_every_entry_of_clients_side_by_side) {
    const std::u16string log_path = TempFolder("clients") + u"\\murl_err.log";
    std::vector<PROCESS_INFORMATION> clients;
    for (int i = 0; i < 2; ++i) clients.push_back(StartClient(L"appending_client", log_path));
    std::map<std::string, int> next;  // each client's next entry, by its first part
    for (PROCESS_INFORMATION& client : clients) {
        next[ClientEntry(client.dwProcessId, 0)] = 0;
        Finished(client);
    }
    CountEntries(FileBytes(log_path), next);
    for (const auto& [client, entries] : next) CHECK_EQ(entries, kClientEntries);
}

// One game client archives the log again and again while another appends to it: each entry
// lands whole, in its order, in the log or in one archive. The log starts large, and its first
// archive holds it longer than a stream waits: the appending client's first entry waits it out.
TEST_CASE(files_keep_every_entry_of_a_client_while_another_archives) {
    const std::u16string log_path = TempFolder("archiving") + u"\\murl_err.log";
    CreateDirectoryW(Wide(ArchiveFolder(log_path)).c_str(), nullptr);
    constexpr int kFillers = 1 << 20;
    {
        std::string filler;
        for (int i = 0; i < kFillers; ++i) filler += std::string(kFiller) + "\r\n";
        std::ofstream(std::filesystem::path(Wide(log_path)), std::ios::binary) << filler;
    }
    const HANDLE written = EntriesWritten(log_path);
    const HANDLE copying = CopyStarted(log_path);
    PROCESS_INFORMATION archiving = StartClient(L"archiving_client", log_path);
    PROCESS_INFORMATION appending = StartClient(L"appending_client", log_path);
    std::map<std::string, int> next = {{ClientEntry(appending.dwProcessId, 0), 0}};
    Finished(appending);
    std::ofstream(std::filesystem::path(Wide(StopFile(log_path))));
    ReleaseSemaphore(written, 1, nullptr);  // wakes the archiving client to see it
    Finished(archiving);
    CloseHandle(copying);
    CloseHandle(written);

    // The archives in the order they were made (a round that failed made none), then the log.
    std::vector<int> rounds;
    for (const std::wstring& name : Listing(ArchiveFolder(log_path))) {
        if (name.size() > 4 && name.compare(name.size() - 4, 4, L".log") == 0) {
            rounds.push_back(std::stoi(name));
        }
    }
    std::sort(rounds.begin(), rounds.end());
    std::vector<std::u16string> files;
    for (const int n : rounds) {
        files.push_back(ArchiveFolder(log_path) + u"\\" + murl::DecimalText(n) + u".log");
    }
    CHECK(files.size() > 2);
    files.push_back(log_path);
    int fillers = 0;
    for (const std::u16string& file : files) {
        TRACE(Narrow(file));
        if (!CountEntries(FileBytes(file), next, &fillers)) break;
    }
    for (const auto& [client, entries] : next) CHECK_EQ(entries, kClientEntries);
    CHECK_EQ(fillers, kFillers);
}
