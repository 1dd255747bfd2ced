// SPDX-License-Identifier: MIT
#include "main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QScreen>
#include <QShortcut>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QStyle>
#include <QStyleHints>
#include <QWindow>
#include <array>
#include <cstdio>
#include <utility>

#include "catalogue.h"
#include "codepage.h"
#include "form_colours.h"
#include "messages.h"
#include "pictures.h"
#include "settings_store.h"

TfrmModule* frmModule = nullptr;

using namespace form;

const QColor TfrmModule::kRed(255, 0, 0);
const QColor TfrmModule::kYellow(255, 255, 0);

namespace {
using C = FormControl;

QColor SystemColor(QPalette::ColorRole role) { return QApplication::palette().color(role); }
QColor ButtonFace() { return SystemColor(QPalette::Button); }
QColor Highlight() { return SystemColor(QPalette::Highlight); }

QColor ColourOf(const Colour& colour) {
  switch (colour.role) {
    case ColourRole::ButtonFace: return ButtonFace();
    case ColourRole::Highlight: return Highlight();
    // The platform offers no title-bar colour of its own; a darker highlight
    // keeps the status panel apart from the value panels in every scheme.
    case ColourRole::ActiveCaption: return Highlight().darker(150);
    case ColourRole::ButtonText: return SystemColor(QPalette::ButtonText);
    case ColourRole::Fixed: break;
  }
  return QColor(colour.rgb.r, colour.rgb.g, colour.rgb.b);
}

QColor QColorOf(Rgb rgb) { return QColor(rgb.r, rgb.g, rgb.b); }
Rgb RgbOf(const QColor& colour) {
  return {static_cast<uint8_t>(colour.red()), static_cast<uint8_t>(colour.green()), static_cast<uint8_t>(colour.blue())};
}

// The application's palette as the form's colour scheme. Qt tells of no
// high-contrast scheme; its palette is taken as it is.
ColourScheme SchemeNow() {
  ColourScheme scheme;
  scheme.buttonFace = RgbOf(ButtonFace());
  scheme.buttonText = RgbOf(SystemColor(QPalette::ButtonText));
  scheme.highlight = RgbOf(Highlight());
  scheme.highlightText = RgbOf(SystemColor(QPalette::HighlightedText));
  scheme.activeCaption = RgbOf(ColourOf(Colour{ColourRole::ActiveCaption, {}}));
  scheme.captionText = scheme.highlightText;
  scheme.grayText = RgbOf(QApplication::palette().color(QPalette::Disabled, QPalette::Text));
  return scheme;
}

// A control's text and background, made readable on the palette as the
// Win32 window makes them on its scheme (form_colours.h).
TextColours ReadableColours(C control) { return ControlColours(control, SchemeNow()); }

QFont FontOf(C control) { return UiFont(RowOf(control).font.pixelSize, RowOf(control).font.bold); }
QString LayoutText(C control) { return QString::fromLatin1(RowOf(control).layoutText); }

QRect PlaceOf(C control) {
  const Place& place = RowOf(control).place;
  return {place.left, place.top, place.width, place.height};
}

QStringList Items(C list) {
  QStringList items;
  for (const char* item : ListItems(list)) items << QString::fromLatin1(item);
  return items;
}

// The input that a disabled window drops: whatever starts an action, the
// press of a mouse button, a key, a finger or a pen, a double click, the
// wheel, a shortcut, a context menu. Releases and moves pass: without their
// press they act on nothing, and a press taken before (a scroll bar's arrow
// held down) still ends.
bool IsInput(QEvent::Type type) {
  switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TabletPress: return true;
    default: return false;
  }
}

bool IsPress(QEvent::Type type) {
  return type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick || type == QEvent::KeyPress;
}

QPixmap PictureOf(Picture picture) {
  switch (picture) {
    case Picture::Scan: return ScanPicture();
    case Picture::Id: return IdPicture();
    case Picture::BaudRate: return BaudRatePicture();
    case Picture::Mode: return ModePicture();
    case Picture::Process: return ProcessPicture();
    case Picture::Factory: return FactoryPicture();
    case Picture::Gb: return GbPicture();
    case Picture::Big5: return Big5Picture();
    case Picture::Close:
      return QApplication::style()->standardIcon(QStyle::SP_DialogCloseButton).pixmap(16, 16);
    case Picture::None: break;
  }
  return {};
}
}  // namespace

