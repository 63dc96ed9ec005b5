#include <memory>
#include <new>

#include "host/error.h"
#include "log/cls_log.h"
#include "text/text.h"

namespace murl {

namespace {

std::u16string LastTwo(const std::u16string& text) {
    return text.size() > 2 ? text.substr(text.size() - 2) : text;
}

// yy_m_d_<module>.log: two-digit year, month and day without leading zeros.
std::u16string DefaultArchiveName(const DateTime& today, std::u16string_view module) {
    std::u16string name = LastTwo(DecimalText(today.year));
    name += u'_';
    name += DecimalText(today.month);
    name += u'_';
    name += DecimalText(today.day);
    name += u'_';
    name += module;
    name += u".log";
    return name;
}

// Where the archive goes: the given path, or a dated name in the module's ARCH folder, which
// is then `folder`.
struct ArchivePlace {
    std::u16string folder;
    std::u16string path;
};

ArchivePlace PlaceOf(const Platform& platform, std::u16string_view given) {
    const DateTime today = platform.clock.Now();
    if (!given.empty()) return {{}, std::u16string(given)};
    std::u16string folder = platform.JoinPath(platform.app.ModuleFolder(), u"ARCH");
    std::u16string path =
        platform.JoinPath(folder, DefaultArchiveName(today, platform.app.ModuleName()));
    return {std::move(folder), std::move(path)};
}

struct Failure {
    int32_t number = 0;
    std::u16string description;
};

// The failure being handled, as a number and a description.
Failure CurrentFailure() {
    try {
        throw;
    } catch (const Error& e) {
        return {e.number(), e.description()};
    } catch (const std::bad_alloc& e) {
        return {err::kOutOfMemory, DescribeException(e)};
    } catch (const std::exception& e) {
        return {err::kInternalError, DescribeException(e)};  // it carries no platform number
    } catch (...) {
        return {err::kInternalError, u"Unexpected failure"};
    }
}

}  // namespace

void clsLog::ArchiveLog(std::u16string_view ArchFilePathName) {
    Failure failure;
    try {
        const ArchivePlace place = PlaceOf(platform_, ArchFilePathName);
        std::unique_ptr<FileSystem> fs = platform_.files.Create();
        CreateIfMissing(*fs);
        if (!place.folder.empty() && !fs->FolderExists(place.folder)) {
            fs->CreateFolder(place.folder);
        }
        // Copying the log onto itself and then emptying it would leave nothing of it.
        if (fs->SameFile(file_, place.path)) {
            throw Error(err::kPathFileAccessError,
                        u"Path/File access error: the archive path names the log file itself");
        }
        {
            // Other clients' entries wait meanwhile, however long the copy takes: each lands
            // whole in the copy or after the emptying. The notice below takes the lock itself.
            const std::unique_ptr<FileLock> lock = fs->LockFile(file_);
            fs->CopyFile(file_, place.path, true);
            fs->CreateTextFile(file_, true);
        }
        Output(place.path + u" archived.", 0);
        fs->GetFile(place.path)->SetAttributes(kAttrReadOnly | kAttrArchive);
        return;
    } catch (...) {
        failure = CurrentFailure();
    }

    // Failures become log entries; only a failure to write one reaches the caller.
    if (failure.number == err::kPermissionDenied) {
        Output(u"Archive File Exists and set to [READ ONLY].", 1);
    } else {
        Output(u"Error # " + DecimalText(failure.number) + u"\r\n\t\t\t" + failure.description, 1);
    }
}

}  // namespace murl
