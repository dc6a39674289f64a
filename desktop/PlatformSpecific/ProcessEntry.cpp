#include "ProcessEntry.h"

#include <wx/init.h>

int runDesktopProgram(int argc, char** argv) {
    // The toolkit reads its own display options from the arguments; the
    // program itself defines none, so nothing else looks at them.
    return wxEntry(argc, argv);
}
