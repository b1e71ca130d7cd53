// The updater's entry point: picks the front-end and runs the application.
// Windows: the Win32 dialog. Elsewhere GTK when a display can be opened, else
// the console; UPDATER_UI=console asks for the console on a desktop too.
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/updater_app.h"
#ifdef _WIN32
#include "app/frontend/win32_front_end.h"
#else
#include "app/frontend/console_front_end.h"
#include "app/frontend/gtk_front_end.h"
#endif

namespace {

std::unique_ptr<FrontEnd> ChooseFrontEnd() {
#ifdef _WIN32
  return CreateWin32FrontEnd();
#else
  std::unique_ptr<FrontEnd> frontEnd;
  const char* ui = std::getenv("UPDATER_UI");
  if (!ui || std::strcmp(ui, "console") != 0) frontEnd = OpenGtkFrontEnd();
  if (!frontEnd) frontEnd = CreateConsoleFrontEnd();
  return frontEnd;
#endif
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::unique_ptr<FrontEnd> frontEnd = ChooseFrontEnd();
  UpdaterApp app(std::move(args), *frontEnd);
  app.InitInstance();
  return 0;
}
