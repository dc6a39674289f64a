#pragma once
// Bookkeeping of one manual crop pass: which output files the pass has
// written, so that two inputs that map to one output name (a.bmp and a.tif,
// or names without a dot) never overwrite each other's crop or one of the
// pass's own input images, and how many images of the pass ended without a
// saved crop.

#include <wx/arrstr.h>
#include <wx/string.h>

#include <set>

class ManualPass {
public:
    // Forgets everything of an earlier pass. The pass's input images are
    // never written over: a save folder that holds them (an input named
    // crop_x.jpg, say) gets numbered names instead.
    void begin(const wxArrayString& inputPaths = wxArrayString());

    // The path itself when this pass has not written it yet; otherwise the
    // first free variant with a numeric suffix before the extension
    // (crop_a.jpg, crop_a_2.jpg, crop_a_3.jpg, ...). Other files that existed
    // before the pass do not count: they are replaced.
    wxString uniquePath(const wxString& path) const;

    void recordSaved(const wxString& path);
    void recordFailure();

    int failures() const { return failures_; }

private:
    bool taken(const wxString& path) const;

    // Paths in a comparable form: absolute, with "." and ".." and doubled
    // separators resolved.
    std::set<wxString> taken_;
    int failures_ = 0;
};
