// SPDX-License-Identifier: MIT
// The window's layout: the fixed sizes of the window and its controls, what
// their places must satisfy among themselves (inside the window, no overlaps
// but the nested ones, rows aligned and stacked), and the button pictures.

#include <QImage>
#include <algorithm>
#include <string_view>
#include <utility>
#include <vector>

#include "pictures.h"
#include "window_fixture.h"

namespace {
constexpr QSize kClientSize(560, 425);

struct Control {
  const char* name;
  const char* container;
  QSize size;
};

// Every placed control, its container and its width and height.
const Control kControls[] = {
    {"pnMsg", "frmModule", {345, 40}},      {"shComm", "pnMsg", {23, 20}},
    {"pnSerial", "frmModule", {169, 28}},   {"pnVersion", "frmModule", {169, 28}},
    {"btnScan", "frmModule", {345, 33}},    {"lblID", "frmModule", {57, 22}},
    {"pnID", "frmModule", {33, 25}},        {"sbID", "frmModule", {73, 23}},
    {"lblID2", "frmModule", {57, 22}},      {"pnID2", "frmModule", {33, 25}},
    {"sbID2", "frmModule", {73, 23}},       {"btnID", "frmModule", {345, 33}},
    {"lblBaudRate", "frmModule", {81, 22}}, {"cmbBaudRate", "frmModule", {121, 28}},
    {"chkLock", "frmModule", {17, 17}},     {"pnKey", "frmModule", {33, 25}},
    {"sbKey", "frmModule", {65, 23}},       {"btnBaudRate", "frmModule", {233, 33}},
    {"btnKey", "frmModule", {105, 33}},     {"cmbMode", "frmModule", {169, 28}},
    {"cmbRS485", "frmModule", {171, 28}},   {"btnMode", "frmModule", {345, 33}},
    {"pnWie1", "frmModule", {169, 28}},     {"pnWie2", "frmModule", {169, 28}},
    {"btnProcess", "frmModule", {345, 33}}, {"gbDefault", "frmModule", {193, 325}},
    {"pcDefault", "gbDefault", {182, 294}}, {"btnFactory", "tsDefault", {165, 243}},
    {"btnEng", "frmModule", {62, 24}},      {"btnGB", "frmModule", {62, 24}},
    {"btnBIG5", "frmModule", {62, 24}},     {"btnExit", "frmModule", {193, 33}},
    {"pnTAVIX", "frmModule", {561, 21}},
};

// The overlaps by design: a control and a container it sits in.
const std::pair<const char*, const char*> kNested[] = {
    {"shComm", "pnMsg"}, {"pcDefault", "gbDefault"}, {"btnFactory", "pcDefault"}, {"btnFactory", "gbDefault"}};

// The footer runs along the bottom edge and, as laid out, one pixel past the
// right and bottom edges of the client area.
constexpr std::string_view kFooter = "pnTAVIX";

// The rows from top to bottom, each from left to right. Controls of one row
// share their vertical centre, within a few pixels: labels sit a little
// lower for their baseline, the lock box a little higher.
constexpr int kRowCentreSpread = 4;
const std::vector<std::vector<const char*>> kRows = {
    {"pnMsg"},
    {"pnSerial", "pnVersion"},
    {"btnScan"},
    {"lblID", "pnID", "sbID", "lblID2", "pnID2", "sbID2"},
    {"btnID"},
    {"lblBaudRate", "cmbBaudRate", "chkLock", "pnKey", "sbKey"},
    {"btnBaudRate", "btnKey"},
    {"cmbMode", "cmbRS485"},
    {"btnMode"},
    {"pnWie1", "pnWie2", "btnEng", "btnGB", "btnBIG5"},
    {"btnProcess", "btnExit"},
    {"pnTAVIX"},
};

// The right column's group, beside the rows above the language buttons.
constexpr const char* kGroup = "gbDefault";

QWidget* Find(TfrmModule& w, const char* name) { return w.findChild<QWidget*>(name); }

// A control's place in the window's client coordinates.
QRect InWindow(TfrmModule& w, const char* name) {
  QWidget* control = Find(w, name);
  return {control->mapTo(&w, QPoint(0, 0)), control->size()};
}

bool Nested(std::string_view a, std::string_view b) {
  return std::any_of(std::begin(kNested), std::end(kNested), [&](const auto& pair) {
    return (pair.first == a && pair.second == b) || (pair.first == b && pair.second == a);
  });
}

// Twice the vertical centre, to stay in whole pixels.
int DoubleCentre(const QRect& r) { return 2 * r.top() + r.height(); }

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

bool AllPresent(TfrmModule& w) {
  bool present = true;
  for (const Control& control : kControls) {
    if (Find(w, control.name) == nullptr) {
      ADD_FAILURE() << "no control " << control.name;
      present = false;
    }
  }
  return present;
}

}  // namespace

