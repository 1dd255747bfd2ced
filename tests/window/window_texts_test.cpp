// SPDX-License-Identifier: MIT
// The captions: the layout's texts until the first show, the texts of the
// stored language after it, language switches and their settings, and that
// every text can be drawn with its control's font.

#include <QDir>
#include <QFontMetrics>
#include <QRawFont>
#include <QTabBar>

#include "catalogue.h"
#include "window_fixture.h"

namespace {
const char* const kLanguageFlags[] = {"English", "ChineseGB", "ChineseBIG5"};

std::string LanguageLine(int languageIndex) {
  return std::string("\"LanguageFlag\"=\"") + kLanguageFlags[languageIndex] + "\"";
}

QString TabText(const TfrmModule& w) { return w.pcDefault->tabText(w.pcDefault->indexOf(w.tsDefault)); }

// What the show handler puts on the controls in one language, as the
// operator reads it, and the stored bytes behind the status panel.
struct Captions {
  const char* title;
  const char* footer;
  const char* status;
  std::string statusBytes;
  const char* serial;
  const char* version;
  const char* id1;
  const char* id2;
  const char* lineSetting;
  const char* scan;
  const char* setId;
  const char* setLine;
  const char* setMode;
  const char* process;
  const char* group;
  const char* page;
  const char* factory;
  const char* exit;
};

// By language index. The status bytes are GB2312 and Big5, checked with iconv.
const Captions kCaptions[] = {
    {"TAVIX RT-420 Module Config V3.20-01", "TAVIX Technology Co., Ltd.   www.tavix.example", "Start Scan Module!",
     "Start Scan Module!", "S/N : ________-_", "VER : __.__-__", "ID 1:", "ID 2:", "BaudRate:", "Scan Module",
     "Set Module ID", "Set Module Baud Rate", "Set Module Mode", "Process Module", "Quick Setting", "Default",
     "(Factory Default)", "Exit"},
    {"TAVIX RT-420 转换模组设定程式 V3.20-01", "塔维科技股份有限公司   www.tavix.example", "请先扫描模组!",
     "\xC7\xEB\xCF\xC8\xC9\xA8\xC3\xE8\xC4\xA3\xD7\xE9!", "序号 : ________-_", "版本 : __.__-__", "编号 1:",
     "编号 2:", "通讯速度:", "扫描模组", "设定模组编号", "设定通讯速度", "设定模组模式", "模组连线", "快速设定",
     "预设", "(出厂预设)", "结束"},
    {"TAVIX RT-420 轉換模組設定程式 V3.20-01", "塔維科技股份有限公司   www.tavix.example", "請先掃描模組!",
     "\xBD\xD0\xA5\xFD\xB1\xBD\xB4\x79\xBC\xD2\xB2\xD5!", "序號 : ________-_", "版本 : __.__-__", "編號 1:",
     "編號 2:", "通訊速度:", "掃描模組", "設定模組編號", "設定通訊速度", "設定模組模式", "模組連線", "快速設定",
     "預設", "(出廠預設)", "結束"},
};

// Every caption that the show handler sets; the bytes behind the status
// panel must be the catalogue's bytes.
void ExpectLanguageTexts(const TfrmModule& w, int lang) {
  SCOPED_TRACE(kLanguageFlags[lang]);
  const Captions& expected = kCaptions[lang];
  auto text = [](const char* utf8) { return QString::fromUtf8(utf8); };
  EXPECT_EQ(w.windowTitle(), text(expected.title));
  EXPECT_EQ(w.pnTAVIX->text(), text(expected.footer));
  EXPECT_EQ(w.pnMsg->text(), text(expected.status));
  EXPECT_EQ(w.pnMsg->Caption(), expected.statusBytes);
  EXPECT_EQ(w.pnSerial->text(), text(expected.serial));
  EXPECT_EQ(w.pnVersion->text(), text(expected.version));
  EXPECT_EQ(w.lblID->text(), text(expected.id1));
  EXPECT_EQ(w.lblID2->text(), text(expected.id2));
  EXPECT_EQ(w.lblBaudRate->text(), text(expected.lineSetting));
  EXPECT_EQ(w.btnScan->text(), text(expected.scan));
  EXPECT_EQ(w.btnID->text(), text(expected.setId));
  EXPECT_EQ(w.btnBaudRate->text(), text(expected.setLine));
  EXPECT_EQ(w.btnMode->text(), text(expected.setMode));
  EXPECT_EQ(w.btnProcess->text(), text(expected.process));
  EXPECT_EQ(w.gbDefault->title(), text(expected.group));
  EXPECT_EQ(TabText(w), text(expected.page));
  EXPECT_EQ(w.btnFactory->text(), text(expected.factory));
  EXPECT_EQ(w.btnExit->text(), text(expected.exit));
  // Controls whose texts do not depend on the language.
  EXPECT_EQ(w.btnKey->text(), "Key Num");
  EXPECT_EQ(w.btnEng->text(), "English");
  EXPECT_TRUE(w.btnGB->text().isEmpty());
  EXPECT_TRUE(w.btnBIG5->text().isEmpty());
  EXPECT_EQ(w.cmbMode->itemText(1), "One Reader");
  EXPECT_EQ(w.cmbRS485->itemText(2), "RS485 40");
}

// A button's text as drawn: "&" marks a mnemonic, "&&" is a literal "&".
QString Drawn(QString text) {
  text.replace("&&", QChar(0x1));
  text.remove('&');
  text.replace(QChar(0x1), '&');
  return text;
}

QStringList TextsOf(QWidget* control) {
  if (auto* label = qobject_cast<QLabel*>(control)) return {label->text()};
  if (auto* button = qobject_cast<QAbstractButton*>(control)) return {Drawn(button->text())};
  if (auto* group = qobject_cast<QGroupBox*>(control)) return {Drawn(group->title())};
  if (auto* bar = qobject_cast<QTabBar*>(control)) {
    QStringList texts;
    for (int i = 0; i < bar->count(); ++i) texts << Drawn(bar->tabText(i));
    return texts;
  }
  if (auto* list = qobject_cast<QComboBox*>(control)) {
    QStringList texts;
    for (int i = 0; i < list->count(); ++i) texts << list->itemText(i);
    return texts;
  }
  return {};
}

// Characters of a control's texts that its font cannot draw. QFontMetrics
// alone would also count glyphs borrowed from fallback fonts; the raw font
// is the control's own family only.
QString MissingGlyphs(QWidget* control) {
  const QFontMetrics metrics(control->font());
  const QRawFont own = QRawFont::fromFont(control->font());
  QString missing;
  for (const QString& text : TextsOf(control))
    for (char32_t codePoint : text.toUcs4())
      if (codePoint != U' ' && !(metrics.inFontUcs4(codePoint) && own.supportsCharacter(codePoint)))
        missing += QString::fromUcs4(&codePoint, 1);
  return missing;
}
}  // namespace

