// GTK 3 front-end: the update dialog's window.
#pragma once

#include <gtk/gtk.h>

#include <string>

#include "app/dialog_view.h"

class GtkDialogView : public DialogView {
 public:
  // `caption`: the title of its message boxes.
  explicit GtkDialogView(std::string caption);
  ~GtkDialogView() override;
  GtkDialogView(const GtkDialogView&) = delete;
  GtkDialogView& operator=(const GtkDialogView&) = delete;

  void RunModal(UpdateDialog& dialog) override;
  void UpdateTexts(DialogText changed) override;
  void UpdateBars() override;
  bool HasUpdateButton() const override { return m_pUpdate != nullptr; }
  void EnableButtons(bool enable) override;
  void PostUpdateClick() override;
  void EndDialog() override { Cancel(); }
  int MessageBox(const std::string& text, unsigned type) override;
  // One non-blocking iteration of the GTK main loop.
  void PumpMessage() override;
  // The X11 window of the toplevel; 0 on other GDK back-ends.
  platform::WindowId GetWindowId() const override;

 private:
  void BuildWindow();
  // Close and Esc: the dialog's cancel command, refused while a run is in
  // progress.
  void Cancel();
  void PopupWindowMenu(const GdkEvent* trigger);
  void Click();
  // Writes what the window shows to $UPDATER_GUI_STATE_FILE, when set.
  void WriteStateFile() const;

  static void OnUpdateClicked(GtkButton*, gpointer self);
  static void OnCloseClicked(GtkButton*, gpointer self);
  static void OnAboutActivated(GtkMenuItem*, gpointer self);
  static gboolean OnDeleteEvent(GtkWidget*, GdkEvent*, gpointer self);
  static gboolean OnKeyPress(GtkWidget*, GdkEventKey* event, gpointer self);
  static gboolean OnButtonPress(GtkWidget*, GdkEventButton* event, gpointer self);
  static gboolean OnMapEvent(GtkWidget*, GdkEvent*, gpointer self);
  static gboolean OnPostedClick(gpointer self);

  std::string m_szCaption;
  UpdateDialog* m_pDialog = nullptr;
  GtkWidget* m_pWindow = nullptr;
  GtkWidget* m_pCurVer = nullptr;
  GtkWidget* m_pNewVer = nullptr;
  GtkWidget* m_pStatus = nullptr;
  GtkWidget* m_pFileBar = nullptr;
  GtkWidget* m_pTotalBar = nullptr;
  GtkWidget* m_pUpdate = nullptr;
  GtkWidget* m_pClose = nullptr;
  GtkWidget* m_pMenu = nullptr;
  bool m_bMapped = false;
  bool m_bClickPosted = false;
  bool m_bInLoop = false;
  guint m_nIdleSource = 0;
  int m_nClicks = 0;
};