template <class Control>
Control* TfrmModule::Placed(Control* control, FormControl entry) {
  control->setObjectName(QString::fromLatin1(RowOf(entry).name));
  control->setGeometry(PlaceOf(entry));
  widgets_[static_cast<int>(entry)] = control;
  return control;
}

namespace {
// The font of a control that differs from the window's.
void ApplyOwnFont(QWidget* widget, C control) {
  const FontSpec& font = RowOf(control).font;
  const FontSpec& window = RowOf(C::frmModule).font;
  if (font.pixelSize != window.pixelSize || font.bold != window.bold) widget->setFont(FontOf(control));
}
}  // namespace

TfrmModule::TfrmModule(QWidget* parent) : QWidget(parent) {
  setObjectName(QString::fromLatin1(RowOf(C::frmModule).name));
  widgets_[static_cast<int>(C::frmModule)] = this;
  // Title, system menu and minimise box only: no maximise box, and no close
  // box where the window manager honours it. closeEvent refuses the rest.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint);
  setFixedSize(kClientWidth, kClientHeight);
  setFont(FontOf(C::frmModule));
  QPalette colors = palette();
  colors.setColor(QPalette::Window, ColourOf(RowOf(C::frmModule).background));
  setPalette(colors);
  setWindowTitle(Display(LayoutCaption(C::frmModule)));
  setWindowIcon(QIcon(WindowIconPicture()));

  CreateStatusControls();
  CreateIdControls();
  CreateLineControls();
  CreateModeControls();
  CreateQuickSetting();
  CreateLanguageControls();
  tmrBusy = new QTimer(this);
  tmrBusy->setObjectName(QString::fromLatin1(RowOf(C::tmrBusy).name));
  tmrBusy->setInterval(kBlinkMs);
  ConnectHandlers();
  SetTabOrder();
  // A window shortcut, so that Ctrl+T reaches the window whatever control
  // has the focus (a list would take it for a search key).
  auto* traceKey = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_T), this);
  connect(traceKey, &QShortcut::activated, this, &TfrmModule::OpenTraceView);
  QCoreApplication::instance()->installEventFilter(this);
  FormCreate();
}

TPanel* TfrmModule::Panel(C control) {
  const ControlRow& row = RowOf(control);
  auto* panel = Placed(new TPanel(row.container == C::frmModule ? this : Widget(row.container)), control);
  const TextColours colours = ReadableColours(control);
  panel->SetColors(QColorOf(colours.text), QColorOf(colours.background));
  ApplyOwnFont(panel, control);
  panel->SetCaption(LayoutCaption(control));
  return panel;
}

QLabel* TfrmModule::Label(C control) {
  auto* label = Placed(new QLabel(LayoutText(control), this), control);
  label->setTextFormat(Qt::PlainText);
  label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  ApplyOwnFont(label, control);
  return label;
}

QScrollBar* TfrmModule::ScrollBar(C control) {
  const ControlRow& row = RowOf(control);
  auto* bar = Placed(new TScrollBar(Qt::Horizontal, this), control);
  bar->setRange(row.minimum, row.maximum);
  bar->setValue(row.position);
  bar->setSingleStep(1);
  bar->setPageStep(kScrollPageStep);
  // The keys move a focused bar, so IDs and key count need no mouse.
  bar->setFocusPolicy(Qt::StrongFocus);
  return bar;
}

QComboBox* TfrmModule::List(C control) {
  auto* list = Placed(new QComboBox(this), control);
  list->setEditable(false);
  list->addItems(Items(control));
  const TextColours colours = ReadableColours(control);
  const QColor text = QColorOf(colours.text), background = QColorOf(colours.background);
  QPalette colors = list->palette();
  for (QPalette::ColorRole role : {QPalette::Button, QPalette::Base, QPalette::Window})
    colors.setColor(role, background);
  for (QPalette::ColorRole role : {QPalette::ButtonText, QPalette::Text, QPalette::WindowText})
    colors.setColor(role, text);
  list->setPalette(colors);
  // The open list shows its items as the closed one does; the item under
  // the pointer is drawn in the colours swapped.
  colors.setColor(QPalette::Highlight, text);
  colors.setColor(QPalette::HighlightedText, background);
  list->view()->setPalette(colors);
  list->view()->setFont(FontOf(control));
  for (int item = 0; item < list->count(); ++item) {
    list->setItemData(item, QBrush(text), Qt::ForegroundRole);
    list->setItemData(item, QBrush(background), Qt::BackgroundRole);
    list->setItemData(item, FontOf(control), Qt::FontRole);
  }
  return list;
}

