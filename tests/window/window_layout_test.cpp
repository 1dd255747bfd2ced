// Where every control sits, what it is, and the pictures on the buttons.

#include <QImage>

#include "pictures.h"
#include "window_fixture.h"

namespace {
struct Place {
  const char* name;
  const char* parent;
  QRect geometry;
};

// Left, top, width and height within the parent.
const Place kPlaces[] = {
    {"pnMsg", "frmModule", {8, 4, 345, 40}},         {"shComm", "pnMsg", {310, 8, 23, 20}},
    {"pnSerial", "frmModule", {8, 48, 169, 28}},     {"pnVersion", "frmModule", {184, 48, 169, 28}},
    {"btnScan", "frmModule", {8, 78, 345, 33}},      {"lblID", "frmModule", {8, 125, 57, 22}},
    {"pnID", "frmModule", {68, 122, 33, 25}},        {"sbID", "frmModule", {104, 123, 73, 23}},
    {"lblID2", "frmModule", {184, 125, 57, 22}},     {"pnID2", "frmModule", {244, 122, 33, 25}},
    {"sbID2", "frmModule", {280, 123, 73, 23}},      {"btnID", "frmModule", {8, 150, 345, 33}},
    {"lblBaudRate", "frmModule", {8, 197, 81, 22}},  {"cmbBaudRate", "frmModule", {96, 192, 121, 28}},
    {"chkLock", "frmModule", {224, 196, 17, 17}},    {"pnKey", "frmModule", {248, 194, 33, 25}},
    {"sbKey", "frmModule", {288, 195, 65, 23}},      {"btnBaudRate", "frmModule", {8, 222, 233, 33}},
    {"btnKey", "frmModule", {248, 222, 105, 33}},    {"cmbMode", "frmModule", {8, 264, 169, 28}},
    {"cmbRS485", "frmModule", {184, 264, 171, 28}},  {"btnMode", "frmModule", {8, 295, 345, 33}},
    {"pnWie1", "frmModule", {8, 336, 169, 28}},      {"pnWie2", "frmModule", {184, 336, 169, 28}},
    {"btnProcess", "frmModule", {8, 368, 345, 33}},  {"gbDefault", "frmModule", {360, 4, 193, 325}},
    {"pcDefault", "gbDefault", {6, 26, 182, 294}},   {"btnFactory", "tsDefault", {4, 6, 165, 243}},
    {"btnEng", "frmModule", {359, 336, 62, 24}},     {"btnGB", "frmModule", {426, 336, 62, 24}},
    {"btnBIG5", "frmModule", {492, 336, 62, 24}},    {"btnExit", "frmModule", {360, 368, 193, 33}},
    {"pnTAVIX", "frmModule", {0, 405, 561, 21}},
};

int VisiblePixels(const QPixmap& picture) {
  const QImage image = picture.toImage();
  int count = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) count += qAlpha(image.pixel(x, y)) > 0;
  return count;
}

bool HasRedPixels(const QPixmap& picture) {
  const QImage image = picture.toImage();
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const QColor c = image.pixelColor(x, y);
      if (c.alpha() > 128 && c.red() > 150 && c.green() < 80 && c.blue() < 80) return true;
    }
  return false;
}
}  // namespace

TEST_F(WindowTest, EveryControlSitsAtItsPlace) {
  TfrmModule& w = NewWindow();
  EXPECT_EQ(w.size(), QSize(560, 425));
  EXPECT_EQ(w.minimumSize(), w.maximumSize());
  for (const Place& place : kPlaces) {
    SCOPED_TRACE(place.name);
    auto* control = w.findChild<QWidget*>(place.name);
    ASSERT_NE(control, nullptr);
    ASSERT_NE(control->parentWidget(), nullptr);
    EXPECT_EQ(control->parentWidget()->objectName(), place.parent);
    EXPECT_EQ(control->geometry(), place.geometry);
    EXPECT_TRUE(control->isVisible());
  }
  // The one page fills the page control and holds the whole factory button.
  EXPECT_EQ(w.pcDefault->count(), 1);
  EXPECT_EQ(w.pcDefault->widget(0), w.tsDefault);
  EXPECT_TRUE(w.tsDefault->rect().contains(w.btnFactory->geometry()));
}

TEST_F(WindowTest, PicturesAreDrawnAtTheirSizes) {
  const struct {
    const char* name;
    QPixmap picture;
    QSize size;
  } pictures[] = {{"icon", WindowIconPicture(), {32, 32}},  {"scan", ScanPicture(), {16, 16}},
                  {"id", IdPicture(), {16, 16}},            {"baud", BaudRatePicture(), {16, 16}},
                  {"mode", ModePicture(), {16, 16}},        {"process", ProcessPicture(), {32, 20}},
                  {"factory", FactoryPicture(), {100, 50}}, {"gb", GbPicture(), {34, 16}},
                  {"big5", Big5Picture(), {34, 16}}};
  for (const auto& entry : pictures) {
    SCOPED_TRACE(entry.name);
    EXPECT_EQ(entry.picture.size(), entry.size);
    EXPECT_GT(VisiblePixels(entry.picture), entry.size.width() * entry.size.height() / 10);
  }
  // The characters of the language pictures are drawn, in red, and differ.
  EXPECT_TRUE(HasRedPixels(GbPicture()));
  EXPECT_TRUE(HasRedPixels(Big5Picture()));
  EXPECT_NE(GbPicture().toImage(), Big5Picture().toImage());
}
