#pragma once
// Bookkeeping of one manual crop pass: which output files the pass has
// written, so that two inputs that map to one output name (a.bmp and a.tif,
// or names without a dot) never overwrite each other's crop, and how many
// images of the pass ended without a saved crop.

#include <wx/string.h>

#include <set>

class ManualPass {
public:
    // Forgets everything of an earlier pass.
    void begin();

    // The path itself when this pass has not written it yet; otherwise the
    // first free variant with a numeric suffix before the extension
    // (crop_a.jpg, crop_a_2.jpg, crop_a_3.jpg, ...). Files that existed
    // before the pass do not count: they are replaced.
    wxString uniquePath(const wxString& path) const;

    void recordSaved(const wxString& path);
    void recordFailure();

    int failures() const { return failures_; }

private:
    std::set<wxString> written_;
    int failures_ = 0;
};
