#include "main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QScreen>
#include <QShowEvent>
#include <QStyle>
#include <array>
#include <cstdio>

#include "catalogue.h"
#include "codepage.h"
#include "link_state.h"
#include "messages.h"
#include "module_state.h"
#include "operations.h"
#include "pictures.h"
#include "settings_store.h"

TfrmModule* frmModule = nullptr;

const QColor TfrmModule::kRed(255, 0, 0);
const QColor TfrmModule::kYellow(255, 255, 0);

namespace {
constexpr int kClientWidth = 560;
constexpr int kClientHeight = 425;
constexpr int kBlinkMs = 200;

QColor SystemColor(QPalette::ColorRole role) { return QApplication::palette().color(role); }
QColor ButtonFace() { return SystemColor(QPalette::Button); }
QColor Highlight() { return SystemColor(QPalette::Highlight); }
// The platform offers no title-bar colour of its own; a darker highlight
// keeps the status panel apart from the value panels in every scheme.
QColor ActiveCaption() { return Highlight().darker(150); }
const QColor kPurple(128, 0, 128);

template <class Control>
Control* Place(Control* control, const char* name, int left, int top, int width, int height) {
  control->setObjectName(QString::fromLatin1(name));
  control->setGeometry(left, top, width, height);
  return control;
}

TPanel* ValuePanel(QWidget* parent, const char* name, QRect place, const char* caption) {
  auto* panel = Place(new TPanel(parent), name, place.x(), place.y(), place.width(), place.height());
  panel->SetColors(Qt::yellow, Highlight());
  panel->SetCaption(caption);
  return panel;
}

QLabel* Label(QWidget* parent, const char* name, QRect place, const char* text) {
  auto* label = Place(new QLabel(QString::fromLatin1(text), parent), name, place.x(), place.y(), place.width(),
                      place.height());
  label->setTextFormat(Qt::PlainText);
  label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  label->setFont(UiFont(13, false));
  return label;
}

QScrollBar* ScrollBar(QWidget* parent, const char* name, QRect place, int minimum, int maximum, int position) {
  auto* bar = Place(new QScrollBar(Qt::Horizontal, parent), name, place.x(), place.y(), place.width(),
                    place.height());
  bar->setRange(minimum, maximum);
  bar->setValue(position);
  bar->setSingleStep(1);
  bar->setPageStep(10);
  return bar;
}

QComboBox* List(QWidget* parent, const char* name, QRect place, const QStringList& items) {
  auto* list = Place(new QComboBox(parent), name, place.x(), place.y(), place.width(), place.height());
  list->setEditable(false);
  list->addItems(items);
  QPalette colors = list->palette();
  for (QPalette::ColorRole role : {QPalette::Button, QPalette::Base, QPalette::Window})
    colors.setColor(role, Highlight());
  for (QPalette::ColorRole role : {QPalette::ButtonText, QPalette::Text, QPalette::WindowText})
    colors.setColor(role, Qt::yellow);
  list->setPalette(colors);
  return list;
}

QPushButton* Button(QWidget* parent, const char* name, QRect place, const char* text, const QPixmap& picture) {
  auto* button = Place(new QPushButton(QString::fromLatin1(text), parent), name, place.x(), place.y(),
                       place.width(), place.height());
  if (!picture.isNull()) {
    button->setIcon(QIcon(picture));
    button->setIconSize(picture.size());
  }
  return button;
}

QStringList LineSettingItems() {
  QStringList items;
  for (const char* setting : kLineSettings) items << QString::fromLatin1(setting);
  return items;
}

std::string TwoDigits(int value) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d", value);
  return text;
}
}  // namespace

