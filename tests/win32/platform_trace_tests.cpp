// The trace's switch and file against the real API.

#include "platform_test_support.h"

#include <cstdio>

#include "platform/win32/append_lock.h"
#include "platform/win32/trace_file.h"

namespace {

namespace trace = murl::win32::trace;

// LOCALAPPDATA points at a fresh folder of its own while this lives.
class LocalData {
public:
    LocalData() : folder_(Wide(TempFolder("local-data"))) {
        wchar_t before[MAX_PATH] = {};
        GetEnvironmentVariableW(L"LOCALAPPDATA", before, MAX_PATH);
        before_ = before;
        SetEnvironmentVariableW(L"LOCALAPPDATA", folder_.c_str());
    }
    ~LocalData() {
        SetEnvironmentVariableW(L"LOCALAPPDATA", before_.empty() ? nullptr : before_.c_str());
    }
    LocalData(const LocalData&) = delete;
    LocalData& operator=(const LocalData&) = delete;

    std::u16string Path(const wchar_t* name = nullptr) const {
        const std::wstring path =
            folder_ + L"\\" + trace::kFolder + (name ? L"\\" : L"") + (name ? name : L"");
        return std::u16string(path.begin(), path.end());
    }

private:
    std::wstring folder_, before_;
};

const LocalData* local_data = nullptr;

// What the system says of a handle, with the trace folder or file made a link (a junction, a
// symbolic link: both are reparse points) when `links` says so.
enum Linked { kNoLink, kFolderLinked, kFileLinked };
Linked links = kNoLink;
BOOL WINAPI LinkedInformation(HANDLE handle, LPBY_HANDLE_FILE_INFORMATION info) {
    const BOOL done = system_calls.real().GetFileInformationByHandle(handle, info);
    const bool folder = (info->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (done && folder == (links == kFolderLinked)) {
        info->dwFileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
    }
    return done;
}

BOOL WINAPI SizeUnread(HANDLE, PLARGE_INTEGER) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}

// A viewer holds the full file open without delete sharing: it cannot be moved.
BOOL WINAPI RenameRefused(HANDLE, FILE_INFO_BY_HANDLE_CLASS, LPVOID, DWORD) {
    SetLastError(ERROR_SHARING_VIOLATION);
    return FALSE;
}

// Another game client finds the file full at the same moment and moves it aside first, then
// writes its line to a new file, right after this client read the size.
bool other_client_rotated = false;
BOOL WINAPI OtherClientRotatesMeanwhile(HANDLE file, PLARGE_INTEGER size) {
    const murl::win32::SystemCalls& real = system_calls.real();
    const BOOL done = real.GetFileSizeEx(file, size);
    if (done && size->QuadPart + 8 > trace::kFileCap && !other_client_rotated) {
        other_client_rotated = true;
        CHECK(real.MoveFileExW(Wide(local_data->Path(trace::kFileName)).c_str(),
                               Wide(local_data->Path(trace::kOlderFileName)).c_str(),
                               MOVEFILE_REPLACE_EXISTING));
        Replace(local_data->Path(trace::kFileName), "other client\r\n");
    }
    return done;
}

}  // namespace

