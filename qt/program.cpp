// SPDX-License-Identifier: MIT
#include "program.h"

#include <QApplication>
#include <QMessageBox>
#include <cstdio>
#include <exception>
#include <iostream>
#include <memory>
#include <optional>
#include <string>

#include "catalogue.h"
#include "display.h"
#include "main_window.h"
#include "rt420_version.h"

namespace {
const char* const kProgramName = "rt420config";
// The application's title. Only the name is set, not the display name:
// window managers would append a display name to the window's own caption.
const char* const kApplicationTitle = "TAVIX RT-420 Module Config";
const char kUsage[] =
    "usage: rt420config [--help | --version] [Qt options]\n"
    "Opens the configuration window of the TAVIX RT-420 converter module.\n"
    "  --help       this text\n"
    "  --version    the program's version\n"
    "Qt's own options (for example -platform offscreen, -style fusion) are\n"
    "passed on. Settings and the port table: $XDG_CONFIG_HOME/TAVIX/Corvel.reg\n"
    "(~/.config/TAVIX/Corvel.reg). See rt420config(1).\n";

void ShowException(const char* what) {
  QMessageBox::critical(QApplication::activeWindow(), QString::fromLatin1(kApplicationTitle),
                        QString::fromLocal8Bit(what));
}

// An exception thrown by an event handler is shown to the operator and the
// window stays: Qt itself must never see an exception pass through it.
class TApplication : public QApplication {
 public:
  using QApplication::QApplication;

  bool notify(QObject* receiver, QEvent* event) override {
    try {
      return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
      ShowException(error.what());
    } catch (...) {
      ShowException("Unknown exception");
    }
    return false;
  }
};

void RunWindow() {
  frmModule = new TfrmModule;
  // The window is destroyed however the loop ends.
  std::unique_ptr<TfrmModule> owner(frmModule);
  frmModule->show();
  TApplication::exec();
  owner.reset();
  frmModule = nullptr;
}

int RunApplication(int& argc, char** argv) {
  TApplication application(argc, argv);
  TApplication::setApplicationName(QString::fromLatin1(kApplicationTitle));
  // An exception that ends the program is shown, and the exit status says
  // that the program did not end normally.
  try {
    RunWindow();
  } catch (const std::exception& error) {
    frmModule = nullptr;
    ShowException(error.what());
    return 1;
  } catch (...) {
    frmModule = nullptr;
    ShowException("Unknown exception");
    return 1;
  }
  return 0;
}
}  // namespace

int RunProgram(int argc, char** argv) {
  if (const std::optional<int> answered = AnswerInformationOption(argc, argv, kProgramName, kUsage)) return *answered;
  std::string why;
  if (!DisplayAvailable(why)) {
    std::cerr << kProgramName << ": " << why << std::endl;
    return 1;
  }
  catalogue::FillCatalogue();
  int result = 0;
  try {
    result = RunApplication(argc, argv);
  } catch (const std::exception& error) {
    // Without an application object there is nowhere to show it but here.
    std::cerr << kProgramName << ": " << error.what() << std::endl;
    result = 1;
  }
  catalogue::ReleaseCatalogue();
  return result;
}