TfrmModule::TfrmModule(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("frmModule"));
  // Title, system menu and minimise box only: no maximise box, and no close
  // box where the window manager honours it. closeEvent refuses the rest.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint);
  setFixedSize(kClientWidth, kClientHeight);
  setFont(UiFont(16, true));
  QPalette colors = palette();
  colors.setColor(QPalette::Window, ButtonFace());
  setPalette(colors);
  setWindowTitle(Display(CatalogueText(kMsgTitle, 0)));
  setWindowIcon(QIcon(WindowIconPicture()));

  CreateStatusControls();
  CreateIdControls();
  CreateLineControls();
  CreateModeControls();
  CreateQuickSetting();
  CreateLanguageControls();
  tmrBusy = new QTimer(this);
  tmrBusy->setObjectName(QStringLiteral("tmrBusy"));
  tmrBusy->setInterval(kBlinkMs);
  ConnectHandlers();
  FormCreate();
}

void TfrmModule::CreateStatusControls() {
  pnMsg = Place(new TPanel(this), "pnMsg", 8, 4, 345, 40);
  pnMsg->SetColors(Qt::white, ActiveCaption());
  pnMsg->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  pnMsg->SetCaption("Start Scan Module");
  shComm = Place(new TLamp(pnMsg), "shComm", 310, 8, 23, 20);
  shComm->SetColor(kRed);
  pnSerial = ValuePanel(this, "pnSerial", {8, 48, 169, 28}, "S/N : ________-_");
  pnVersion = ValuePanel(this, "pnVersion", {184, 48, 169, 28}, "VER : __.__-__");
  btnScan = Button(this, "btnScan", {8, 78, 345, 33}, "&Scan Module", ScanPicture());
}

void TfrmModule::CreateIdControls() {
  lblID = Label(this, "lblID", {8, 125, 57, 22}, "ID1 :");
  pnID = ValuePanel(this, "pnID", {68, 122, 33, 25}, "__");
  sbID = ScrollBar(this, "sbID", {104, 123, 73, 23}, 1, 99, 1);
  lblID2 = Label(this, "lblID2", {184, 125, 57, 22}, "ID2 :");
  pnID2 = ValuePanel(this, "pnID2", {244, 122, 33, 25}, "__");
  sbID2 = ScrollBar(this, "sbID2", {280, 123, 73, 23}, 1, 99, 1);
  btnID = Button(this, "btnID", {8, 150, 345, 33}, "Set Module &ID", IdPicture());
}

void TfrmModule::CreateLineControls() {
  lblBaudRate = Label(this, "lblBaudRate", {8, 197, 81, 22}, "Baud Rate :");
  cmbBaudRate = List(this, "cmbBaudRate", {96, 192, 121, 28}, LineSettingItems());
  // Too narrow for its text to show, as laid out.
  chkLock = Place(new QCheckBox(QStringLiteral("chkLock"), this), "chkLock", 224, 196, 17, 17);
  chkLock->setChecked(true);
  pnKey = ValuePanel(this, "pnKey", {248, 194, 33, 25}, "__");
  sbKey = ScrollBar(this, "sbKey", {288, 195, 65, 23}, 0, 20, 4);
  btnBaudRate = Button(this, "btnBaudRate", {8, 222, 233, 33}, "Set Module &Baud Rate", BaudRatePicture());
  btnKey = Button(this, "btnKey", {248, 222, 105, 33}, "Key Num", QPixmap());
}

void TfrmModule::CreateModeControls() {
  cmbMode = List(this, "cmbMode", {8, 264, 169, 28}, {QStringLiteral("Two Reader"), QStringLiteral("One Reader")});
  cmbRS485 = List(this, "cmbRS485", {184, 264, 171, 28},
                  {QStringLiteral("RS485 24"), QStringLiteral("RS485 32"), QStringLiteral("RS485 40")});
  btnMode = Button(this, "btnMode", {8, 295, 345, 33}, "Set Module &Mode", ModePicture());
  pnWie1 = ValuePanel(this, "pnWie1", {8, 336, 169, 28}, "");
  pnWie2 = ValuePanel(this, "pnWie2", {184, 336, 169, 28}, "");
  btnProcess = Button(this, "btnProcess", {8, 368, 345, 33}, "&Process WIE", ProcessPicture());
}

