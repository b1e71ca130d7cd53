// The GTK 3 front-end: the update dialog as a GTK window.
#pragma once

#include <memory>

#include "app/dialog_view.h"

// Null when no display can be opened. The command line is left to the
// updater: GTK parses none of it.
std::unique_ptr<FrontEnd> OpenGtkFrontEnd();