TEST_F(WindowTest, EveryControlHasItsSizeAndContainer) {
  TfrmModule& w = NewWindow();
  EXPECT_EQ(w.size(), kClientSize);
  EXPECT_EQ(w.minimumSize(), w.maximumSize());
  ASSERT_TRUE(AllPresent(w));
  for (const Control& control : kControls) {
    SCOPED_TRACE(control.name);
    QWidget* widget = Find(w, control.name);
    ASSERT_NE(widget->parentWidget(), nullptr);
    EXPECT_EQ(widget->parentWidget()->objectName(), control.container);
    EXPECT_EQ(widget->size(), control.size);
    EXPECT_TRUE(widget->isVisible());
  }
  // The one page fills the page control and holds the whole factory button.
  EXPECT_EQ(w.pcDefault->count(), 1);
  EXPECT_EQ(w.pcDefault->widget(0), w.tsDefault);
  EXPECT_TRUE(w.tsDefault->rect().contains(w.btnFactory->geometry()));
}

TEST_F(WindowTest, ControlsLieInsideTheWindowAndOverlapOnlyWhereNested) {
  TfrmModule& w = NewWindow();
  ASSERT_TRUE(AllPresent(w));
  for (const Control& control : kControls) {
    SCOPED_TRACE(control.name);
    QWidget* widget = Find(w, control.name);
    if (std::string_view(control.name) != kFooter) {
      EXPECT_TRUE(widget->parentWidget()->rect().contains(widget->geometry())) << "outside its container";
      EXPECT_TRUE(w.rect().contains(InWindow(w, control.name))) << "outside the client area";
    }
    for (const Control& other : kControls) {
      if (&other <= &control || Nested(control.name, other.name)) continue;
      EXPECT_FALSE(InWindow(w, control.name).intersects(InWindow(w, other.name))) << "overlaps " << other.name;
    }
  }
  // The nested controls do lie inside their containers.
  for (const auto& [inner, outer] : kNested)
    EXPECT_TRUE(InWindow(w, outer).contains(InWindow(w, inner))) << inner << " in " << outer;
  const QRect footer = InWindow(w, kFooter.data());
  EXPECT_EQ(footer.left(), 0);
  EXPECT_GE(footer.width(), kClientSize.width());
  EXPECT_GE(footer.top() + footer.height(), kClientSize.height());
  // The lamp sits at the right end of the status panel.
  const QRect lamp = w.shComm->geometry();
  EXPECT_LT(w.pnMsg->width() - (lamp.x() + lamp.width()), lamp.x());
}

TEST_F(WindowTest, RowsAreAlignedStackedAndTheGroupSitsBesideThem) {
  TfrmModule& w = NewWindow();
  ASSERT_TRUE(AllPresent(w));
  int previousBottom = 0;
  for (const std::vector<const char*>& row : kRows) {
    SCOPED_TRACE(row.front());
    int top = kClientSize.height();
    int bottom = 0;
    int lowestCentre = 2 * kClientSize.height();
    int highestCentre = 0;
    for (size_t i = 0; i < row.size(); ++i) {
      const QRect place = InWindow(w, row[i]);
      if (i > 0) {
        EXPECT_GE(place.left(), InWindow(w, row[i - 1]).right() + 1) << row[i] << " left of " << row[i - 1];
      }
      top = std::min(top, place.top());
      bottom = std::max(bottom, place.top() + place.height());
      lowestCentre = std::min(lowestCentre, DoubleCentre(place));
      highestCentre = std::max(highestCentre, DoubleCentre(place));
    }
    EXPECT_LE(highestCentre - lowestCentre, 2 * kRowCentreSpread) << "centres apart";
    EXPECT_GE(top, previousBottom) << "reaches into the row above";
    previousBottom = bottom;
    // The left column and the footer each share one left edge.
    if (&row != &kRows.back()) {
      EXPECT_EQ(InWindow(w, row.front()).left(), InWindow(w, "pnMsg").left());
    }
  }
  // The group starts at the top beside the status panel, right of every row
  // above the language buttons, and ends above those buttons.
  const QRect group = InWindow(w, kGroup);
  EXPECT_EQ(group.top(), InWindow(w, "pnMsg").top());
  for (const std::vector<const char*>& row : kRows) {
    if (std::find(row.begin(), row.end(), std::string_view("btnEng")) != row.end()) break;
    for (const char* name : row) EXPECT_GT(group.left(), InWindow(w, name).right()) << name;
  }
  EXPECT_LE(group.top() + group.height(), InWindow(w, "btnEng").top());
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
