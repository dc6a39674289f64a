#include "ManualPass.h"

#include <wx/filename.h>

namespace {

wxString comparable(const wxString& path) {
    wxFileName name(path);
    name.Normalize(wxPATH_NORM_DOTS | wxPATH_NORM_ABSOLUTE);
    return name.GetFullPath();
}

}  // namespace

void ManualPass::begin(const wxArrayString& inputPaths) {
    taken_.clear();
    for (const wxString& input : inputPaths) taken_.insert(comparable(input));
    failures_ = 0;
}

bool ManualPass::taken(const wxString& path) const { return taken_.count(comparable(path)) != 0; }

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

void ManualPass::recordSaved(const wxString& path) { taken_.insert(comparable(path)); }

void ManualPass::recordFailure() { ++failures_; }
