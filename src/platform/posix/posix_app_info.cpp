#include "platform/posix/posix_app_info.h"

#include "murl_version.h"

namespace murl {

PosixAppInfo::PosixAppInfo(std::u16string module_folder, std::u16string module_name)
    : folder_(std::move(module_folder)), name_(std::move(module_name)) {
    // A trailing separator would double when a file name is joined to the folder.
    while (folder_.size() > 1 && folder_.back() == u'/') folder_.pop_back();
}

Version PosixAppInfo::GetVersion() {
    return {MURL_VERSION_MAJOR, MURL_VERSION_MINOR, MURL_VERSION_REVISION};
}

}  // namespace murl
