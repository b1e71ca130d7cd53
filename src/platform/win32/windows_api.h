// For Windows: <windows.h> for the Win32 back-end, without the A/W macros
// whose names the portable interfaces use for their own operations
// (Fs::DeleteFile, WindowMessages::SendMessage, MainWindow::MessageBox...).
// The back-end calls the ANSI functions by their full names.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#undef CopyFile
#undef DeleteFile
#undef MoveFile
#undef FindWindow
#undef SendMessage
#undef PostMessage
#undef MessageBox
#undef GetMessage