TEST_F(WindowTest, LayoutCaptionsStandUntilTheFirstShowAppliesEnglish) {
  TfrmModule& w = NewWindow(false);
  EXPECT_EQ(w.lblID->text(), "ID1 :");
  EXPECT_EQ(w.lblID2->text(), "ID2 :");
  EXPECT_EQ(w.lblBaudRate->text(), "Baud Rate :");
  EXPECT_EQ(w.pnMsg->text(), "Start Scan Module");

  w.show();
  EXPECT_EQ(w.windowTitle(), "TAVIX RT-420 Module Config V3.20-01");
  EXPECT_EQ(w.pnMsg->text(), "Start Scan Module!");
  EXPECT_EQ(w.pnSerial->text(), "S/N : ________-_");
  EXPECT_EQ(w.pnVersion->text(), "VER : __.__-__");
  EXPECT_EQ(w.lblID->text(), "ID 1:");
  EXPECT_EQ(w.lblID2->text(), "ID 2:");
  EXPECT_EQ(w.lblBaudRate->text(), "BaudRate:");
  EXPECT_EQ(w.btnScan->text(), "Scan Module");
  EXPECT_EQ(w.btnID->text(), "Set Module ID");
  EXPECT_EQ(w.btnBaudRate->text(), "Set Module Baud Rate");
  EXPECT_EQ(w.btnMode->text(), "Set Module Mode");
  EXPECT_EQ(w.btnProcess->text(), "Process Module");
  EXPECT_EQ(w.gbDefault->title(), "Quick Setting");
  EXPECT_EQ(TabText(w), "Default");
  EXPECT_EQ(w.btnFactory->text(), "(Factory Default)");
  EXPECT_EQ(w.btnExit->text(), "Exit");
  ExpectLanguageTexts(w, 0);
}

