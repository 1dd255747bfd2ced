// SPDX-License-Identifier: MIT
#pragma once
// The program's one window, TfrmModule, and its single instance frmModule.
//
// Every control is a public member named by kind and role (btn button, pn
// panel, lbl label, cmb drop-down list, sb scroll bar, chk check box, tmr
// timer, sh shape, gb group box, pc page control, ts page). The handlers are
// the form's (form_panel.h), named after control and event; the window
// routes its widgets' signals to them.
//
// Window states: idle; busy (SetBusy: the lamp blinks red and yellow every
// 200 ms and the window is disabled); wait (EnterWaitState: hourglass and
// disabled window, steady lamp). The window closes only through btnExit,
// which closes the program's other windows with it.
//
// A disabled window takes no input (an event filter drops every press of a
// mouse button or key, the wheel and shortcuts; releases pass and act on
// nothing) but keeps its look: the controls are not greyed out, the lamp is
// the busy sign. A control that an operation disables itself (the
// lock of Wiegand processing) is disabled the toolkit's way and greyed out.
// Input queued while a module operation ran is dropped when it ends
// (FormPanel::RunOperationHandler).

#include <QColor>
#include <QComboBox>
#include <QCheckBox>
#include <QGroupBox>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QWidget>
#include <array>
#include <memory>
#include <optional>
#include <string>

#include "controls.h"
#include "form_panel.h"
#include "trace_window.h"

class TfrmModule : public QWidget, public form::FormPanel {
  Q_OBJECT

 public:
  explicit TfrmModule(QWidget* parent = nullptr);

  // Ctrl+T: shows the frame trace view, made on first use.
  void OpenTraceView();
  TfrmTrace* TraceView() const { return frmTrace_.get(); }
  // Whether the window takes input: false in the busy and wait states
  // (Wiegand processing enables it again at once). The window keeps its
  // look either way; isEnabled() stays true.
  bool IsWindowEnabled() const { return !inputBlocked_; }

  static const QColor kRed;
  static const QColor kYellow;
  void SetLamp(const QColor& color);
  // The application's cursor: the hourglass, or back to the default.
  static void ShowHourglass(bool on);
  // A catalogue text (code-page bytes of the current language) for a caption.
  static QString Display(const std::string& bytes);

  // The operator panel (form_panel.h): what Qt does its own way.
  using form::FormPanel::SetLamp;
  void SetHourglass(bool on) override;
  void BeginProcessCaption(const std::string& bytes) override;
  void EndProcessCaption() override;

  TPanel* pnMsg;
  TLamp* shComm;
  TPanel* pnSerial;
  TPanel* pnVersion;
  QPushButton* btnScan;
  QLabel* lblID;
  TPanel* pnID;
  QScrollBar* sbID;
  QLabel* lblID2;
  TPanel* pnID2;
  QScrollBar* sbID2;
  QPushButton* btnID;
  QLabel* lblBaudRate;
  QComboBox* cmbBaudRate;
  QCheckBox* chkLock;
  TPanel* pnKey;
  QScrollBar* sbKey;
  QPushButton* btnBaudRate;
  QPushButton* btnKey;
  QComboBox* cmbMode;
  QComboBox* cmbRS485;
  QPushButton* btnMode;
  TPanel* pnWie1;
  TPanel* pnWie2;
  QPushButton* btnProcess;
  QGroupBox* gbDefault;
  QTabWidget* pcDefault;
  QWidget* tsDefault;
  QToolButton* btnFactory;
  QPushButton* btnEng;
  QPushButton* btnGB;
  QPushButton* btnBIG5;
  QPushButton* btnExit;
  TPanel* pnTAVIX;
  QTimer* tmrBusy;

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  // Drops input to this window while it is disabled, and notes when
  // btnProcess was pressed.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // The form's view of the window and its hooks (form_panel.h).
  FORM_PANEL_TOOLKIT_MEMBERS

  // Names a control after its table entry, places it, and keeps it for the
  // shared steps.
  template <class Control>
  Control* Placed(Control* control, form::FormControl entry);
  QWidget* Widget(form::FormControl control) const { return widgets_[static_cast<int>(control)]; }

  // A control of the table's kind, made as the table describes it.
  TPanel* Panel(form::FormControl control);
  QLabel* Label(form::FormControl control);
  QScrollBar* ScrollBar(form::FormControl control);
  QComboBox* List(form::FormControl control);
  QPushButton* Button(form::FormControl control);
  void CreateStatusControls();
  void CreateIdControls();
  void CreateLineControls();
  void CreateModeControls();
  void CreateQuickSetting();
  void CreateLanguageControls();
  void ConnectHandlers();
  void SetTabOrder();
  // Whether an event belongs to this window's own input: its widgets, its
  // window-system window and its shortcuts (not its dialogs).
  bool OwnInput(QObject* receiver) const;
  void CentreOnScreen();

  bool shown_ = false;
  // The window disabled: input to it is dropped.
  bool inputBlocked_ = false;
  // The input time of the last press on btnProcess not yet taken by its
  // click.
  std::optional<quint64> processPressAt_;
  // btnProcess's caption while processing runs, put back at its end.
  QString savedProcessCaption_;
  std::unique_ptr<TfrmTrace> frmTrace_;
  std::array<QWidget*, form::kFormControlCount> widgets_{};
};

extern TfrmModule* frmModule;
