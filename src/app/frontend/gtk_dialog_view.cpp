// GTK 3 front-end: the update dialog's window, laid out as dialog template 102.
#include "app/frontend/gtk_dialog_view.h"

#include <gdk/gdkkeysyms.h>
#include <gdk/gdkx.h>

#include <cstdio>
#include <fstream>

#include "app/frontend/gtk_parts.h"
#include "app/status_line.h"
#include "app/update_dialog.h"
#include "env/texts.h"

namespace {

// Template 102 is 329 by 83 dialog units; at the usual 1.5 pixels per unit the
// bars are 274 units, the buttons 50 by 14.
constexpr int kBarWidth = 411;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 23;

GtkWidget* NewLabel(const char* text) {
  GtkWidget* label = gtk_label_new(text);
  gtk_label_set_xalign(GTK_LABEL(label), 0.0f);
  return label;
}

// The template's bars are 9 units high and bordered; GTK's default bar is a
// thin line.
constexpr char kBarStyle[] =
    "trough { min-height: 12px; border: 1px solid #9a9a9a; border-radius: 0; }"
    "progress { min-height: 12px; border-radius: 0; }";

GtkWidget* NewBar() {
  GtkWidget* bar = gtk_progress_bar_new();
  GtkCssProvider* style = gtk_css_provider_new();
  gtk_css_provider_load_from_data(style, kBarStyle, -1, nullptr);
  gtk_style_context_add_provider(gtk_widget_get_style_context(bar), GTK_STYLE_PROVIDER(style),
                                 GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
  g_object_unref(style);
  gtk_widget_set_size_request(bar, kBarWidth, -1);
  gtk_widget_set_hexpand(bar, TRUE);
  gtk_widget_set_valign(bar, GTK_ALIGN_CENTER);
  return bar;
}

GtkWidget* NewButton(const char* text) {
  GtkWidget* button = gtk_button_new_with_label(text);
  gtk_widget_set_size_request(button, kButtonWidth, kButtonHeight);
  return button;
}

}  // namespace

GtkDialogView::GtkDialogView(std::string caption) : m_szCaption(std::move(caption)) {}

GtkDialogView::~GtkDialogView() {
  if (m_nIdleSource) g_source_remove(m_nIdleSource);
  if (m_pWindow) gtk_widget_destroy(m_pWindow);
}

void GtkDialogView::BuildWindow() {
  m_pWindow = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(m_pWindow), texts::kDialogCaption);
  gtk_window_set_resizable(GTK_WINDOW(m_pWindow), FALSE);
  gtk_window_set_position(GTK_WINDOW(m_pWindow), GTK_WIN_POS_CENTER);
  gtk_widget_add_events(m_pWindow, GDK_BUTTON_PRESS_MASK);

