// GTK 3 front-end: start-up, message boxes and the About box.
#include "app/frontend/gtk_front_end.h"

#include "app/frontend/gtk_dialog_view.h"
#include "app/frontend/gtk_parts.h"
#include "app/main_window.h"
#include "app/mnemonic.h"
#include "app/texts.h"

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

GtkMessageType MessageTypeOf(unsigned type) {
  switch (type & 0xF0) {
    case kMbIconStop:
      return GTK_MESSAGE_ERROR;
    case kMbIconQuestion:
      return GTK_MESSAGE_QUESTION;
    case 0x30:  // MB_ICONEXCLAMATION
      return GTK_MESSAGE_WARNING;
    case kMbIconInformation:
      return GTK_MESSAGE_INFO;
    default:
      return GTK_MESSAGE_OTHER;
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
  GtkWidget* box =
      gtk_message_dialog_new(parent, GTK_DIALOG_MODAL, MessageTypeOf(type),
                             question ? GTK_BUTTONS_NONE : GTK_BUTTONS_OK, "%s", text.c_str());
  gtk_window_set_title(GTK_WINDOW(box), caption.c_str());
  if (question) {
    gtk_dialog_add_button(GTK_DIALOG(box), GtkMnemonic(texts::kButtonAbort).c_str(), kIdAbort);
    gtk_dialog_add_button(GTK_DIALOG(box), GtkMnemonic(texts::kButtonRetry).c_str(), kIdRetry);
    gtk_dialog_add_button(GTK_DIALOG(box), GtkMnemonic(texts::kButtonIgnore).c_str(), kIdIgnore);
    gtk_dialog_set_default_response(GTK_DIALOG(box), kIdAbort);
  }
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