void TfrmModule::CreateQuickSetting() {
  gbDefault = Place(new QGroupBox(QStringLiteral("Quick Setting"), this), "gbDefault", 360, 4, 193, 325);
  pcDefault = Place(new QTabWidget(gbDefault), "pcDefault", 6, 26, 182, 294);
  pcDefault->setFont(UiFont(16, false));
  tsDefault = new QWidget;
  tsDefault->setObjectName(QStringLiteral("tsDefault"));
  pcDefault->addTab(tsDefault, QStringLiteral("Default"));
  btnFactory = Place(new QToolButton(tsDefault), "btnFactory", 4, 6, 165, 243);
  btnFactory->setFont(UiFont(16, true));
  btnFactory->setText(QStringLiteral("(Factory &Default)"));
  btnFactory->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
  const QPixmap picture = FactoryPicture();
  btnFactory->setIcon(QIcon(picture));
  btnFactory->setIconSize(picture.size());
}

void TfrmModule::CreateLanguageControls() {
  btnEng = Button(this, "btnEng", {359, 336, 62, 24}, "English", QPixmap());
  btnEng->setFont(UiFont(13, false));
  // Red while it can be pressed; the style's own grey when disabled.
  QPalette red = btnEng->palette();
  red.setColor(QPalette::Active, QPalette::ButtonText, Qt::red);
  red.setColor(QPalette::Inactive, QPalette::ButtonText, Qt::red);
  btnEng->setPalette(red);
  btnGB = Button(this, "btnGB", {426, 336, 62, 24}, "", GbPicture());
  btnBIG5 = Button(this, "btnBIG5", {492, 336, 62, 24}, "", Big5Picture());
  btnExit = Button(this, "btnExit", {360, 368, 193, 33}, "&Exit",
                   style()->standardIcon(QStyle::SP_DialogCloseButton).pixmap(16, 16));
  pnTAVIX = Place(new TPanel(this), "pnTAVIX", 0, 405, 561, 21);
  pnTAVIX->SetColors(Qt::white, kPurple);
  pnTAVIX->setFont(UiFont(11, false));
  pnTAVIX->SetCaption(CatalogueText(kMsgCompany, 0));
}

void TfrmModule::ConnectHandlers() {
  const auto on = [this](auto* control, auto signal, void (TfrmModule::*handler)()) {
    connect(control, signal, this, [this, handler] { RunHandler(handler); });
  };
  on(btnScan, &QPushButton::clicked, &TfrmModule::btnScanClick);
  on(btnID, &QPushButton::clicked, &TfrmModule::btnIDClick);
  on(btnBaudRate, &QPushButton::clicked, &TfrmModule::btnBaudRateClick);
  on(btnKey, &QPushButton::clicked, &TfrmModule::btnKeyClick);
  on(btnMode, &QPushButton::clicked, &TfrmModule::btnModeClick);
  on(btnProcess, &QPushButton::clicked, &TfrmModule::btnProcessClick);
  on(btnFactory, &QToolButton::clicked, &TfrmModule::btnFactoryClick);
  on(btnEng, &QPushButton::clicked, &TfrmModule::btnEngClick);
  on(btnGB, &QPushButton::clicked, &TfrmModule::btnGBClick);
  on(btnBIG5, &QPushButton::clicked, &TfrmModule::btnBIG5Click);
  on(btnExit, &QPushButton::clicked, &TfrmModule::btnExitClick);
  // valueChanged fires only when the position really changes.
  on(sbID, &QScrollBar::valueChanged, &TfrmModule::sbIDChange);
  on(sbID2, &QScrollBar::valueChanged, &TfrmModule::sbID2Change);
  on(sbKey, &QScrollBar::valueChanged, &TfrmModule::sbKeyChange);
  on(tmrBusy, &QTimer::timeout, &TfrmModule::tmrBusyTimer);
}

void TfrmModule::RunHandler(void (TfrmModule::*handler)()) {
  try {
    (this->*handler)();
  } catch (const std::exception& error) {
    ShowHandlerException(error.what());
  } catch (...) {
    ShowHandlerException("Unknown exception");
  }
}

void TfrmModule::ShowHandlerException(const char* what) {
  QMessageBox::critical(QApplication::activeWindow(), QApplication::applicationName(),
                        QString::fromLocal8Bit(what));
}

