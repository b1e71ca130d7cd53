// The updater's entry point: picks the front-end and runs the application.
// GTK when a display can be opened, else the console; UPDATER_UI=console asks
// for the console on a desktop too.
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/frontend/console_front_end.h"
#include "app/frontend/gtk_front_end.h"
#include "app/updater_app.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::unique_ptr<FrontEnd> frontEnd;
  const char* ui = std::getenv("UPDATER_UI");
  if (!ui || std::strcmp(ui, "console") != 0) frontEnd = OpenGtkFrontEnd();
  if (!frontEnd) frontEnd = CreateConsoleFrontEnd();
  UpdaterApp app(std::move(args), *frontEnd);
  app.InitInstance();
  return 0;
}