QPushButton* TfrmModule::Button(C control) {
  const ControlRow& row = RowOf(control);
  auto* button = Placed(new QPushButton(LayoutText(control), this), control);
  const QPixmap picture = PictureOf(row.picture);
  if (!picture.isNull()) {
    QIcon icon(picture);
    // A picture of characters stays readable while disabled: dimmed, not
    // turned grey.
    if (row.picture == Picture::Gb || row.picture == Picture::Big5)
      icon.addPixmap(DimmedPicture(picture), QIcon::Disabled);
    button->setIcon(icon);
    button->setIconSize(picture.size());
  }
  ApplyOwnFont(button, control);
  return button;
}

void TfrmModule::CreateStatusControls() {
  pnMsg = Panel(C::pnMsg);
  pnMsg->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  shComm = Placed(new TLamp(pnMsg), C::shComm);
  shComm->SetColor(ColourOf(RowOf(C::shComm).background));
  pnSerial = Panel(C::pnSerial);
  pnVersion = Panel(C::pnVersion);
  btnScan = Button(C::btnScan);
}

void TfrmModule::CreateIdControls() {
  lblID = Label(C::lblID);
  pnID = Panel(C::pnID);
  sbID = ScrollBar(C::sbID);
  lblID2 = Label(C::lblID2);
  pnID2 = Panel(C::pnID2);
  sbID2 = ScrollBar(C::sbID2);
  btnID = Button(C::btnID);
}

void TfrmModule::CreateLineControls() {
  lblBaudRate = Label(C::lblBaudRate);
  cmbBaudRate = List(C::cmbBaudRate);
  // Too narrow for its text to show, as laid out.
  chkLock = Placed(new QCheckBox(LayoutText(C::chkLock), this), C::chkLock);
  chkLock->setChecked(RowOf(C::chkLock).position != 0);
  pnKey = Panel(C::pnKey);
  sbKey = ScrollBar(C::sbKey);
  btnBaudRate = Button(C::btnBaudRate);
  btnKey = Button(C::btnKey);
}

void TfrmModule::CreateModeControls() {
  cmbMode = List(C::cmbMode);
  cmbRS485 = List(C::cmbRS485);
  btnMode = Button(C::btnMode);
  pnWie1 = Panel(C::pnWie1);
  pnWie2 = Panel(C::pnWie2);
  btnProcess = Button(C::btnProcess);
}

void TfrmModule::CreateQuickSetting() {
  gbDefault = Placed(new QGroupBox(LayoutText(C::gbDefault), this), C::gbDefault);
  pcDefault = Placed(new TPageControl(gbDefault), C::pcDefault);
  pcDefault->setFont(FontOf(C::pcDefault));
  tsDefault = new QWidget;
  tsDefault->setObjectName(QString::fromLatin1(RowOf(C::tsDefault).name));
  widgets_[static_cast<int>(C::tsDefault)] = tsDefault;
  pcDefault->addTab(tsDefault, LayoutText(C::tsDefault));
  btnFactory = Placed(new QToolButton(tsDefault), C::btnFactory);
  btnFactory->setFont(FontOf(C::btnFactory));
  btnFactory->setText(LayoutText(C::btnFactory));
  btnFactory->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
  const QPixmap picture = PictureOf(RowOf(C::btnFactory).picture);
  btnFactory->setIcon(QIcon(picture));
  btnFactory->setIconSize(picture.size());
}

void TfrmModule::CreateLanguageControls() {
  btnEng = Button(C::btnEng);
  // Its own colour while it can be pressed; the style's own grey when
  // disabled.
  QPalette red = btnEng->palette();
  const QColor text = QColorOf(ReadableColours(C::btnEng).text);
  red.setColor(QPalette::Active, QPalette::ButtonText, text);
  red.setColor(QPalette::Inactive, QPalette::ButtonText, text);
  btnEng->setPalette(red);
  btnGB = Button(C::btnGB);
  btnBIG5 = Button(C::btnBIG5);
  btnExit = Button(C::btnExit);
  pnTAVIX = Panel(C::pnTAVIX);
}

