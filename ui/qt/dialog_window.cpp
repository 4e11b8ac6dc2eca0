#include "ui/qt/dialog_window.h"

#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <algorithm>
#include <utility>

#include "core/cp1251.h"
#include "ui/dialog_layout.h"
#include "ui/qt/app_icon.h"
#include "ui/qt/dialog_units.h"
#include "ui/qt/log_pane.h"
#include "ui/qt/operator_text.h"
#include "ui/qt/run_context_bridge.h"
#include "ui/port_tooltip.h"

namespace zelt20 {
namespace {

// Tab stops of a multi-line edit: every 32 dialog units. The station's
// report lines line up their values with tabs.
constexpr dialog_layout::Rect kLogTabStop{0, 0, 32, 0};

QFont DialogFont() {
  QFont font(QString::fromLatin1(dialog_layout::kFontName));
  font.setPointSize(dialog_layout::kFontPoints);
  font.setStyleHint(QFont::SansSerif);
  return font;
}

}  // namespace

DialogWindow::DialogWindow(Setup setup)
    : QDialog(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                           Qt::WindowCloseButtonHint),
      app_icon_(MakeApplicationIcon()),
      logic_(std::make_unique<MainDialog>(static_cast<DialogView&>(*this),
                                          std::make_shared<RunContextBridge>(*this),
                                          std::move(setup))) {
  logic_->OnCreate();
  CreateControls();
  setWindowIcon(app_icon_);
  logic_->OnInitDialog();
  start_->setFocus();
}

DialogWindow::~DialogWindow() = default;

void DialogWindow::CreateControls() {
  setFont(DialogFont());
  const DialogUnits units(font());
  const QRect window = units.ToPixels(dialog_layout::kWindow);
  setFixedSize(window.size());
  move(window.topLeft());

  start_ = new QPushButton(this);
  start_->setObjectName(QStringLiteral("start"));
  start_->setGeometry(units.ToPixels(dialog_layout::kStart.rect));
  start_->setDefault(true);
  connect(start_, &QPushButton::clicked, this, [this] { logic_->OnOK(); });

  // Enter never means Stop/Exit, wherever the focus is: it starts a run
  // while Start is enabled and does nothing otherwise.
  stop_exit_ = new QPushButton(this);
  stop_exit_->setObjectName(QStringLiteral("stopExit"));
  stop_exit_->setGeometry(units.ToPixels(dialog_layout::kStopExit.rect));
  stop_exit_->setAutoDefault(false);
  connect(stop_exit_, &QPushButton::clicked, this, [this] { logic_->OnCancel(); });

  progress_ = new QProgressBar(this);
  progress_->setObjectName(QStringLiteral("progress"));
  progress_->setGeometry(units.ToPixels(dialog_layout::kProgress.rect));
  progress_->setRange(0, 100);
  progress_->setTextVisible(false);

  log_pane_ = new LogPane(this);
  log_pane_->setObjectName(QStringLiteral("logPane"));
  log_pane_->setGeometry(units.ToPixels(dialog_layout::kLogPane.rect));
  log_pane_->setTabStopDistance(units.ToPixels(kLogTabStop).width());

  port_box_ = new QComboBox(this);
  port_box_->setObjectName(QStringLiteral("portBox"));
  port_box_->setEditable(true);
  port_box_->setInsertPolicy(QComboBox::NoInsert);
  const QRect box = units.ToPixels(dialog_layout::kPortBox.rect);
  const int closed_height = port_box_->sizeHint().height();
  port_box_->setGeometry(box.x(), box.y(), box.width(), closed_height);
  const int row_height = port_box_->fontMetrics().height() + 2;
  port_box_->setMaxVisibleItems(std::max(1, (box.height() - closed_height) / row_height));

  auto* com_label = new QLabel(QStringLiteral("COM"), this);
  com_label->setObjectName(QStringLiteral("comLabel"));
  com_label->setGeometry(units.ToPixels(dialog_layout::kComLabel.rect));
  com_label->setAlignment(Qt::AlignLeft | Qt::AlignTop);

  setTabOrder(start_, stop_exit_);
  setTabOrder(stop_exit_, log_pane_);
  setTabOrder(log_pane_, port_box_);

  connect(port_box_, &QComboBox::editTextChanged, this, [this] { logic_->OnPortBoxEdited(); });
}

void DialogWindow::reject() { logic_->OnCancel(); }

void DialogWindow::SetWindowCaption(std::string_view text) { setWindowTitle(OperatorText(text)); }

void DialogWindow::SetStartCaption(std::string_view text) { start_->setText(OperatorText(text)); }

void DialogWindow::SetStopExitCaption(std::string_view text) {
  stop_exit_->setText(OperatorText(text));
}

void DialogWindow::EnableStart(bool enabled) { start_->setEnabled(enabled); }

void DialogWindow::FocusStopExit() { stop_exit_->setFocus(); }

void DialogWindow::AddPortEntry(std::string_view text) { port_box_->addItem(OperatorText(text)); }

void DialogWindow::SelectPortEntry(int position) { port_box_->setCurrentIndex(position); }

void DialogWindow::SetPortBoxText(std::string_view text) {
  port_box_->setEditText(OperatorText(text));
}

void DialogWindow::EnablePortBox(bool enabled) { port_box_->setEnabled(enabled); }

void DialogWindow::SetPortBoxHint(std::string_view text) {
  port_box_->setToolTip(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

std::string DialogWindow::PortBoxText() const {
  return Utf8ToCp1251(port_box_->currentText().toStdString());
}

int DialogWindow::PortBoxSelection() const { return port_box_->currentIndex(); }

void DialogWindow::MakeLogReadOnly() { log_pane_->MakeReadOnly(); }

void DialogWindow::ShowLog(std::string_view log) { log_pane_->ShowLog(log); }

void DialogWindow::SetProgressPosition(std::int32_t position) {
  progress_->setValue(std::clamp(position, 0, 100));
}

bool DialogWindow::AskConfirmation(const char* text, const char* caption) {
  QPointer<QMessageBox> box = new QMessageBox(QMessageBox::Warning, OperatorText(caption),
                                              OperatorText(text),
                                              QMessageBox::Ok | QMessageBox::Cancel, this);
  box->setDefaultButton(QMessageBox::Ok);
  box->setEscapeButton(QMessageBox::Cancel);
  open_box_ = box;
  const int answer = box->exec();
  delete box;
  return answer == QMessageBox::Ok;
}

// Closing destroys the window as far as the program is concerned: the port
// is stored now.
void DialogWindow::CloseWindow() {
  // A window closed from outside (a signal) may have a box up: it goes
  // too, answered Cancel.
  if (open_box_) open_box_->reject();
  logic_->OnDestroy();
  QDialog::done(QDialog::Rejected);
}

}  // namespace zelt20