  // Installed version (left) and latest version (right).
  m_pCurVer = NewLabel("");
  m_pNewVer = NewLabel("");
  GtkWidget* versions = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 16);
  gtk_box_set_homogeneous(GTK_BOX(versions), TRUE);
  gtk_box_pack_start(GTK_BOX(versions), m_pCurVer, TRUE, TRUE, 0);
  gtk_box_pack_start(GTK_BOX(versions), m_pNewVer, TRUE, TRUE, 0);

  // The status line and the two bars, each beside its label. A long status
  // text is cut off rather than widening the dialog.
  m_pStatus = NewLabel("");
  gtk_label_set_ellipsize(GTK_LABEL(m_pStatus), PANGO_ELLIPSIZE_END);
  gtk_label_set_width_chars(GTK_LABEL(m_pStatus), 1);
  gtk_label_set_max_width_chars(GTK_LABEL(m_pStatus), 1);
  gtk_widget_set_hexpand(m_pStatus, TRUE);
  m_pFileBar = NewBar();
  m_pTotalBar = NewBar();
  GtkWidget* grid = gtk_grid_new();
  gtk_grid_set_column_spacing(GTK_GRID(grid), 10);
  gtk_grid_set_row_spacing(GTK_GRID(grid), 8);
  gtk_grid_attach(GTK_GRID(grid), NewLabel(texts::kLabelState), 0, 0, 1, 1);
  gtk_grid_attach(GTK_GRID(grid), m_pStatus, 1, 0, 1, 1);
  gtk_grid_attach(GTK_GRID(grid), NewLabel(texts::kLabelCurrentFile), 0, 1, 1, 1);
  gtk_grid_attach(GTK_GRID(grid), m_pFileBar, 1, 1, 1, 1);
  gtk_grid_attach(GTK_GRID(grid), NewLabel(texts::kLabelTotal), 0, 2, 1, 1);
  gtk_grid_attach(GTK_GRID(grid), m_pTotalBar, 1, 2, 1, 1);

  // Update and Close; with only these two taking the focus, Tab alternates
  // between them as in the template's order.
  m_pUpdate = NewButton(texts::kButtonUpdate);
  m_pClose = NewButton(texts::kButtonClose);
  GtkWidget* buttons = gtk_button_box_new(GTK_ORIENTATION_HORIZONTAL);
  gtk_button_box_set_layout(GTK_BUTTON_BOX(buttons), GTK_BUTTONBOX_CENTER);
  gtk_box_set_spacing(GTK_BOX(buttons), 72);
  gtk_container_add(GTK_CONTAINER(buttons), m_pUpdate);
  gtk_container_add(GTK_CONTAINER(buttons), m_pClose);

  GtkWidget* content = gtk_box_new(GTK_ORIENTATION_VERTICAL, 10);
  gtk_container_set_border_width(GTK_CONTAINER(content), 12);
  gtk_box_pack_start(GTK_BOX(content), versions, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(content), grid, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(content), buttons, FALSE, FALSE, 4);
  gtk_container_add(GTK_CONTAINER(m_pWindow), content);

  // The window menu: a context menu on the dialog (right button, Shift+F10 or
  // the Menu key) holding the About item.
  m_pMenu = gtk_menu_new();
  GtkWidget* about = gtk_menu_item_new_with_mnemonic(GtkMnemonic(texts::kAboutMenuItem).c_str());
  gtk_menu_shell_append(GTK_MENU_SHELL(m_pMenu), about);
  gtk_widget_show_all(m_pMenu);
  gtk_menu_attach_to_widget(GTK_MENU(m_pMenu), m_pWindow, nullptr);

  g_signal_connect(m_pUpdate, "clicked", G_CALLBACK(OnUpdateClicked), this);
  g_signal_connect(m_pClose, "clicked", G_CALLBACK(OnCloseClicked), this);
  g_signal_connect(about, "activate", G_CALLBACK(OnAboutActivated), this);
  g_signal_connect(m_pWindow, "delete-event", G_CALLBACK(OnDeleteEvent), this);
  g_signal_connect(m_pWindow, "key-press-event", G_CALLBACK(OnKeyPress), this);
  g_signal_connect(m_pWindow, "button-press-event", G_CALLBACK(OnButtonPress), this);
  g_signal_connect(m_pWindow, "map-event", G_CALLBACK(OnMapEvent), this);
}

void GtkDialogView::RunModal(UpdateDialog& dialog) {
  m_pDialog = &dialog;
  BuildWindow();
  dialog.OnInitDialog();
  gtk_widget_show_all(m_pWindow);
  gtk_widget_grab_focus(m_pClose);
  WriteStateFile();
  m_bInLoop = true;
  gtk_main();
  gtk_widget_destroy(m_pWindow);
  m_pWindow = nullptr;
  m_pDialog = nullptr;
}

void GtkDialogView::UpdateTexts(DialogText) {
  gtk_label_set_text(GTK_LABEL(m_pStatus), WithoutLineEnd(m_pDialog->StatusText()).c_str());
  gtk_label_set_text(GTK_LABEL(m_pCurVer), m_pDialog->CurVerText().c_str());
  gtk_label_set_text(GTK_LABEL(m_pNewVer), m_pDialog->NewVerText().c_str());
}

void GtkDialogView::UpdateBars() {
  const ProgressModel& file = m_pDialog->FileProgress();
  const ProgressModel& total = m_pDialog->TotalProgress();
  gtk_progress_bar_set_fraction(GTK_PROGRESS_BAR(m_pFileBar), file.Fraction());
  gtk_progress_bar_set_fraction(GTK_PROGRESS_BAR(m_pTotalBar), total.Fraction());
  gtk_widget_set_visible(m_pFileBar, file.IsVisible());
  gtk_widget_set_visible(m_pTotalBar, total.IsVisible());
}

void GtkDialogView::EnableButtons(bool enable) {
  gtk_widget_set_sensitive(m_pUpdate, enable);
  gtk_widget_set_sensitive(m_pClose, enable);
  // Disabling took the focus away; give it back to Close.
  if (enable && !gtk_window_get_focus(GTK_WINDOW(m_pWindow))) gtk_widget_grab_focus(m_pClose);
}

void GtkDialogView::PostUpdateClick() {
  m_bClickPosted = true;
  if (m_bMapped && !m_nIdleSource) m_nIdleSource = g_idle_add(OnPostedClick, this);
}

int GtkDialogView::MessageBox(const std::string& text, unsigned type) {
  return RunGtkMessageBox(GTK_WINDOW(m_pWindow), m_szCaption, text, type);
}

void GtkDialogView::PumpMessage() { gtk_main_iteration_do(FALSE); }

platform::WindowId GtkDialogView::GetWindowId() const {
  GdkWindow* window = m_pWindow ? gtk_widget_get_window(m_pWindow) : nullptr;
  if (!window || !GDK_IS_X11_WINDOW(window)) return 0;
  return gdk_x11_window_get_xid(window);
}

