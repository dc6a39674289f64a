#pragma once
// Command and window ids of the main window. Menu items and toolbar tools
// share one number space; Open, Exit and About carry the toolkit's standard
// ids, the rest are the window's own plain numbers. The output-format ids
// double as the stored output format (OptionValues::outputFormat). The last
// three are the ids of the events an automatic run's worker sends the window.

#include <wx/defs.h>

enum CommandId {
    idOpen = wxID_OPEN,    // 5000
    idExit = wxID_EXIT,    // 5006
    idAbout = wxID_ABOUT,  // 5014
    idSetCrop = 1005,
    idCropImage = 1006,
    idOptions = 1007,
    idImageDetails = 1008,
    idClearImages = 1009,
    idRemoveFiles = 1010,
    idPreviewPanel = 1012,
    idImageList = 1013,
    idSetReference = 1014,
    idStartRun = 1015,
    idManualMode = 1016,
    idAutomaticMode = 1018,
    idStack = 1019,
    idOutputJpeg = 1021,
    idOutputBmp = 1022,
    idOutputTif8 = 1023,
    idOutputTif16 = 1024,
    idValidate = 1060,
    idToggleSafeArea = 1061,
    idRunProgress = 100000,    // progress: GetInt() = images handed out so far
    idCloseProgress = 100001,  // the progress dialog is to close now
    idRunEnded = 100002,       // the run is over (see AutoCrop.h)
};

static_assert(wxID_OPEN == 5000 && wxID_EXIT == 5006 && wxID_ABOUT == 5014,
              "the menu ids double as the toolkit's standard ids");