// The trace file keeps its cap whatever the system does, loses no older file to another
// client, and follows no link; every fault is played through the call table.
TEST_CASE(trace_file_keeps_its_cap_and_follows_no_link) {
    const LocalData local;
    local_data = &local;
    const std::string full(trace::kFileCap - 3, 'x');
    const std::string line = "a line\r\n";
    const std::string note =
        "murl trace: 1 line was left out before this one: the trace file was full and could not "
        "be moved aside (was it open in another program?)\r\n";
    const std::string at_cap(trace::kFileCap - line.size(), 'x');
    const std::string past_cap(at_cap.size() + 1, 'x');
    const std::u16string file = local.Path(trace::kFileName);
    const std::u16string older = local.Path(trace::kOlderFileName);
    struct Row {
        const char* name;
        std::function<void(murl::win32::SystemCalls&)> fault;
        trace::Refusal refusal;
        std::string file_after, older_after;
    } rows[] = {
        {"room left", [&](auto&) { Replace(file, "before\r\n"); }, trace::Refusal::kNone,
         "before\r\n" + line, "older\r\n"},
        {"full: replaces the older file", [](auto&) {}, trace::Refusal::kNone, line, full},
        {"filled by the line exactly", [&](auto&) { Replace(file, at_cap); }, trace::Refusal::kNone,
         at_cap + line, "older\r\n"},
        {"passed by the line by one byte", [&](auto&) { Replace(file, past_cap); },
         trace::Refusal::kNone, line, past_cap},
        {"full, and the move refused",
         [](auto& calls) { calls.SetFileInformationByHandle = RenameRefused; },
         trace::Refusal::kFull, full, "older\r\n"},
        {"full, and its size unread", [](auto& calls) { calls.GetFileSizeEx = SizeUnread; },
         trace::Refusal::kSizeUnread, full, "older\r\n"},
        {"full, moved by another client meanwhile",
         [](auto& calls) {
             other_client_rotated = false;
             calls.GetFileSizeEx = OtherClientRotatesMeanwhile;
         },
         trace::Refusal::kNone, "other client\r\n" + line, full},
        {"a link for the file",
         [](auto& calls) {
             links = kFileLinked;
             calls.GetFileInformationByHandle = LinkedInformation;
         },
         trace::Refusal::kLink, full, "older\r\n"},
        {"a junction for the folder",
         [](auto& calls) {
             links = kFolderLinked;
             calls.GetFileInformationByHandle = LinkedInformation;
         },
         trace::Refusal::kLink, full, "older\r\n"},
        {"a second name for the file",
         [&](auto&) {
             const std::u16string elsewhere = local.Path() + u"-elsewhere.txt";
             Replace(elsewhere, full);
             DeleteFileW(Wide(file).c_str());
             CHECK(CreateHardLinkW(Wide(file).c_str(), Wide(elsewhere).c_str(), nullptr));
         },
         trace::Refusal::kLink, full, "older\r\n"},
        {"a file for the folder",
         [&](auto&) {
             RemoveTree(L"\\\\?\\" + Wide(local.Path()));
             Replace(local.Path(), "not a folder");
         },
         trace::Refusal::kNotFolder, "", ""},
    };
    for (const Row& row : rows) {
        TRACE(row.name);
        RemoveTree(L"\\\\?\\" + Wide(local.Path()));
        DeleteFileW(Wide(local.Path()).c_str());
        CreateDirectoryW(Wide(local.Path()).c_str(), nullptr);
        Replace(file, full);
        Replace(older, "older\r\n");
        trace::File trace_file;
        {
            StandIns stand_ins(system_calls);
            row.fault(*stand_ins);
            CHECK_EQ(static_cast<int>(trace_file.Append(line.data(), DWORD(line.size()))),
                     static_cast<int>(row.refusal));
            trace_file.Close();
        }
        CHECK_EQ(FileBytes(file), row.file_after);
        CHECK_EQ(FileBytes(older), row.older_after);
        if (row.refusal == trace::Refusal::kFull) {
            // The next line that can be written says that lines were left out, once.
            CHECK_EQ(static_cast<int>(trace_file.Append(line.data(), DWORD(line.size()))), 0);
            CHECK_EQ(static_cast<int>(trace_file.Append(line.data(), DWORD(line.size()))), 0);
            trace_file.Close();
            CHECK_EQ(FileBytes(file), note + line + line);
            CHECK_EQ(FileBytes(older), full);
        }
    }
    // Two clients: one moves the full file aside and begins a new one, and the older file is
    // then taken away (the player moves it, to send it). The other's next line goes into the new
    // file, whether it would have fitted into the old one or not, and never moves the new file
    // aside.
    const std::string long_line = std::string(200, 'a') + "\r\n";
    for (const std::string& next : {line, long_line}) {
        TRACE("the other client's next line of " + std::to_string(next.size()) + " bytes");
        RemoveTree(L"\\\\?\\" + Wide(local.Path()));
        DeleteFileW(Wide(local.Path()).c_str());
        CreateDirectoryW(Wide(local.Path()).c_str(), nullptr);
        Replace(file, std::string(trace::kFileCap - 100, 'x'));
        trace::File one, other;
        CHECK_EQ(static_cast<int>(other.Append(line.data(), DWORD(line.size()))), 0);
        CHECK_EQ(static_cast<int>(one.Append(long_line.data(), DWORD(long_line.size()))), 0);
        const std::u16string sent = local.Path() + u"-sent.log";
        DeleteFileW(Wide(sent).c_str());
        CHECK(MoveFileW(Wide(older).c_str(), Wide(sent).c_str()));
        CHECK_EQ(static_cast<int>(other.Append(next.data(), DWORD(next.size()))), 0);
        one.Close();
        other.Close();
        CHECK_EQ(FileBytes(file), long_line + next);
        CHECK_EQ(GetFileAttributesW(Wide(older).c_str()), INVALID_FILE_ATTRIBUTES);
    }

    // A line that cannot have its turn, another client holding the file, stays out, and the
    // next line follows a note that counts it.
    {
        RemoveTree(L"\\\\?\\" + Wide(local.Path()));
        CreateDirectoryW(Wide(local.Path()).c_str(), nullptr);
        Replace(file, "");
        trace::File trace_file;
        const HANDLE other = CreateFileW(Wide(file).c_str(), GENERIC_READ,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         nullptr, OPEN_EXISTING, 0, nullptr);
        CHECK(murl::win32::append_lock::TryTake(other) == murl::win32::append_lock::Try::kTaken);
        CHECK_EQ(static_cast<int>(trace_file.Append(line.data(), DWORD(line.size()))),
                 static_cast<int>(trace::Refusal::kBusy));
        CHECK_EQ(FileBytes(file), std::string());
        CloseHandle(other);
        CHECK_EQ(static_cast<int>(trace_file.Append(line.data(), DWORD(line.size()))), 0);
        trace_file.Close();
        CHECK_EQ(FileBytes(file),
                 "murl trace: 1 line was left out before this one: another game client kept the "
                 "trace file busy for more than 0.1 s\r\n" +
                     line);
    }

    // A reader that does not let the file be renamed still reads it while a client appends.
    RemoveTree(L"\\\\?\\" + Wide(local.Path()));
    DeleteFileW(Wide(local.Path()).c_str());
    trace::File trace_file;
    CHECK_EQ(static_cast<int>(trace_file.Append(line.data(), DWORD(line.size()))), 0);
    { const Held reader(file, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE); }
    trace_file.Close();

    // Clearing deletes both files and then the folder, never through a junction.
    struct Clearing {
        const char* name;
        Linked linked;
        trace::Refusal refusal;
        bool left;
    } clearings[] = {
        {"clear", kNoLink, trace::Refusal::kNone, false},
        {"clear through a junction", kFolderLinked, trace::Refusal::kLink, true},
    };
    for (const Clearing& c : clearings) {
        TRACE(c.name);
        CreateDirectoryW(Wide(local.Path()).c_str(), nullptr);
        Replace(file, line);
        Replace(older, line);
        StandIns stand_ins(system_calls);
        links = c.linked;
        stand_ins->GetFileInformationByHandle = LinkedInformation;
        DWORD error = 0;
        CHECK_EQ(static_cast<int>(trace::Clear(error)), static_cast<int>(c.refusal));
        CHECK_EQ(FileBytes(file), c.left ? line : std::string());
        CHECK_EQ(FileBytes(older), c.left ? line : std::string());
        CHECK_EQ(GetFileAttributesW(Wide(local.Path()).c_str()) != INVALID_FILE_ATTRIBUTES, c.left);
    }
    local_data = nullptr;
}

