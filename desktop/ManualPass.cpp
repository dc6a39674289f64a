#include "ManualPass.h"

#include <sys/stat.h>

namespace {

// The device and inode of the file that path names, links followed; false
// when no file is there. The path is spelt for the file system as the
// image handlers spell it when they save.
bool identityOf(const wxString& path, std::pair<unsigned long long, unsigned long long>* id) {
    struct stat info {};
    if (stat(path.fn_str(), &info) != 0) return false;
    *id = {static_cast<unsigned long long>(info.st_dev),
           static_cast<unsigned long long>(info.st_ino)};
    return true;
}

}  // namespace

void ManualPass::begin(const wxArrayString& inputPaths) {
    taken_.clear();
    for (const wxString& input : inputPaths) take(input);
    failures_ = 0;
}

void ManualPass::take(const wxString& path) {
    FileIdentity id;
    if (identityOf(path, &id)) taken_.insert(id);
}

bool ManualPass::taken(const wxString& path) const {
    FileIdentity id;
    return identityOf(path, &id) && taken_.count(id) != 0;
}

wxString ManualPass::uniquePath(const wxString& path) const {
    if (!taken(path)) return path;

    // Output paths always end in the format's extension, so the last dot
    // separates it even when a folder name holds dots.
    const wxString stem = path.BeforeLast('.');
    const wxString extension = path.AfterLast('.');
    for (int suffix = 2;; ++suffix) {
        const wxString candidate = wxString::Format("%s_%d.%s", stem, suffix, extension);
        if (!taken(candidate)) return candidate;
    }
}

void ManualPass::recordSaved(const wxString& path) { take(path); }

void ManualPass::recordFailure() { ++failures_; }
