#include "ui/qt/stanload_dialog.h"

#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <algorithm>
#include <system_error>
#include <utility>

#include "install/installation.h"
#include "core/cp1251.h"
#include "ui/qt/app_icon.h"
#include "ui/qt/dialog_units.h"
#include "ui/qt/log_pane.h"
#include "ui/qt/operator_text.h"
#include "ui/qt/run_context_bridge.h"
#include "ui/port_tooltip.h"

namespace zelt20 {
namespace {

// The window's layout in dialog units.
constexpr QSize kWindowSize{279, 129};
constexpr QRect kStartRect{236, 7, 39, 15};
constexpr QRect kStopExitRect{236, 26, 39, 15};
constexpr QRect kProgressRect{4, 119, 227, 7};
constexpr QRect kLogPaneRect{4, 4, 227, 111};
constexpr QRect kPortBoxRect{238, 58, 37, 50};  // the height includes the dropped list
constexpr QRect kComLabelRect{245, 48, 18, 8};
// Tab stops of a multi-line edit: every 32 dialog units. The station's
// report lines line up their values with tabs.
constexpr QSize kLogTabStop{32, 0};

QString WindowCaption() {
  return OperatorText("Установщик рабочей программы для станции ZELT20"_cp1251);
}
QString StartCaption() { return OperatorText("Запись"_cp1251); }
QString ExitCaption() { return OperatorText("Выход"_cp1251); }
QString StopCaption() { return OperatorText("Стоп"_cp1251); }

QFont DialogFont() {
  QFont font(QStringLiteral("MS Sans Serif"));
  font.setPointSize(8);
  font.setStyleHint(QFont::SansSerif);
  return font;
}

// The worker thread: one run, then its end reported to the window. What the
// run holds is let go first: once the end is reported, the window may close
// and the process end, and the thread must have nothing left to destroy.
void WorkerThread(std::shared_ptr<RunContextBridge> bridge, RunWorker run_worker,
                  PortText port_text) {
  run_worker(*bridge, port_text.CString());
  run_worker = nullptr;
  bridge->WorkerEnded();
}

}  // namespace

StanloadDialog::StanloadDialog(Setup setup)
    : QDialog(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                           Qt::WindowCloseButtonHint),
      setup_(std::move(setup)),
      bridge_(std::make_shared<RunContextBridge>(*this)),
      app_icon_(MakeApplicationIcon()) {
  OnCreate();
  CreateControls();
  OnInitDialog();
}

// A window torn down without being closed lets go of its worker as closing
// does, but without waiting for it.
StanloadDialog::~StanloadDialog() {
  bridge_->Detach();
  if (!worker_.joinable()) return;
  if (bridge_->WaitForWorkerEnd(std::chrono::milliseconds(0))) {
    worker_.join();
  } else {
    worker_.detach();
  }
}

const RunFlags& StanloadDialog::Flags() const { return bridge_->Flags(); }

void StanloadDialog::OnCreate() { remembered_port_ = ReadRememberedPort(setup_.settings_path); }

void StanloadDialog::CreateControls() {
  setFont(DialogFont());
  const DialogUnits units(font());
  setFixedSize(units.ToPixels(kWindowSize));
  move(0, 0);

  start_ = new QPushButton(this);
  start_->setObjectName(QStringLiteral("start"));
  start_->setGeometry(units.ToPixels(kStartRect));
  start_->setDefault(true);
  connect(start_, &QPushButton::clicked, this, &StanloadDialog::OnOK);

  // Enter never means Stop/Exit, wherever the focus is: it starts a run
  // while Start is enabled and does nothing otherwise.
  stop_exit_ = new QPushButton(this);
  stop_exit_->setObjectName(QStringLiteral("stopExit"));
  stop_exit_->setGeometry(units.ToPixels(kStopExitRect));
  stop_exit_->setAutoDefault(false);
  connect(stop_exit_, &QPushButton::clicked, this, &StanloadDialog::OnCancel);

  progress_ = new QProgressBar(this);
  progress_->setObjectName(QStringLiteral("progress"));
  progress_->setGeometry(units.ToPixels(kProgressRect));
  progress_->setRange(0, 100);
  progress_->setTextVisible(false);

  log_pane_ = new LogPane(this);
  log_pane_->setObjectName(QStringLiteral("logPane"));
  log_pane_->setGeometry(units.ToPixels(kLogPaneRect));
  log_pane_->setTabStopDistance(units.ToPixels(kLogTabStop).width());

  port_box_ = new QComboBox(this);
  port_box_->setObjectName(QStringLiteral("portBox"));
  port_box_->setEditable(true);
  port_box_->setInsertPolicy(QComboBox::NoInsert);
  const QRect box = units.ToPixels(kPortBoxRect);
  const int closed_height = port_box_->sizeHint().height();
  port_box_->setGeometry(box.x(), box.y(), box.width(), closed_height);
  const int row_height = port_box_->fontMetrics().height() + 2;
  port_box_->setMaxVisibleItems(std::max(1, (box.height() - closed_height) / row_height));

  auto* com_label = new QLabel(QStringLiteral("COM"), this);
  com_label->setObjectName(QStringLiteral("comLabel"));
  com_label->setGeometry(units.ToPixels(kComLabelRect));
  com_label->setAlignment(Qt::AlignLeft | Qt::AlignTop);

  setTabOrder(start_, stop_exit_);
  setTabOrder(stop_exit_, log_pane_);
  setTabOrder(log_pane_, port_box_);

  log_text_.SetObserver([this](std::string_view) { log_pane_->ShowLog(log_text_.Text()); });
}

bool StanloadDialog::OnInitDialog() {
  setWindowIcon(app_icon_);
  bridge_->Flags().Reset();
  log_text_.Clear();
  setWindowTitle(WindowCaption());
  LogInstallerRelease(*this);
  SetProgressPosition(0);
  start_->setText(StartCaption());
  stop_exit_->setText(ExitCaption());
  SetUpPortBox();
  start_->setFocus();
  return true;
}

void StanloadDialog::SetUpPortBox() {
  for (int position = 0; position < kPortBoxEntries; ++position) {
    port_box_->addItem(QString::fromStdString(PortEntryText(position)));
  }
  const PortBoxStart start = StartPortBox(remembered_port_, setup_.command_line_port);
  port_box_->setCurrentIndex(start.selected_position);
  port_box_->setEditText(QString::fromStdString(start.shown_text));
  port_box_->setEnabled(!start.locked);
  ShowPortTooltip(PortBoxTooltip(start.shown_text, setup_.settings_path));
  connect(port_box_, &QComboBox::editTextChanged, this, [this](const QString& text) {
    ShowPortTooltip(PortBoxTooltip(text.toStdString(), setup_.settings_path));
  });
}

void StanloadDialog::ShowPortTooltip(const std::string& text) {
  port_box_->setToolTip(QString::fromStdString(text));
}

void StanloadDialog::OnOK() {
  // Start is disabled from its press until a run that never opened the
  // port ends, so this also keeps a second worker from starting.
  if (!start_->isEnabled()) return;
  start_->setEnabled(false);
  bridge_->Flags().port_may_retry = true;
  stop_exit_->setText(StopCaption());
  port_text_.Assign(Utf8ToCp1251(TakePortText()));
  StartWorker();
}

std::string StanloadDialog::TakePortText() {
  // A disabled box here is one locked by the command-line port.
  if (!port_box_->isEnabled()) return setup_.command_line_port;
  std::string text = port_box_->currentText().toStdString();
  port_box_->setEnabled(false);
  return text;
}

void StanloadDialog::StartWorker() {
  // The previous worker called FinishRun as its last action; it is gone or
  // about to be.
  if (worker_.joinable()) worker_.join();
  bridge_->WorkerStarting();
  try {
    worker_ = std::thread(WorkerThread, bridge_, setup_.run_worker, port_text_);
  } catch (const std::system_error&) {
    // Nothing is reported; the window keeps the look of a run opening the
    // port, and Stop/Exit closes it.
    bridge_->WorkerEnded();
  }
}

void StanloadDialog::OnCancel() {
  RunFlags& flags = bridge_->Flags();
  if (flags.finished || flags.port_may_retry || flags.stop_requested) {
    EndDialog();
    return;
  }
  flags.stop_requested = true;
  stop_exit_->setText(ExitCaption());
}

void StanloadDialog::reject() { OnCancel(); }

void StanloadDialog::EndDialog() {
  // The window stops serving the worker before it waits for it: a worker
  // blocked in a request goes on at once instead of waiting for a window
  // that is waiting for it.
  bridge_->Detach();
  if (worker_.joinable()) {
    if (bridge_->WaitForWorkerEnd(setup_.close_wait)) {
      worker_.join();
    } else {
      worker_.detach();
      left_worker_running_ = true;
    }
  }
  OnDestroy();
  QDialog::done(QDialog::Rejected);
}

void StanloadDialog::OnDestroy() {
  StoreRememberedPort(setup_.settings_path, RememberedPortForSelection(port_box_->currentIndex()));
}

void StanloadDialog::AppendLog(const char* text) { log_text_.Append(text); }

void StanloadDialog::SetProgressPosition(std::int32_t position) {
  progress_->setValue(std::clamp(position, 0, 100));
}

bool StanloadDialog::AskConfirmation(const char* text, const char* caption) {
  QPointer<QMessageBox> box = new QMessageBox(QMessageBox::Warning, OperatorText(caption),
                                              OperatorText(text),
                                              QMessageBox::Ok | QMessageBox::Cancel, this);
  box->setDefaultButton(QMessageBox::Ok);
  box->setEscapeButton(QMessageBox::Cancel);
  const int answer = box->exec();
  delete box;
  return answer == QMessageBox::Ok;
}

void StanloadDialog::FinishRun() {
  if (bridge_->Flags().port_may_retry && setup_.port_failure) {
    if (const std::optional<DeviceFailure> failure = setup_.port_failure()) {
      ShowPortTooltip(PortFailureTooltip(*failure, setup_.settings_path));
    }
  }
  if (bridge_->Flags().port_may_retry) start_->setEnabled(true);
  port_box_->setEnabled(true);
  stop_exit_->setText(ExitCaption());
  stop_exit_->setFocus();
}

}  // namespace zelt20