namespace {

// Of each client: enough to cut lines without a lock, and to fill one file and not two.
constexpr int kTraceLines = 20000;

constexpr int kTraceRound = 20;  // lines of each client between two meetings

// Counts the tracing clients that arrived at the end of a round.
HANDLE Arrivals(const std::u16string& file) {
    return CreateSemaphoreW(nullptr, 0, LONG_MAX, ClientObject(file, L"arrived").c_str());
}

// Lets the client `client` begin its next round.
HANDLE RoundsBegun(const std::u16string& file, DWORD client) {
    const std::wstring name = L"round-" + std::to_wstring(client);
    return CreateSemaphoreW(nullptr, 0, LONG_MAX, ClientObject(file, name.c_str()).c_str());
}

std::string TraceLine(DWORD client, int n) {
    return ClientEntry(client, n) + "\r\n";
}

// What the trace files held that they should not.
struct TraceFaults {
    int cut = 0;        // lines that are not whole: written over, or cut by another's
    int unordered = 0;  // lines after a gap that no note counts
};

// The lines of a trace file, counted into each client's next line: each client's lines come in
// their order, and a gap is only what a note right before its next line counts as left out.
void CountTraceLines(const std::string& text, std::map<DWORD, int>& next, size_t& fillers,
                     TraceFaults& faults) {
    int left_out = 0;
    for (size_t at = 0, end; at < text.size(); at = end + 1) {
        end = text.find('\n', at);
        if (end == std::string::npos) end = text.size() - 1;
        const std::string line = text.substr(at, end + 1 - at);
        unsigned long client = 0;
        int n = 0;
        if (line == std::string(kFiller) + "\r\n") {
            ++fillers;
        } else if (std::sscanf(line.c_str(), "murl trace: %d", &left_out) == 1) {
        } else if (std::sscanf(line.c_str(), "client %lu entry %d", &client, &n) == 2 &&
                   line == TraceLine(client, n) && next.count(client)) {
            if (next[client] + left_out != n) ++faults.unordered;
            next[client] = n + 1;
            left_out = 0;
        } else {
            ++faults.cut;
        }
    }
}

}  // namespace

