// The Win32 front-end: the update dialog from its resource template, with the
// progress-bar common control and message boxes owned by the dialog.
#pragma once

#include <memory>

#include "app/dialog_view.h"

std::unique_ptr<FrontEnd> CreateWin32FrontEnd();