void TfrmModule::FormCreate() {
  LoadSettings(Module);
  Module.Processing = false;
  Module.ModuleFound = false;
  // The stored index is used as it is: one outside the list selects nothing.
  cmbBaudRate->setCurrentIndex(Module.ScanBaudRateNo);
  cmbMode->setCurrentIndex(0);
  cmbRS485->setCurrentIndex(1);
  Link.ProcessPendingEvents = [] { QCoreApplication::processEvents(QEventLoop::AllEvents); };
  InstallPortTable();
}

void TfrmModule::FormShow() {
  setWindowTitle(Display(MessageText(kMsgTitle)));
  pnTAVIX->SetCaption(MessageText(kMsgCompany));
  pnMsg->SetCaption(MessageText(kMsgStartScan));
  pnSerial->SetCaption(MessageText(kMsgSerial) + " : ________-_");
  pnVersion->SetCaption(MessageText(kMsgVersion) + " : __.__-__");
  lblID->setText(Display(MessageText(kMsgId) + " 1:"));
  lblID2->setText(Display(MessageText(kMsgId) + " 2:"));
  lblBaudRate->setText(Display(MessageText(kMsgBaudRate) + ":"));
  btnScan->setText(Display(MessageText(kMsgScanModule)));
  btnID->setText(Display(MessageText(kMsgSetId)));
  btnBaudRate->setText(Display(MessageText(kMsgSetBaudRateButton)));
  btnMode->setText(Display(MessageText(kMsgSetMode)));
  btnProcess->setText(Display(MessageText(kMsgProcess)));
  gbDefault->setTitle(Display(MessageText(kMsgQuickSetting)));
  pcDefault->setTabText(pcDefault->indexOf(tsDefault), Display(MessageText(kMsgDefault)));
  btnFactory->setText(Display("(" + MessageText(kMsgFactoryDefault) + ")"));
  btnExit->setText(Display(MessageText(kMsgExit)));
}

void TfrmModule::SetBusy(bool busy) {
  if (busy) {
    tmrBusy->start();
    setEnabled(false);
  } else {
    setEnabled(true);
    tmrBusy->stop();
  }
}

void TfrmModule::tmrBusyTimer() {
  if (tmrBusyTag == 1) {
    tmrBusyTag = 0;
    SetLamp(kYellow);
  } else {
    tmrBusyTag = 1;
    SetLamp(kRed);
  }
}

void TfrmModule::sbIDChange() { pnID->SetCaption(TwoDigits(sbID->value())); }
void TfrmModule::sbID2Change() { pnID2->SetCaption(TwoDigits(sbID2->value())); }
void TfrmModule::sbKeyChange() { pnKey->SetCaption(TwoDigits(sbKey->value())); }

void TfrmModule::btnScanClick() { RunModuleScan(*this); }
void TfrmModule::btnIDClick() { RunSetModuleIds(*this); }
void TfrmModule::btnBaudRateClick() { RunSetBaudRate(*this); }
void TfrmModule::btnKeyClick() { RunSetKeyCount(*this); }
void TfrmModule::btnModeClick() { RunSetModuleMode(*this); }
void TfrmModule::btnFactoryClick() { RunFactoryDefault(*this); }
void TfrmModule::btnProcessClick() { RunWiegandProcessing(*this); }

void TfrmModule::btnEngClick() { SelectLanguageAndApply(0); }
void TfrmModule::btnGBClick() { SelectLanguageAndApply(1); }
void TfrmModule::btnBIG5Click() { SelectLanguageAndApply(2); }

void TfrmModule::SelectLanguageAndApply(int languageIndex) {
  SelectLanguage(languageIndex);
  SaveLanguage();
  FormShow();
}

void TfrmModule::btnExitClick() {
  closeAllowed_ = true;
  close();
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
  return QString::fromStdString(DecodeToUtf8(bytes, CurrentCodePage()));
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
  if (closeAllowed_)
    event->accept();
  else
    event->ignore();
}