void TfrmModule::ConnectHandlers() {
  for (const ControlRow& row : FormControls()) {
    const FormControl control = row.control;
    // The buttons of a disabled window cannot be clicked, not even by the
    // program.
    if (HasClickHandler(control)) {
      connect(static_cast<QAbstractButton*>(Widget(control)), &QAbstractButton::clicked, this, [this, control] {
        if (!inputBlocked_) RunHandler([this, control] { Click(control); });
      });
    }
    // valueChanged fires only when the position really changes.
    if (row.kind == ControlKind::ScrollBar) {
      connect(static_cast<QScrollBar*>(Widget(control)), &QScrollBar::valueChanged, this,
              [this, control] { RunHandler([this, control] { BarChanged(control); }); });
    }
  }
  connect(tmrBusy, &QTimer::timeout, this, [this] { RunHandler([this] { tmrBusyTimer(); }); });
}

void TfrmModule::SetTabOrder() {
  // The page control's one fixed page offers nothing to choose: its tab
  // takes no focus.
  pcDefault->tabBar()->setFocusPolicy(Qt::NoFocus);
  const std::vector<FormControl> order = TabOrder();
  for (size_t i = 1; i < order.size(); ++i) setTabOrder(Widget(order[i - 1]), Widget(order[i]));
}

// In a message box, in the application's name.
void TfrmModule::ShowHandlerException(const char* what) {
  QMessageBox::critical(QApplication::activeWindow(), QApplication::applicationName(),
                        QString::fromLocal8Bit(what));
}

int TfrmModule::BarPosition(FormControl bar) const { return static_cast<QScrollBar*>(Widget(bar))->value(); }

void TfrmModule::CloseWindow() { close(); }

std::optional<uint32_t> TfrmModule::ProcessClickTime() {
  const std::optional<quint64> pressedAt = std::exchange(processPressAt_, std::nullopt);
  if (!pressedAt) return std::nullopt;
  return static_cast<uint32_t>(*pressedAt);
}

uint32_t TfrmModule::DoubleClickMs() const {
  return static_cast<uint32_t>(QGuiApplication::styleHints()->mouseDoubleClickInterval());
}

void TfrmModule::SetLamp(const QColor& color) { shComm->SetColor(color); }

void TfrmModule::ShowHourglass(bool on) {
  if (on) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    return;
  }
  while (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
}

QString TfrmModule::Display(const std::string& bytes) {
  return QString::fromStdString(catalogue::DecodeToUtf8(bytes, catalogue::CurrentCodePage()));
}

void TfrmModule::showEvent(QShowEvent* event) {
  // Only the first show applies the texts; restoring from the minimised
  // state shows the window again without touching them.
  if (!shown_ && !event->spontaneous()) {
    shown_ = true;
    CentreOnScreen();
    FormShow();
  }
  QWidget::showEvent(event);
}

void TfrmModule::CentreOnScreen() {
  const QScreen* target = screen() ? screen() : QGuiApplication::primaryScreen();
  if (!target) return;
  move(target->availableGeometry().center() - rect().center());
}

void TfrmModule::closeEvent(QCloseEvent* event) {
  if (!CloseAllowed()) {
    event->ignore();
    return;
  }
  event->accept();
  // The program ends with this window: its other windows (the frame trace)
  // close with it, and the last window closed ends the message loop.
  for (QWidget* window : QApplication::topLevelWidgets())
    if (window != this && window->isVisible()) window->close();
}

void TfrmModule::OpenTraceView() {
  if (!frmTrace_) frmTrace_ = std::make_unique<TfrmTrace>(WindowConnection());
  frmTrace_->show();
  frmTrace_->raise();
}

bool TfrmModule::OwnInput(QObject* receiver) const {
  if (receiver->isWidgetType()) return static_cast<QWidget*>(receiver)->window() == this;
  if (receiver->isWindowType()) return receiver == windowHandle();
  return receiver->parent() == this;  // the shortcut
}

bool TfrmModule::eventFilter(QObject* watched, QEvent* event) {
  if (!IsInput(event->type()) || !OwnInput(watched)) return false;
  if (inputBlocked_) return true;
  if (watched == btnProcess && IsPress(event->type()))
    processPressAt_ = static_cast<QInputEvent*>(event)->timestamp();
  return false;
}

