// The trace's switch and file against the real API.

#include "platform_test_support.h"

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
        "murl trace: lines were left out before this one: the trace file was full and could not "
        "be moved aside (was it open in another program?)\r\n";
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
