// GTK 3 front-end: start-up, message boxes and the About box.
#include "app/frontend/gtk_front_end.h"

#include "app/frontend/gtk_dialog_view.h"
#include "app/frontend/gtk_parts.h"
#include "app/mnemonic.h"
#include "env/main_window.h"
#include "env/texts.h"

namespace {

class GtkFrontEnd : public FrontEnd {
 public:
  GtkFrontEnd() {
    GdkPixbuf* icon = CreateAppIcon(48);
    gtk_window_set_default_icon(icon);
    g_object_unref(icon);
  }

  int MessageBox(const std::string& caption, const std::string& text, unsigned type) override {
    return RunGtkMessageBox(nullptr, caption, text, type);
  }

  std::unique_ptr<DialogView> CreateDialogView(const std::string& caption) override {
    return std::make_unique<GtkDialogView>(caption);
  }
};

// The icon-theme name of a message box's MB_ICON* icon; null for none.
const char* IconNameOf(unsigned type) {
  switch (type & 0xF0) {
    case kMbIconStop:
      return "dialog-error";
    case kMbIconQuestion:
      return "dialog-question";
    case 0x30:  // MB_ICONEXCLAMATION
      return "dialog-warning";
    case kMbIconInformation:
      return "dialog-information";
    default:
      return nullptr;
  }
}

}  // namespace

std::unique_ptr<FrontEnd> OpenGtkFrontEnd() {
  // Window messages between programs go through X11, so the dialog must be an
  // X11 window too (XWayland on a Wayland desktop).
  gdk_set_allowed_backends("x11");
  if (!gtk_init_check(nullptr, nullptr)) return nullptr;
  return std::make_unique<GtkFrontEnd>();
}

std::string GtkMnemonic(const char* label) { return ConvertMnemonic(label, '_'); }

int RunGtkMessageBox(GtkWindow* parent, const std::string& caption, const std::string& text,
                     unsigned type) {
  bool question = (type & 0xF) == kMbAbortRetryIgnore;
  GtkWidget* box = gtk_dialog_new();
  gtk_window_set_title(GTK_WINDOW(box), caption.c_str());
  gtk_window_set_modal(GTK_WINDOW(box), TRUE);
  gtk_window_set_resizable(GTK_WINDOW(box), FALSE);
  if (parent) {
    gtk_window_set_transient_for(GTK_WINDOW(box), parent);
    gtk_window_set_position(GTK_WINDOW(box), GTK_WIN_POS_CENTER_ON_PARENT);
  } else {
    gtk_window_set_position(GTK_WINDOW(box), GTK_WIN_POS_CENTER);
  }

  GtkWidget* row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 16);
  gtk_container_set_border_width(GTK_CONTAINER(row), 16);
  if (const char* icon = IconNameOf(type)) {
    GtkWidget* image = gtk_image_new_from_icon_name(icon, GTK_ICON_SIZE_DIALOG);
    gtk_widget_set_valign(image, GTK_ALIGN_START);
    gtk_box_pack_start(GTK_BOX(row), image, FALSE, FALSE, 0);
  }
  GtkWidget* label = gtk_label_new(text.c_str());
  gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
  gtk_label_set_max_width_chars(GTK_LABEL(label), 60);
  gtk_label_set_xalign(GTK_LABEL(label), 0.0f);
  gtk_box_pack_start(GTK_BOX(row), label, TRUE, TRUE, 0);
  gtk_box_pack_start(GTK_BOX(gtk_dialog_get_content_area(GTK_DIALOG(box))), row, TRUE, TRUE, 0);

  if (question) {
    gtk_dialog_add_button(GTK_DIALOG(box), GtkMnemonic(texts::kButtonAbort).c_str(), kIdAbort);
    gtk_dialog_add_button(GTK_DIALOG(box), GtkMnemonic(texts::kButtonRetry).c_str(), kIdRetry);
    gtk_dialog_add_button(GTK_DIALOG(box), GtkMnemonic(texts::kButtonIgnore).c_str(), kIdIgnore);
    gtk_dialog_set_default_response(GTK_DIALOG(box), kIdAbort);
  } else {
    gtk_dialog_add_button(GTK_DIALOG(box), texts::kButtonOk, kIdOk);
    gtk_dialog_set_default_response(GTK_DIALOG(box), kIdOk);
  }
  gtk_widget_show_all(box);
  int response = gtk_dialog_run(GTK_DIALOG(box));
  gtk_widget_destroy(box);
  if (question) {
    // Closing the box without choosing stops, as Ignore does.
    return response == kIdAbort || response == kIdRetry ? response : kIdIgnore;
  }
  return kIdOk;
}

void RunAboutBox(GtkWindow* parent) {
  GtkWidget* about = gtk_dialog_new_with_buttons(texts::kAboutCaption, parent, GTK_DIALOG_MODAL,
                                                 texts::kButtonOk, GTK_RESPONSE_OK, nullptr);
  gtk_dialog_set_default_response(GTK_DIALOG(about), GTK_RESPONSE_OK);
  gtk_window_set_resizable(GTK_WINDOW(about), FALSE);

  GdkPixbuf* icon = CreateAppIcon(32);
  GtkWidget* image = gtk_image_new_from_pixbuf(icon);
  g_object_unref(icon);
  gtk_widget_set_valign(image, GTK_ALIGN_START);

  GtkWidget* lines = gtk_box_new(GTK_ORIENTATION_VERTICAL, 8);
  for (const char* text : {texts::kAboutVersion, texts::kAboutSecondLine}) {
    GtkWidget* label = gtk_label_new(text);
    gtk_label_set_xalign(GTK_LABEL(label), 0.0f);
    gtk_box_pack_start(GTK_BOX(lines), label, FALSE, FALSE, 0);
  }

  GtkWidget* row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 16);
  gtk_container_set_border_width(GTK_CONTAINER(row), 12);
  gtk_box_pack_start(GTK_BOX(row), image, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(row), lines, TRUE, TRUE, 0);
  gtk_box_pack_start(GTK_BOX(gtk_dialog_get_content_area(GTK_DIALOG(about))), row, TRUE, TRUE, 0);

  gtk_widget_show_all(about);
  gtk_dialog_run(GTK_DIALOG(about));
  gtk_widget_destroy(about);
}