// One of the clients below: traces its lines into the trace file of the local application
// data in its environment, in rounds that begin when every client has arrived.
MANUAL_CASE(tracing_client) {
    const std::u16string path = ClientLog();
    REQUIRE(!path.empty());
    const HANDLE arrived = Arrivals(path), go = RoundsBegun(path, GetCurrentProcessId());
    trace::File trace_file;
    for (int n = 0; n < kTraceLines; ++n) {
        if (n % kTraceRound == 0) {
            ReleaseSemaphore(arrived, 1, nullptr);
            CHECK_EQ(WaitForSingleObject(go, INFINITE), WAIT_OBJECT_0);
        }
        const std::string line = TraceLine(GetCurrentProcessId(), n);
        // A line that cannot wait for its turn is counted in a note.
        const trace::Refusal refusal = trace_file.Append(line.data(), DWORD(line.size()));
        if (refusal != trace::Refusal::kBusy && !CHECK_EQ(static_cast<int>(refusal), 0)) break;
    }
    trace_file.Close();
    CloseHandle(arrived);
    CloseHandle(go);
}

// Game clients side by side trace into one file, and on when it fills up and is moved aside:
// every line arrives whole and in its order, and neither file passes the cap.
TEST_CASE(trace_file_keeps_every_line_of_clients_side_by_side) {
    const LocalData local;
    const std::u16string file = local.Path(trace::kFileName);
    // The file fills up early on.
    constexpr size_t kFillers = (trace::kFileCap - 100'000) / (sizeof kFiller + 1);
    CreateDirectoryW(Wide(local.Path()).c_str(), nullptr);
    std::string fill;
    for (size_t i = 0; i < kFillers; ++i) fill += std::string(kFiller) + "\r\n";
    Replace(file, fill);
    const HANDLE arrived = Arrivals(file);
    std::vector<PROCESS_INFORMATION> clients;
    std::vector<HANDLE> rounds;
    for (int i = 0; i < 2; ++i) {
        clients.push_back(StartClient(L"tracing_client", file));
        rounds.push_back(RoundsBegun(file, clients.back().dwProcessId));
    }
    // Each round begins for all clients at once, so that they trace side by side.
    const HANDLE waits[] = {arrived, clients[0].hProcess, clients[1].hProcess};
    for (int round = 0; round < kTraceLines / kTraceRound; ++round) {
        for (size_t client = 0; client < clients.size(); ++client) {
            REQUIRE(WaitForMultipleObjects(3, waits, FALSE, INFINITE) == WAIT_OBJECT_0);
        }
        for (const HANDLE go : rounds) ReleaseSemaphore(go, 1, nullptr);
    }
    std::map<DWORD, int> next;  // each client's next line
    for (PROCESS_INFORMATION& client : clients) {
        next[client.dwProcessId] = 0;
        Finished(client);
    }
    CloseHandle(arrived);
    for (const HANDLE go : rounds) CloseHandle(go);
    size_t fillers = 0;
    TraceFaults faults;
    for (const std::u16string& name : {local.Path(trace::kOlderFileName), file}) {
        const std::string text = FileBytes(name);
        CHECK(!text.empty());
        CHECK(text.size() <= trace::kFileCap);
        CountTraceLines(text, next, fillers, faults);
    }
    CHECK_EQ(faults.cut, 0);
    CHECK_EQ(faults.unordered, 0);
    for (const auto& [client, lines] : next) CHECK_EQ(lines, kTraceLines);
    CHECK_EQ(fillers, kFillers);
}
