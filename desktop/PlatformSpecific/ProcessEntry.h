#pragma once
// The process entry of the desktop program: hands the process arguments to
// the toolkit, which initialises itself, creates the application object
// through the registered factory and runs the event loop.

int runDesktopProgram(int argc, char** argv);