TEST_F(WindowTest, FirstShowAppliesTheStoredLanguage) {
  for (int lang = 0; lang < catalogue::kLanguageCount; ++lang) {
    WriteSettings(LanguageLine(lang));
    catalogue::SelectLanguage(0);
    TfrmModule& w = NewWindow();
    EXPECT_EQ(catalogue::Language.LanguageIndex, lang);
    ExpectLanguageTexts(w, lang);
  }
}

TEST_F(WindowTest, LanguageSwitchReappliesTextsKeepsValuesAndIsStored) {
  TfrmModule& w = NewWindow();
  w.sbID->setValue(7);
  w.sbKey->setValue(20);
  w.pnWie1->SetCaption("1A2B3C");
  w.ShowMessage("Set Module ID Ok");
  w.pnSerial->SetCaption("S/N : 12345678-9");
  w.SetLamp(TfrmModule::kYellow);

  w.btnBIG5->click();
  ExpectLanguageTexts(w, 2);
  EXPECT_EQ(w.pnID->text(), "07");
  EXPECT_EQ(w.pnID2->text(), "__");
  EXPECT_EQ(w.pnKey->text(), "20");
  EXPECT_EQ(w.pnWie1->text(), "1A2B3C");
  EXPECT_EQ(w.shComm->Color(), TfrmModule::kYellow);
  EXPECT_NE(ReadSettings().find("\"LanguageFlag\"=\"ChineseBIG5\""), std::string::npos);

  w.btnGB->click();
  ExpectLanguageTexts(w, 1);
  EXPECT_NE(ReadSettings().find("\"LanguageFlag\"=\"ChineseGB\""), std::string::npos);
  EXPECT_EQ(catalogue::Language.LanguageName, "ChineseGB");

  w.btnEng->click();
  ExpectLanguageTexts(w, 0);
  EXPECT_NE(ReadSettings().find("\"LanguageFlag\"=\"English\""), std::string::npos);
}

TEST_F(WindowTest, RestartComesBackInTheLanguageLastChosen) {
  NewWindow().btnGB->click();
  windows_.clear();
  catalogue::SelectLanguage(0);

  TfrmModule& again = NewWindow();
  EXPECT_EQ(catalogue::Language.LanguageIndex, 1);
  ExpectLanguageTexts(again, 1);
}

TEST_F(WindowTest, EveryTextHasGlyphsInItsFontAndScreenshotsAreSaved) {
  TfrmModule& w = NewWindow();
  ASSERT_TRUE(QDir().mkpath(RT420_SCREENSHOT_DIR));
  const struct {
    QPushButton* TfrmModule::*button;
    const char* file;
  } languages[] = {{&TfrmModule::btnEng, "window-en.png"},
                   {&TfrmModule::btnGB, "window-gb.png"},
                   {&TfrmModule::btnBIG5, "window-big5.png"}};
  for (const auto& language : languages) {
    (w.*language.button)->click();
    SCOPED_TRACE(language.file);
    for (QWidget* control : w.findChildren<QWidget*>())
      EXPECT_EQ(MissingGlyphs(control), QString()) << control->objectName().toStdString();
    const QString path = QString(RT420_SCREENSHOT_DIR) + "/" + language.file;
    EXPECT_TRUE(w.grab().save(path, "PNG")) << path.toStdString();
  }
}
