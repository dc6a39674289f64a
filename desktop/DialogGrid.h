#pragma once
// The grid every dialog lays its controls out in: a grid-bag grid without
// gaps between cells, flexible both ways, whose cells grow only where they
// ask to.

class wxGridBagSizer;

wxGridBagSizer* newDialogGrid();
