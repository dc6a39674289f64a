#include "ManualPass.h"

void ManualPass::begin() {
    written_.clear();
    failures_ = 0;
}

wxString ManualPass::uniquePath(const wxString& path) const {
    if (written_.count(path) == 0) return path;

    // Output paths always end in the format's extension, so the last dot
    // separates it even when a folder name holds dots.
    const wxString stem = path.BeforeLast('.');
    const wxString extension = path.AfterLast('.');
    for (int suffix = 2;; ++suffix) {
        const wxString candidate = wxString::Format("%s_%d.%s", stem, suffix, extension);
        if (written_.count(candidate) == 0) return candidate;
    }
}

void ManualPass::recordSaved(const wxString& path) { written_.insert(path); }

void ManualPass::recordFailure() { ++failures_; }