void GtkDialogView::Cancel() {
  if (!m_bInLoop || m_pDialog->IsRunning()) return;
  m_bInLoop = false;
  gtk_main_quit();
}

void GtkDialogView::PopupWindowMenu(const GdkEvent* trigger) {
  if (trigger && trigger->type == GDK_BUTTON_PRESS) {
    gtk_menu_popup_at_pointer(GTK_MENU(m_pMenu), trigger);
  } else {
    gtk_menu_popup_at_widget(GTK_MENU(m_pMenu), m_pWindow, GDK_GRAVITY_NORTH_WEST,
                             GDK_GRAVITY_NORTH_WEST, trigger);
  }
}

void GtkDialogView::Click() {
  m_pDialog->OnUpdate();
  ++m_nClicks;
  WriteStateFile();
}

void GtkDialogView::WriteStateFile() const {
  const gchar* path = g_getenv("UPDATER_GUI_STATE_FILE");
  if (!path || !*path) return;
  GtkWidget* focus = gtk_window_get_focus(GTK_WINDOW(m_pWindow));
  const char* focusName = focus == m_pClose ? "close" : focus == m_pUpdate ? "update" : "none";
  std::string temp = std::string(path) + ".tmp";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out << "title=" << gtk_window_get_title(GTK_WINDOW(m_pWindow)) << "\n"
        << "current_version=" << gtk_label_get_text(GTK_LABEL(m_pCurVer)) << "\n"
        << "latest_version=" << gtk_label_get_text(GTK_LABEL(m_pNewVer)) << "\n"
        << "status=" << gtk_label_get_text(GTK_LABEL(m_pStatus)) << "\n"
        << "file_fraction=" << gtk_progress_bar_get_fraction(GTK_PROGRESS_BAR(m_pFileBar)) << "\n"
        << "total_fraction=" << gtk_progress_bar_get_fraction(GTK_PROGRESS_BAR(m_pTotalBar)) << "\n"
        << "update_sensitive=" << gtk_widget_get_sensitive(m_pUpdate) << "\n"
        << "close_sensitive=" << gtk_widget_get_sensitive(m_pClose) << "\n"
        << "focus=" << focusName << "\n"
        << "clicks=" << m_nClicks << "\n"
        << "window_id=" << GetWindowId() << "\n";
    if (!out) return;
  }
  std::rename(temp.c_str(), path);
}

void GtkDialogView::OnUpdateClicked(GtkButton*, gpointer self) {
  static_cast<GtkDialogView*>(self)->Click();
}

void GtkDialogView::OnCloseClicked(GtkButton*, gpointer self) {
  static_cast<GtkDialogView*>(self)->Cancel();
}

void GtkDialogView::OnAboutActivated(GtkMenuItem*, gpointer self) {
  RunAboutBox(GTK_WINDOW(static_cast<GtkDialogView*>(self)->m_pWindow));
}

gboolean GtkDialogView::OnDeleteEvent(GtkWidget*, GdkEvent*, gpointer self) {
  static_cast<GtkDialogView*>(self)->Cancel();
  return TRUE;  // the window is destroyed when the modal loop has ended
}

gboolean GtkDialogView::OnKeyPress(GtkWidget*, GdkEventKey* event, gpointer self) {
  GtkDialogView* view = static_cast<GtkDialogView*>(self);
  if (event->keyval == GDK_KEY_Escape) {
    view->Cancel();
    return TRUE;
  }
  bool shiftF10 = event->keyval == GDK_KEY_F10 && (event->state & GDK_SHIFT_MASK);
  if (shiftF10 || event->keyval == GDK_KEY_Menu) {
    view->PopupWindowMenu(reinterpret_cast<GdkEvent*>(event));
    return TRUE;
  }
  return FALSE;
}

gboolean GtkDialogView::OnButtonPress(GtkWidget*, GdkEventButton* event, gpointer self) {
  if (event->type != GDK_BUTTON_PRESS || event->button != GDK_BUTTON_SECONDARY) return FALSE;
  static_cast<GtkDialogView*>(self)->PopupWindowMenu(reinterpret_cast<GdkEvent*>(event));
  return TRUE;
}

gboolean GtkDialogView::OnMapEvent(GtkWidget*, GdkEvent*, gpointer self) {
  GtkDialogView* view = static_cast<GtkDialogView*>(self);
  view->m_bMapped = true;
  if (view->m_bClickPosted) view->PostUpdateClick();
  return FALSE;
}

gboolean GtkDialogView::OnPostedClick(gpointer self) {
  GtkDialogView* view = static_cast<GtkDialogView*>(self);
  view->m_nIdleSource = 0;
  view->m_bClickPosted = false;
  gtk_button_clicked(GTK_BUTTON(view->m_pUpdate));
  return G_SOURCE_REMOVE;
}
