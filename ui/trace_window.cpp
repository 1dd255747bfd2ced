// SPDX-License-Identifier: MIT
#include "trace_window.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QVBoxLayout>
#include <cstdio>
#include <memory>

#include "deadline.h"

namespace {
// The link's millisecond counter when the program started (its statics were
// made): the trace counts its times from here.
const uint32_t kProgramStartTick = serial::TickCount();

serial::TraceRecord SinceProgramStart(serial::TraceRecord record) {
  record.tickMs -= kProgramStartTick;  // modulo 2^32, like the counter
  return record;
}

constexpr int kRefreshMs = 200;
constexpr int kColumns = 4;
enum Column { kTime = 0, kDirection = 1, kHex = 2, kText = 3 };

QTableWidgetItem* Cell(const std::string& text) {
  auto* item = new QTableWidgetItem(QString::fromStdString(text));
  item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
  return item;
}

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
}  // namespace

TfrmTrace::TfrmTrace(serial::LinkState& link) : link_(link) {
  setObjectName(QStringLiteral("frmTrace"));
  setWindowTitle(QStringLiteral("Frame trace"));
  resize(720, 360);
  tblFrames = new QTableWidget(0, kColumns, this);
  tblFrames->setObjectName(QStringLiteral("tblFrames"));
  tblFrames->setHorizontalHeaderLabels({QStringLiteral("Time (ms)"), QStringLiteral("Dir"), QStringLiteral("Hex"),
                                        QStringLiteral("Text")});
  tblFrames->horizontalHeader()->setStretchLastSection(true);
  tblFrames->verticalHeader()->setVisible(false);
  tblFrames->setEditTriggers(QAbstractItemView::NoEditTriggers);
  btnSave = new QPushButton(QStringLiteral("Save..."), this);
  btnClear = new QPushButton(QStringLiteral("Clear"), this);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(btnClear);
  buttons->addWidget(btnSave);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(tblFrames);
  layout->addLayout(buttons);
  connect(btnSave, &QPushButton::clicked, this, &TfrmTrace::SaveClick);
  connect(btnClear, &QPushButton::clicked, this, &TfrmTrace::ClearClick);
  connect(&refresh_, &QTimer::timeout, this, &TfrmTrace::Refresh);
  log_.Attach(link_);
  refresh_.start(kRefreshMs);
}

TfrmTrace::~TfrmTrace() { log_.Detach(link_); }

void TfrmTrace::Refresh() {
  std::vector<serial::TraceRecord> records = log_.Records();
  const uint64_t total = log_.DroppedRecords() + records.size();
  if (total <= shown_) return;
  uint64_t fresh = total - shown_;
  if (fresh > records.size()) fresh = records.size();
  for (size_t i = records.size() - static_cast<size_t>(fresh); i < records.size(); ++i) AppendRow(records[i]);
  // The table keeps no more rows than the log keeps records.
  while (static_cast<size_t>(tblFrames->rowCount()) > serial::kTraceRecordsKept) tblFrames->removeRow(0);
  shown_ = total;
  tblFrames->scrollToBottom();
}

void TfrmTrace::AppendRow(const serial::TraceRecord& record) {
  const int row = tblFrames->rowCount();
  tblFrames->insertRow(row);
  tblFrames->setItem(row, kTime, Cell(std::to_string(SinceProgramStart(record).tickMs)));
  tblFrames->setItem(row, kDirection, Cell(record.direction == serial::TraceDirection::Sent ? ">" : "<"));
  std::string hex = serial::TraceHex(record.bytes);
  if (record.omitted > 0) hex += " (+" + std::to_string(record.omitted) + " bytes)";
  tblFrames->setItem(row, kHex, Cell(hex));
  // Bytes the link threw away while it waited for a quiet line are no reply.
  const bool discarded = record.direction == serial::TraceDirection::Discarded;
  tblFrames->setItem(row, kText, Cell(serial::TraceText(record.bytes) + (discarded ? "  (discarded)" : "")));
}

bool TfrmTrace::SaveTo(const QString& path) const {
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.toLocal8Bit().constData(), "w"));
  if (!file) return false;
  for (const serial::TraceRecord& record : log_.Records()) {
    const std::string line = serial::TraceLine(SinceProgramStart(record)) + "\n";
    if (std::fputs(line.c_str(), file.get()) < 0) return false;
  }
  return std::fflush(file.get()) == 0;
}

void TfrmTrace::SaveClick() {
  const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Save frame trace"),
                                                    QStringLiteral("rt420-trace.txt"));
  if (!path.isEmpty() && !SaveTo(path)) std::fprintf(stderr, "rt420config: could not write the trace to %s\n",
                                                     path.toLocal8Bit().constData());
}

void TfrmTrace::ClearClick() {
  log_.Clear();
  tblFrames->setRowCount(0);
  shown_ = log_.DroppedRecords();
}
