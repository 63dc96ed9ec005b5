// The error log's archive on the real file system: its folder, and the held lock it copies
// and empties the log under.

#include "platform_test_support.h"

#include "log/cls_log.h"
#include "platform/win32/win32_platform.h"

// The archive is made, read-only, beside nothing else, whatever the length of its folder.
TEST_CASE(archive_lands_read_only_in_folders_of_any_length) {
    murl::Win32Platform ports;
    const murl::Platform platform = ports.MakePlatform();
    const std::u16string base = TempFolder("archive");
    const std::u16string log_path = base + u"\\murl_err.log";
    struct Target {
        std::string name;
        std::u16string folder;
    };
    std::vector<Target> targets;
    for (size_t length = 240; length <= 300; ++length) {
        targets.push_back(
            {std::to_string(length) + " characters",
             NestedFolder(TempFolder(("archive-" + std::to_string(length)).c_str()), length)});
    }
    targets.push_back({"folder of 1100", NestedFolder(TempFolder("archive-1100"), 1100)});
    targets.push_back(
        {"folder of 1100 as \\\\?\\", LongPath(NestedFolder(TempFolder("archive-long"), 1100))});
    for (const Target& target : targets) {
        TRACE(target.name);
        REQUIRE(ports.files.Create()->FolderExists(target.folder));
        const std::u16string archive = target.folder + u"\\a.log";
        murl::clsLog log(platform);
        log.File(log_path);
        log.SeverityLevel(1);  // a failed step leaves its entry
        ports.files.Create()->CreateTextFile(log_path, true);
        log.Output(u"entry", 0);
        log.ArchiveLog(archive);
        CHECK_EQ(FileBytes(log_path), Narrow(archive) + " archived.\r\n");
        const std::u16string seen = archive.rfind(u"\\\\?\\", 0) == 0 ? archive : LongPath(archive);
        CHECK_EQ(FileBytes(seen), std::string("entry\r\n"));
        const DWORD attributes = GetFileAttributesW(Wide(seen).c_str());
        CHECK(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY));
        CHECK_EQ(Listing(seen.substr(4, seen.size() - 10)).size(), size_t{1});
    }
}

// Runs `work` on a thread of its own while it lives; Done() tells whether it has returned.
class Worker {
public:
    explicit Worker(std::function<void()> work) : work_(std::move(work)) {
        thread_ = CreateThread(nullptr, 0, Run, this, 0, nullptr);
        REQUIRE(thread_ != nullptr);
    }
    ~Worker() {
        WaitForSingleObject(thread_, INFINITE);
        CloseHandle(thread_);
    }
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;
    bool Done() const { return WaitForSingleObject(thread_, 0) == WAIT_OBJECT_0; }

private:
    static DWORD WINAPI Run(void* self) {
        static_cast<Worker*>(self)->work_();
        return 0;
    }
    std::function<void()> work_;
    HANDLE thread_ = nullptr;
};

namespace {

// Locks of the byte that marks a held lock fail as on a file system without locks.
BOOL WINAPI MarksUnsupported(HANDLE file, DWORD flags, DWORD reserved, DWORD low, DWORD high,
                             LPOVERLAPPED at) {
    if (at->Offset == 1) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    return system_calls.real().LockFileEx(file, flags, reserved, low, high, at);
}

}  // namespace

// While a component holds a file's lock, another component's stream or lock on the file waits
// as long as it lives, also past a stream's wait, and the holder copies the file and empties
// it; once it lets go, the waiter gets in. Where the lock cannot be marked, it is given up on
// as a stream's is, and taking it fails no more than that.
TEST_CASE(files_keep_streams_waiting_while_a_held_lock_copies_and_empties) {
    murl::Win32FileSystemFactory factory;
    const std::u16string folder = TempFolder("held");
    const std::u16string copy = folder + u"\\copy.txt";
    const struct {
        const char* name;
        decltype(&::LockFileEx) lock_call;
        bool waited_for;
    } marks[] = {
        {"marked", nullptr, true},
        {"no mark", MarksUnsupported, false},
    };
    const struct {
        const char* name;
        void (*take)(murl::FileSystem&, const std::u16string& path);
        std::string writes;
    } waiters[] = {
        {"a stream",
         [](murl::FileSystem& fs, const std::u16string& path) {
             fs.OpenTextFile(path, murl::kForAppending)->WriteLine(u"after");
         },
         "after\r\n"},
        {"a held lock", [](murl::FileSystem& fs, const std::u16string& path) { fs.LockFile(path); },
         ""},
    };
    for (const auto& mark : marks) {
        for (const auto& waiter : waiters) {
            TRACE(std::string(mark.name) + ", " + waiter.name);
            StandIns stand_ins(system_calls);
            if (mark.lock_call) stand_ins->LockFileEx = mark.lock_call;
            const auto holder = factory.Create();
            const std::u16string file = NewFile(*holder, folder, u"log.txt");
            holder->OpenTextFile(file, murl::kForAppending)->WriteLine(u"first");
            auto lock = holder->LockFile(file);
            int32_t failure = 0;
            if (!mark.waited_for) {
                {
                    Worker other(
                        [&] { failure = ErrorOf([&] { waiter.take(*factory.Create(), file); }); });
                }  // it gives up by itself
                CHECK_EQ(failure, murl::err::kPermissionDenied);
                lock.reset();
                CHECK_EQ(FileBytes(file), std::string("first\r\n"));
                continue;
            }
            {
                Worker other(
                    [&] { failure = ErrorOf([&] { waiter.take(*factory.Create(), file); }); });
                Sleep(2000);  // twice a stream's wait
                CHECK(!other.Done());
                CHECK_EQ(ErrorOf([&] { holder->CopyFile(file, copy, true); }), 0);
                CHECK_EQ(ErrorOf([&] { holder->CreateTextFile(file, true); }), 0);
                lock.reset();
            }
            CHECK_EQ(failure, 0);
            CHECK_EQ(FileBytes(copy), std::string("first\r\n"));
            CHECK_EQ(FileBytes(file), waiter.writes);
        }
    }
    CHECK_EQ(ErrorOf([&] { factory.Create()->LockFile(folder + u"\\none.txt"); }), 53);
}