void TfrmModule::OpenTraceView() {
  if (!frmTrace_) frmTrace_ = std::make_unique<TfrmTrace>();
  frmTrace_->show();
  frmTrace_->raise();
}

void TfrmModule::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_T && event->modifiers() == Qt::ControlModifier) {
    OpenTraceView();
    event->accept();
    return;
  }
  if (event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter) {
    QWidget::keyPressEvent(event);
    return;
  }
  // A push button with the focus takes Enter itself; anywhere else Enter
  // presses the default button, btnScan. click() does nothing while the
  // button is disabled.
  auto* focused = qobject_cast<QAbstractButton*>(focusWidget());
  if (focused && !qobject_cast<QCheckBox*>(focused))
    focused->click();
  else
    btnScan->click();
  event->accept();
}

// ---------------------------------------------------------------------------
// The operator panel.

void TfrmModule::ShowMessage(const std::string& bytes) { pnMsg->SetCaption(bytes); }

void TfrmModule::ReportPortProblem(const std::string& line) {
  std::fprintf(stderr, "rt420config: %s\n", line.c_str());
  std::fflush(stderr);
}

void TfrmModule::SetLamp(LampColour colour) { SetLamp(colour == LampColour::Yellow ? kYellow : kRed); }

void TfrmModule::EnterWaitState() {
  ShowHourglass(true);
  setEnabled(false);
}

void TfrmModule::LeaveWaitState() {
  setEnabled(true);
  ShowHourglass(false);
}

void TfrmModule::SetHourglass(bool on) { ShowHourglass(on); }

void TfrmModule::ProcessMessages() { QCoreApplication::processEvents(); }

std::string TfrmModule::IdText() { return pnID->Caption(); }
std::string TfrmModule::Id2Text() { return pnID2->Caption(); }
std::string TfrmModule::KeyText() { return pnKey->Caption(); }
int TfrmModule::LineSettingIndex() { return cmbBaudRate->currentIndex(); }
int TfrmModule::ModeIndex() { return cmbMode->currentIndex(); }
int TfrmModule::Rs485Index() { return cmbRS485->currentIndex(); }
bool TfrmModule::LockChecked() { return chkLock->isChecked(); }

void TfrmModule::SelectLineSetting(int index) { cmbBaudRate->setCurrentIndex(index); }
void TfrmModule::SelectMode(int index) { cmbMode->setCurrentIndex(index); }
void TfrmModule::SelectRs485(int index) { cmbRS485->setCurrentIndex(index); }
void TfrmModule::SetIdText(const std::string& bytes) { pnID->SetCaption(bytes); }
void TfrmModule::SetId2Text(const std::string& bytes) { pnID2->SetCaption(bytes); }
void TfrmModule::SetKeyText(const std::string& bytes) { pnKey->SetCaption(bytes); }
// The bars' change handlers run only when the position really changes.
void TfrmModule::MoveIdBar(int position) { sbID->setValue(position); }
void TfrmModule::MoveId2Bar(int position) { sbID2->setValue(position); }

void TfrmModule::ShowSerial(const std::string& caption, const std::string&) { pnSerial->SetCaption(caption); }
void TfrmModule::ShowVersion(const std::string& caption, const std::string&) { pnVersion->SetCaption(caption); }

void TfrmModule::ShowCardData(int reader, const std::string& bytes) {
  (reader == 1 ? pnWie1 : pnWie2)->SetCaption(bytes);
}

void TfrmModule::BeginProcessCaption(const std::string& bytes) {
  savedProcessCaption_ = btnProcess->text();
  btnProcess->setText(Display(bytes));
}

void TfrmModule::EndProcessCaption() { btnProcess->setText(savedProcessCaption_); }

void TfrmModule::LockOperationControls(bool locked) {
  const std::array<QWidget*, 11> inOrder{btnExit, btnScan,   btnFactory, btnID, btnBaudRate, btnMode,
                                          gbDefault, btnEng, btnGB,      btnBIG5, btnKey};
  for (QWidget* control : inOrder) control->setEnabled(!locked);
}

void TfrmModule::EnableWindow() { setEnabled(true); }
