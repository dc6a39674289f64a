#pragma once
// Bookkeeping of one manual crop pass: which output files the pass has
// written, so that two inputs that map to one output name (a.bmp and a.tif,
// or names without a dot) never overwrite each other's crop or one of the
// pass's own input images, and how many images of the pass ended without a
// saved crop.

#include <wx/arrstr.h>
#include <wx/string.h>

#include <set>
#include <utility>

class ManualPass {
public:
    // Forgets everything of an earlier pass. The pass's input images are
    // never written over: a save folder that holds them (an input named
    // crop_x.jpg, say) gets numbered names instead.
    void begin(const wxArrayString& inputPaths = wxArrayString());

    // The path itself when it names none of the pass's inputs and no file
    // this pass has written; otherwise the first such variant with a numeric
    // suffix before the extension (crop_a.jpg, crop_a_2.jpg, crop_a_3.jpg,
    // ...). Other files that existed before the pass do not count: they are
    // replaced.
    wxString uniquePath(const wxString& path) const;

    void recordSaved(const wxString& path);
    void recordFailure();

    int failures() const { return failures_; }

private:
    bool taken(const wxString& path) const;
    void take(const wxString& path);

    // Files are told apart by what they are, not by how their paths are
    // spelt: device and inode, links followed. A save folder that is a link
    // to the input folder, a hard link, or ".." in a path then cannot make
    // an input look free. A path that names no file holds nothing to keep.
    using FileIdentity = std::pair<unsigned long long, unsigned long long>;
    std::set<FileIdentity> taken_;
    int failures_ = 0;
};
