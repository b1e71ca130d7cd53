#include "env/main_window.h"

MainWindow* g_pMainWnd = nullptr;
