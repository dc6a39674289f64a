#pragma once
// The main window's command numbers as its menus, its toolbar and the
// settings file know them, written out here apart from the program's own
// names, so that a renumbering there fails here.

#include <wx/defs.h>

namespace guitest {

constexpr int kOpen = wxID_OPEN;
constexpr int kSetCrop = 1005;
constexpr int kCropImage = 1006;
constexpr int kOptions = 1007;
constexpr int kImageDetails = 1008;
constexpr int kClearImages = 1009;
constexpr int kRemoveFiles = 1010;
constexpr int kSetReference = 1014;
constexpr int kStartRun = 1015;
constexpr int kManualModeItem = 1016;
constexpr int kAutomaticModeItem = 1018;
constexpr int kStackSwitch = 1019;
constexpr int kOutputJpeg = 1021;
constexpr int kOutputBmp = 1022;
constexpr int kOutputTif8 = 1023;
constexpr int kOutputTif16 = 1024;
constexpr int kValidate = 1060;
constexpr int kToggleSafeArea = 1061;

}  // namespace guitest
