#include <memory>
#include <new>

#include "host/error.h"
#include "host/text.h"
#include "log/cls_log.h"

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

}  // namespace

void clsLog::ArchiveLog(std::u16string_view ArchFilePathName) {
    int32_t number = 0;
    std::u16string description;
    try {
        const DateTime today = platform_.clock.Now();
        const bool default_path = ArchFilePathName.empty();
        std::u16string folder;
        std::u16string archive_path(ArchFilePathName);
        if (default_path) {
            folder = platform_.JoinPath(platform_.app.ModuleFolder(), u"ARCH");
            archive_path =
                platform_.JoinPath(folder, DefaultArchiveName(today, platform_.app.ModuleName()));
        }

        std::unique_ptr<FileSystem> fs = platform_.files.Create();
        if (!fs->FileExists(file_)) fs->CreateTextFile(file_);
        if (default_path && !fs->FolderExists(folder)) fs->CreateFolder(folder);
        // Copying the log onto itself and then emptying it would leave nothing of it.
        if (fs->SameFile(file_, archive_path)) {
            throw Error(err::kPathFileAccessError,
                        u"Path/File access error: the archive path names the log file itself");
        }
        fs->CopyFile(file_, archive_path, true);
        fs->CreateTextFile(file_);
        Output(archive_path + u" archived.", 0);
        fs->GetFile(archive_path)->SetAttributes(kAttrReadOnly | kAttrArchive);
        return;
    } catch (const Error& e) {
        number = e.number();
        description = e.description();
    } catch (const std::bad_alloc& e) {
        number = err::kOutOfMemory;
        description = DescribeException(e);
    } catch (const std::exception& e) {
        number = err::kInternalError;  // a failure that carries no platform number
        description = DescribeException(e);
    } catch (...) {
        number = err::kInternalError;  // a failure that carries no platform number
        description = u"Unexpected failure";
    }

    // Failures become log entries; only a failure to write one reaches the caller.
    if (number == err::kPermissionDenied) {
        Output(u"Archive File Exists and set to [READ ONLY].", 1);
    } else {
        Output(u"Error # " + DecimalText(number) + u"\r\n\t\t\t" + description, 1);
    }
}

}  // namespace murl
