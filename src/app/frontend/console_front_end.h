// The console front-end: the update dialog on standard output and input, for
// machines without a display (or UPDATER_UI=console).
#pragma once

#include <memory>

#include "app/dialog_view.h"

std::unique_ptr<FrontEnd> CreateConsoleFrontEnd();
