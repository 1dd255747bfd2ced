// SPDX-License-Identifier: MIT
#include "trace_window.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QVBoxLayout>
#include <cstdio>
#include <memory>

namespace {
using form::TraceModel;

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

TfrmTrace::TfrmTrace(serial::LinkState& link) : model_(link) {
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
  refresh_.start(TraceModel::kRefreshMs);
}

TfrmTrace::~TfrmTrace() = default;

void TfrmTrace::Refresh() {
  const std::vector<serial::TraceRecord> records = model_.TakeFresh();
  if (records.empty()) return;
  for (const serial::TraceRecord& record : records) AppendRow(record);
  while (static_cast<size_t>(tblFrames->rowCount()) > TraceModel::kRowsKept) tblFrames->removeRow(0);
  tblFrames->scrollToBottom();
}

void TfrmTrace::AppendRow(const serial::TraceRecord& record) {
  const int row = tblFrames->rowCount();
  tblFrames->insertRow(row);
  tblFrames->setItem(row, kTime, Cell(std::to_string(record.tickMs)));
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
  return file && model_.WriteLines(file.get());
}

void TfrmTrace::SaveClick() {
  const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Save frame trace"),
                                                    QStringLiteral("rt420-trace.txt"));
  if (!path.isEmpty() && !SaveTo(path)) std::fprintf(stderr, "rt420config: could not write the trace to %s\n",
                                                     path.toLocal8Bit().constData());
}

void TfrmTrace::ClearClick() {
  model_.Clear();
  tblFrames->setRowCount(0);
}
