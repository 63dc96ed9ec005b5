#pragma once
// The rules every file-system port follows: which texts name a file, which failure each
// situation on disk gives, and how a text stream turns text into bytes. A port finds out what
// is on disk and does the writing; these decide what it means.

#include <array>
#include <chrono>
#include <cstdint>
#include <span>
#include <string_view>
#include <utility>

#include "host/error.h"
#include "platform/file_system.h"
#include "platform/owned_handle.h"

namespace murl::file_rules {

// What a path names on disk. A device is told apart where the port can name it as one.
enum class Kind { kMissing, kFile, kFolder, kDevice, kOther };

struct Entry {
    Kind kind = Kind::kMissing;
    bool read_only = false;  // of a file
};

// Empty text and embedded NULs name no file.
bool NamesAFile(std::u16string_view path) noexcept;

// Refuses a text that names no file (52).
void RequireName(std::u16string_view path);

// Anything but a regular file where one should be (75), naming the folder or device.
Error NotAFile(std::u16string_view path, Kind kind);

// A file that is not there: 53 when its folder exists, 76 when the folder is missing too or is
// a file, 75 when it is a device.
Error Missing(std::u16string_view folder, Kind folder_kind);

// A regular file to read, copy or set attributes of; `entry` was found, not missing.
void RequireFile(std::u16string_view path, const Entry& entry);

// Appending is the only mode OpenTextFile takes (5).
void RequireAppendMode(int32_t mode);

// A file to append to: a regular file that is not read-only.
void RequireAppendable(std::u16string_view path, const Entry& entry);

// A file may be replaced or created: not a folder or device, not read-only. Missing passes.
void RequireWritable(std::u16string_view path, const Entry& entry);

// The folder a copy goes into must exist.
void RequireCopyFolder(std::u16string_view folder, Kind kind);

// A copy or a new file may land on `target`: what RequireWritable allows, and an existing file
// only when `overwrite` is set (58).
void RequireTarget(std::u16string_view target, const Entry& entry, bool overwrite);

// The OS error codes that give one platform error; unused places are 0.
struct OsErrorCodes {
    int32_t number;
    std::array<unsigned long, 4> codes;
};

// The platform error number `table` gives OS error `code`; 0 when it gives none.
int32_t NumberOfOsError(unsigned long code, std::span<const OsErrorCodes> table) noexcept;

// Blank lines beyond this many go in more than one write.
inline constexpr int32_t kBlankLinesPerWrite = 32 * 1024;

// A text stream that appends bytes: single-byte text, CR LF line ends, nothing once closed.
// Each call is one write, as far as kBlankLinesPerWrite allows. What one stream writes reaches
// the file whole or not at all: a write that fails sets the file's length back to the one it
// had when the stream was opened, outright, so a file that another program emptied meanwhile
// grows back to it, the gap reading as NUL bytes. The port writes and sets the length.
class AppendingStream : public TextStream {
public:
    void WriteBlankLines(int32_t lines) override;
    void WriteLine(std::u16string_view text) override;

protected:
    virtual bool IsOpen() const noexcept = 0;
    // Writes all of `bytes` or fails.
    virtual void Write(std::string_view bytes) = 0;
    // The file's length when the stream was opened.
    virtual int64_t LengthAtOpening() const noexcept = 0;
    // Sets the file's length outright, shorter or longer, as far as the OS lets it.
    virtual void SetLength(int64_t length) noexcept = 0;

private:
    void RequireOpen() const;
    // The failure is reported even when the file cannot be cut back.
    void Append(std::string_view bytes);
};

// How long a stream waits for another process to let go of the file before it gives up (70).
// A stream holds it for one entry only, so only a hung process keeps it longer. A held lock
// (an archive copying the file) is waited for as long as it lives, and kLockWait after.
inline constexpr std::chrono::milliseconds kLockWait{1000};

// Takes the lock on `handle` that every appender to the file holds. Waits at most `wait`,
// counted afresh each time it sees a held lock at work: its holder lets go when its copy is
// done, and a process that dies lets go with it. False when it gave up.
template <typename Traits>
bool AwaitLock(typename Traits::Value handle,
               std::chrono::milliseconds wait) noexcept(noexcept(Traits::TryLock(handle))) {
    auto deadline = std::chrono::steady_clock::now() + wait;
    while (!Traits::TryLock(handle)) {
        const auto now = std::chrono::steady_clock::now();
        if (Traits::HeldLockAtWork(handle)) {
            deadline = now + wait;
        } else if (now >= deadline) {
            return false;
        }
        Traits::Pause();
    }
    return true;
}

// The lock that every stream on the file holds, waited for kLockWait.
template <typename Traits>
void Lock(typename Traits::Value handle) {
    if (!AwaitLock<Traits>(handle, kLockWait)) throw Error(err::kPermissionDenied);
}

// The lock that streams hold, taken by Lock<Traits> on a handle of its own and released with
// it, and marked (Traits::MarkHeldLock) so that those waiting for it wait until it goes. On
// release the mark goes after the lock, so that a waiter who no longer sees it finds it free.
template <typename Traits>
class HandleLock : public FileLock {
public:
    explicit HandleLock(OwnedHandle<Traits> handle) : handle_(std::move(handle)) {
        Lock<Traits>(handle_.get());
        Traits::MarkHeldLock(handle_.get());
    }
    ~HandleLock() override {
        Traits::Unlock(handle_.get());
        Traits::UnmarkHeldLock(handle_.get());
    }

private:
    OwnedHandle<Traits> handle_;
};

// An AppendingStream on one open handle, which `Traits` describes as OwnedHandle wants it, and
// with Length(handle), the file's length, WriteAll(handle, bytes), TryLock(handle), false
// while another process holds the lock, Unlock(handle), Pause(), a short sleep, and for held
// locks MarkHeldLock(handle) and UnmarkHeldLock(handle), which never fail (unmarked, a held
// lock is waited for as a stream is), and HeldLockAtWork(handle), true while another handle
// on the file has the mark. Other processes' streams on the file wait from opening to closing,
// so that nobody appends between noting the length and cutting back to it. The port sets the
// length.
template <typename Traits>
class HandleStream : public AppendingStream {
public:
    explicit HandleStream(OwnedHandle<Traits> handle)
        : handle_(std::move(handle)), length_at_opening_(LockedLength(handle_.get())) {}
    ~HandleStream() override {
        if (handle_.open()) Traits::Unlock(handle_.get());
    }

    void Close() override {
        if (!handle_.open()) return;
        Traits::Unlock(handle_.get());
        handle_.Close();
    }

protected:
    typename Traits::Value handle() const noexcept { return handle_.get(); }
    int64_t LengthAtOpening() const noexcept override { return length_at_opening_; }

private:
    static int64_t LockedLength(typename Traits::Value handle) {
        Lock<Traits>(handle);
        try {
            return Traits::Length(handle);
        } catch (...) {
            Traits::Unlock(handle);
            throw;
        }
    }

    bool IsOpen() const noexcept override { return handle_.open(); }
    void Write(std::string_view bytes) override { Traits::WriteAll(handle_.get(), bytes); }

    OwnedHandle<Traits> handle_;
    int64_t length_at_opening_;
};

}  // namespace murl::file_rules