void TfrmModule::keyPressEvent(QKeyEvent* event) {
  // Ctrl+T sent to the window itself, not through the shortcut.
  if (event->key() == Qt::Key_T && event->modifiers() == Qt::ControlModifier) {
    OpenTraceView();
    event->accept();
    return;
  }
  if (event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter) {
    QWidget::keyPressEvent(event);
    return;
  }
  QWidget* focus = focusWidget();
  std::optional<FormControl> focused;
  for (const ControlRow& row : FormControls())
    if (focus && Widget(row.control) == focus) focused = row.control;
  const FormControl pressed = EnterButton(focused, focus && focus->isEnabled());
  static_cast<QAbstractButton*>(Widget(pressed))->click();
  event->accept();
}

// ---------------------------------------------------------------------------
// The operator panel.

void TfrmModule::SetHourglass(bool on) { ShowHourglass(on); }

void TfrmModule::BeginProcessCaption(const std::string& bytes) {
  savedProcessCaption_ = btnProcess->text();
  btnProcess->setText(Display(bytes));
}

void TfrmModule::EndProcessCaption() { btnProcess->setText(savedProcessCaption_); }

// ---------------------------------------------------------------------------
// The view of the shared steps.

void TfrmModule::SetCaption(FormControl control, const std::string& bytes) {
  switch (control) {
    case C::frmModule: setWindowTitle(Display(bytes)); return;
    case C::gbDefault: gbDefault->setTitle(Display(bytes)); return;
    case C::tsDefault: pcDefault->setTabText(pcDefault->indexOf(tsDefault), Display(bytes)); return;
    case C::btnFactory: btnFactory->setText(Display(bytes)); return;
    default: break;
  }
  if (auto* panel = qobject_cast<TPanel*>(Widget(control))) {
    panel->SetCaption(bytes);
  } else if (auto* button = qobject_cast<QAbstractButton*>(Widget(control))) {
    button->setText(Display(bytes));
  } else if (auto* label = qobject_cast<QLabel*>(Widget(control))) {
    label->setText(Display(bytes));
  }
}

void TfrmModule::SelectListItem(FormControl list, int index) {
  // The stored index is used as it is: one outside the list selects nothing.
  if (auto* combo = qobject_cast<QComboBox*>(Widget(list))) combo->setCurrentIndex(index);
}

// The window flags set at construction leave out the close box where the
// window manager honours them, and closeEvent refuses every other close.
void TfrmModule::RemoveCloseCommand() {}

void TfrmModule::SetBlinkTimer(bool running) {
  if (running)
    tmrBusy->start();
  else
    tmrBusy->stop();
}

void TfrmModule::SetWindowEnabled(bool enabled) { inputBlocked_ = !enabled; }

void TfrmModule::DiscardPendingInput() {
  // A button held down since before the end would click on its release: it
  // is let go first, without a click. Then everything queued is handled,
  // with this window's input dropped by the event filter as if the window
  // were still disabled.
  for (QAbstractButton* button : findChildren<QAbstractButton*>()) button->setDown(false);
  const bool blocked = std::exchange(inputBlocked_, true);
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  inputBlocked_ = blocked;
}

void TfrmModule::FillLamp(Rgb colour) { SetLamp(QColor(colour.r, colour.g, colour.b)); }

void TfrmModule::PumpMessages() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

std::string TfrmModule::PanelCaption(FormControl panel) const {
  auto* shown = qobject_cast<TPanel*>(Widget(panel));
  return shown ? shown->Caption() : std::string();
}

int TfrmModule::SelectedItem(FormControl list) const {
  auto* combo = qobject_cast<QComboBox*>(Widget(list));
  return combo ? combo->currentIndex() : -1;
}

bool TfrmModule::BoxChecked(FormControl box) const {
  auto* check = qobject_cast<QCheckBox*>(Widget(box));
  return check && check->isChecked();
}

// The bar's change handler runs only when the position really changes. A
// position outside the range puts the bar at its end without running it:
// the panel keeps what the operation wrote (a module whose ID is 00 shows
// "00", and a following write sends "00", not the bar's minimum).
void TfrmModule::MoveBar(FormControl bar, int position) {
  auto* scroll = qobject_cast<QScrollBar*>(Widget(bar));
  if (!scroll) return;
  const bool outside = position < scroll->minimum() || position > scroll->maximum();
  const QSignalBlocker quiet(outside ? scroll : nullptr);
  scroll->setValue(position);
}

void TfrmModule::SetControlEnabled(FormControl control, bool enabled) { Widget(control)->setEnabled(enabled); }
