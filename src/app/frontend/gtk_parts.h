// Pieces the GTK front-end's files share.
#pragma once

#include <gtk/gtk.h>

#include <string>

// A modal message box over `parent` (may be null) with the MB_* `type`;
// returns the IDOK/IDABORT/IDRETRY/IDIGNORE of the answer.
int RunGtkMessageBox(GtkWindow* parent, const std::string& caption, const std::string& text,
                     unsigned type);

// The About box, modal over `parent`.
void RunAboutBox(GtkWindow* parent);

// The application icon, drawn at `size` pixels; the caller owns the reference.
GdkPixbuf* CreateAppIcon(int size);

// A "&" label as a GTK mnemonic label.
std::string GtkMnemonic(const char* label);
