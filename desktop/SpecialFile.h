#pragma once
// Files of an image set that are no regular files: a named pipe, a device,
// a socket or a folder picked through the all-files filter. Opening one to
// read an image can wait for ever (a pipe waits for a writer, on the GUI
// thread), so both the preview and the validation refuse it before opening.

#include <wx/string.h>

#include <string>

// True when the path names something that is there but is no regular file
// (links followed). A path that names nothing is not special: reading it
// fails at once with its own message.
bool namesSpecialFile(const std::string& fileSystemPath);

// The message that refuses such a file, naming it.
wxString specialFileMessage(const wxString& path);
