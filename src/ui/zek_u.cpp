#include "ui/zek_u.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScopeGuard>
#include <QTimer>

#include "engine/probe.h"
#include "platform/console.h"
#include "platform/file_access.h"
#include "platform/profile.h"
#include "ui/browse_u.h"
#include "ui/layout.h"
#include "ui/message_view.h"
#include "ui/utilities.h"
#include "ui/zek_help_u.h"
#include "ui/zek_intro_u.h"
#include "ui/zek_options_u.h"
#include "ui/zek_trouble_shooting_u.h"

namespace zek {
namespace {

// The least time between two frames of a run: 30 a second.
constexpr int kFrameMs = 33;
// The least time between two dispatches of the window system's messages during a run.
constexpr int kDispatchMs = 5;

// Its height is the font's line height; capitals, umlauts and descenders make
// sure of that in any font.
const QString kHeightSample = QString::fromUtf8("ABCDGHhgjXy_-,;.-\"§$%&TÜÖÄ+*\\ßäöügjkiqQ");

}  // namespace

TfrmZEKMain::TfrmZEKMain(std::vector<std::string> arguments)
    : arguments_(std::move(arguments)), client_(new QWidget(this)), run_(*this, *this) {
  // A log on a FIFO whose reader goes away must end the run as an I/O
  // error, not the program with everything the user typed into it.
  IgnoreWriteSignals();
  setWindowTitle("ZEK32 ");
  setFont(WindowsFont(14));
  ResizeOuter(this, 461, 429);

  // The face colour and its text both come from the palette, so any colour scheme reads.
  client_->setAutoFillBackground(true);
  client_->installEventFilter(this);
  setCentralWidget(client_);

  edtPfad1 = new QLineEdit(client_);
  edtPfad2 = new QLineEdit(client_);
  cbxIncludeSubDir = new QCheckBox("Include Sub-Directories", client_);
  cbxIncludeSubDir->setChecked(true);
  btnStart = new QPushButton("Compare", client_);
  btnCancel = new QPushButton("Cancel", client_);
  btnQuit = new QPushButton("Quit", client_);
  Memo1 = new TMessageView(client_);
  Memo1->setFont(WindowsFont(17));
  ProgressBarOneFile = new QProgressBar(client_);
  ProgressBarOneFile->setRange(0, 100);
  ProgressBarOneFile->setValue(0);
  ProgressBarOneFile->setTextVisible(false);
  btnBrowse1 = new QPushButton("Browse", client_);
  btnBrowse2 = new QPushButton("Browse", client_);
  lblPfad1 = new QLabel("Source:  ", client_);
  lblPfad2 = new QLabel("Target:  ", client_);
  lblFile = new QLabel("File", client_);
  lblNichtGefunden = new QLabel(client_);
  lblVerschieden = new QLabel(client_);
  lblTotal = new QLabel(client_);
  lblByteTotal = new QLabel(client_);
  for (QLabel* label : {lblPfad1, lblPfad2, lblFile, lblNichtGefunden, lblVerschieden, lblTotal, lblByteTotal})
    label->setTextFormat(Qt::PlainText);
  // What a screen reader says for each control: the labels beside the fields
  // name them, the rest get names of their own.
  lblPfad1->setBuddy(edtPfad1);
  lblPfad2->setBuddy(edtPfad2);
  edtPfad1->setAccessibleName("Source");
  edtPfad2->setAccessibleName("Target");
  btnBrowse1->setAccessibleName("Browse for the source");
  btnBrowse2->setAccessibleName("Browse for the target");
  Memo1->setAccessibleName("Messages");
  ProgressBarOneFile->setAccessibleName("Progress of the current file");
  // The message window comes last, so that a keyboard user can reach its lines.
  const QList<QWidget*> tabOrder = {edtPfad1, edtPfad2, cbxIncludeSubDir, btnStart, btnCancel, btnQuit,
                                    btnBrowse1, btnBrowse2, Memo1};
  for (qsizetype i = 1; i < tabOrder.size(); ++i) setTabOrder(tabOrder[i - 1], tabOrder[i]);
  for (QPushButton* button : {btnStart, btnCancel, btnQuit, btnBrowse1, btnBrowse2}) button->installEventFilter(this);

  QMenu* files = menuBar()->addMenu("&Files");
  LoadSettings1 = files->addAction("&Load Settings");
  SaveSettings1 = files->addAction("&Save Settings");
  files->addSeparator();
  Quit1 = files->addAction("&Quit");
  Options1 = menuBar()->addAction("&Options");
  QMenu* help = menuBar()->addMenu("&Help");
  HowtouseZEK1 = help->addAction("&How to use ZEK32");
  TroubleShooting1 = help->addAction("&Trouble Shooting");
  help->addSeparator();
  About1 = help->addAction("&About");

  connect(btnStart, &QPushButton::clicked, this, &TfrmZEKMain::Button1Click);
  connect(btnCancel, &QPushButton::clicked, this, &TfrmZEKMain::btnCancelClick);
  connect(btnQuit, &QPushButton::clicked, this, &TfrmZEKMain::btnQuitClick);
  connect(btnBrowse1, &QPushButton::clicked, this, &TfrmZEKMain::btnBrowse1Click);
  connect(btnBrowse2, &QPushButton::clicked, this, &TfrmZEKMain::btnBrowse2Click);
  connect(LoadSettings1, &QAction::triggered, this, &TfrmZEKMain::LoadSettings1Click);
  connect(SaveSettings1, &QAction::triggered, this, &TfrmZEKMain::SaveSettings1Click);
  connect(Quit1, &QAction::triggered, this, &TfrmZEKMain::Quit1Click);
  connect(Options1, &QAction::triggered, this, &TfrmZEKMain::Options1Click);
  connect(HowtouseZEK1, &QAction::triggered, this, &TfrmZEKMain::HowtouseZEK1Click);
  connect(TroubleShooting1, &QAction::triggered, this, &TfrmZEKMain::TroubleShooting1Click);
  connect(About1, &QAction::triggered, this, &TfrmZEKMain::About1Click);

  frameTimer_ = new QTimer(this);
  frameTimer_->setSingleShot(true);
  connect(frameTimer_, &QTimer::timeout, this, &TfrmZEKMain::ShowPending);

  CenterOnFirstShow(this);
  FormCreate();
}

void TfrmZEKMain::FormCreate() {
  firstActivation_ = true;
  frmBrowse = new TfrmBrowse(this);
  frmOptions = new TfrmOptions(this);
  frmIntro = new TfrmIntro(this);
  frmIntro->exec();
  ReadSettings(kSettingsFileName, *this, *frmOptions);
  KeepReachable();
}

void TfrmZEKMain::FormActivate() {
  if (!firstActivation_) return;
  firstActivation_ = false;
  // The home directory as its bytes stand: QDir::homePath() decodes them lossily.
  std::string home = qgetenv("HOME").toStdString();
  if (home.empty()) home = ToNative(QDir::homePath());
  if (home.back() != '/') home += '/';
  SetPath1(home + "*.*");
  edtPfad2->setText("/mnt/*.*");
  ReadSettings(kSettingsFileName, *this, *frmOptions);
  KeepReachable();
  if (arguments_.size() >= 1) SetPath1(arguments_[0]);
  if (arguments_.size() >= 2) SetPath2(arguments_[1]);
  run_.ResetCounters();
}

void TfrmZEKMain::FormResize() {
  const QFontMetrics pathFont(lblPfad1->font());
  MainMetrics metrics;
  metrics.TextHeight = pathFont.size(Qt::TextSingleLine, kHeightSample).height();
  metrics.SourceLabel = pathFont.horizontalAdvance(lblPfad1->text());
  metrics.TargetLabel = pathFont.horizontalAdvance(lblPfad2->text());
  metrics.SubDirCaption = QFontMetrics(cbxIncludeSubDir->font()).horizontalAdvance(cbxIncludeSubDir->text());
  const MainLayout l = ComputeMainLayout(metrics, client_->width(), client_->height());
  SetBounds(lblPfad1, l.lblPfad1);
  SetBounds(edtPfad1, l.edtPfad1);
  SetBounds(btnBrowse1, l.btnBrowse1);
  SetBounds(lblPfad2, l.lblPfad2);
  SetBounds(edtPfad2, l.edtPfad2);
  SetBounds(btnBrowse2, l.btnBrowse2);
  SetBounds(cbxIncludeSubDir, l.cbxIncludeSubDir);
  SetBounds(btnStart, l.btnStart);
  SetBounds(btnCancel, l.btnCancel);
  SetBounds(btnQuit, l.btnQuit);
  SetBounds(lblFile, l.lblFile);
  SetBounds(ProgressBarOneFile, l.ProgressBarOneFile);
  SetBounds(lblNichtGefunden, l.lblNichtGefunden);
  SetBounds(lblVerschieden, l.lblVerschieden);
  SetBounds(lblTotal, l.lblTotal);
  SetBounds(lblByteTotal, l.lblByteTotal);
  SetBounds(Memo1, l.Memo1);
}

bool TfrmZEKMain::event(QEvent* event) {
  if (event->type() == QEvent::WindowActivate) FormActivate();
  return QMainWindow::event(event);
}

bool TfrmZEKMain::eventFilter(QObject* watched, QEvent* event) {
  if (PressFocusedButton(watched, event)) return true;
  if (watched == client_ && event->type() == QEvent::Resize) FormResize();
  // While a run goes on after a close request, any modal window closes at once.
  if (closePending_ && run_.Busy() && event->type() == QEvent::Show && watched->isWidgetType()) {
    auto* window = static_cast<QWidget*>(watched);
    if (window->isWindow() && window->isModal()) QTimer::singleShot(0, window, &QWidget::close);
  }
  return QMainWindow::eventFilter(watched, event);
}

void TfrmZEKMain::closeEvent(QCloseEvent* event) {
  if (!run_.Busy()) {
    event->accept();
    return;
  }
  // The run stops as Cancel stops it; Button1Click closes the window when it returns.
  event->ignore();
  run_.Break();
  if (!closePending_) {
    closePending_ = true;
    qApp->installEventFilter(this);
  }
}

void TfrmZEKMain::Button1Click() {
  if (run_.Busy()) return;
  lastDispatch_.invalidate();  // the first request of a run is always served
  CallGuarded(this, [this] {
    // However the run ends, its last state is on the screen before anything
    // else is, the error box included.
    const auto showLast = qScopeGuard([this] { ShowPending(); });
    run_.RunComparison();
  });
  if (closePending_) {
    closePending_ = false;
    qApp->removeEventFilter(this);
    close();
  }
}

void TfrmZEKMain::btnCancelClick() { run_.Break(); }

void TfrmZEKMain::btnQuitClick() {
  CallGuarded(this, [this] { SaveSettingsAndClose(*this, *frmOptions); });
}

void TfrmZEKMain::Quit1Click() { btnQuitClick(); }

void TfrmZEKMain::btnBrowse1Click() { BrowseForField(edtPfad1); }

void TfrmZEKMain::btnBrowse2Click() { BrowseForField(edtPfad2); }

void TfrmZEKMain::BrowseForField(QLineEdit* field) { frmBrowse->BrowseFor(field, this); }

// The settings dialogs open where settings were last loaded or saved, at
// first in the directory of the program's own settings file.
QString TfrmZEKMain::SettingsDialogStart() const {
  if (!settingsDirectory_.isEmpty()) return settingsDirectory_ + "/*.ini";
  return QFileInfo(FromNative(ResolveSettingsPath(kSettingsFileName))).absolutePath() + "/*.ini";
}

void TfrmZEKMain::LoadSettings1Click() {
  const QString path = ChooseFile(this, false, "zek32 ini-files", "*.INI", SettingsDialogStart());
  if (path.isNull()) return;
  if (Files().FileExists(ToNative(path))) {
    settingsDirectory_ = QFileInfo(path).absolutePath();
    ReadSettings(ToNative(path), *this, *frmOptions);
    KeepReachable();
  } else {
    ShowMessage(this, "File not found.");
  }
}

void TfrmZEKMain::SaveSettings1Click() {
  const QString path = ChooseFile(this, true, "zek32 ini-files", "*.INI", SettingsDialogStart(), true);
  if (path.isNull()) return;
  if (ProbeFileName(ToNative(path))) {
    settingsDirectory_ = QFileInfo(path).absolutePath();
    CallGuarded(this, [&] { WriteSettings(ToNative(path), false, *this, *frmOptions); });
  } else {
    ShowMessage(this, "Can not create file.");
  }
}

void TfrmZEKMain::Options1Click() { frmOptions->ShowOver(this); }

void TfrmZEKMain::HowtouseZEK1Click() {
  const Bounds main = OuterBounds(this);
  SetOuterBounds(frmHelp, {main.Left + 40, main.Top + 40, main.Width, main.Height});
  frmHelp->show();
  frmHelp->raise();
  frmHelp->activateWindow();
}

void TfrmZEKMain::TroubleShooting1Click() {
  frmTroubleShooting->show();
  frmTroubleShooting->raise();
  frmTroubleShooting->activateWindow();
}

void TfrmZEKMain::About1Click() { frmIntro->ShowAsAbout(); }

QLabel* TfrmZEKMain::StatusLabelOf(StatusLabel label) const {
  switch (label) {
    case StatusLabel::NichtGefunden:
      return lblNichtGefunden;
    case StatusLabel::Verschieden:
      return lblVerschieden;
    case StatusLabel::Total:
      return lblTotal;
    case StatusLabel::ByteTotal:
      return lblByteTotal;
    case StatusLabel::File:
      break;
  }
  return lblFile;
}

void TfrmZEKMain::ClearMessages() {
  pending_.lines = false;
  Memo1->clear();
}

void TfrmZEKMain::AppendMessage(const std::string& line) {
  Memo1->Append(line);
  pending_.lines = true;
  ScheduleFrame();
}

void TfrmZEKMain::SetLabel(StatusLabel label, const std::string& caption) {
  pending_.captions[static_cast<size_t>(label)] = caption;
  ScheduleFrame();
}

void TfrmZEKMain::SetProgressRange(int minimum, int maximum) {
  pending_.range = {minimum, maximum};
  ScheduleFrame();
}

void TfrmZEKMain::SetProgressPosition(int position) {
  pending_.position = position;
  ScheduleFrame();
}

// The run asks for a repaint at every file; more frames than the screen shows
// would only slow the run down, so a request soon after the last frame waits
// for the frame timer. During a run only what changed is painted, by the
// dispatch that follows at once.
void TfrmZEKMain::Repaint() {
  if (run_.Busy() && !FrameDue()) return;
  ShowPending();
  if (!run_.Busy()) repaint();
}

bool TfrmZEKMain::FrameDue() const { return !lastFrame_.isValid() || lastFrame_.elapsed() >= kFrameMs; }

void TfrmZEKMain::ScheduleFrame() {
  // Outside a run nothing comes fast enough to be worth waiting for.
  if (!run_.Busy()) return ShowPending();
  if (!frameTimer_->isActive()) frameTimer_->start(FrameDue() ? 0 : kFrameMs - int(lastFrame_.elapsed()));
}

void TfrmZEKMain::ShowPending() {
  frameTimer_->stop();
  lastFrame_.start();
  for (size_t i = 0; i < pending_.captions.size(); ++i) {
    if (!pending_.captions[i]) continue;
    StatusLabelOf(static_cast<StatusLabel>(i))->setText(FromNative(*pending_.captions[i]));
    pending_.captions[i].reset();
  }
  if (pending_.range) {
    const auto [minimum, maximum] = *pending_.range;
    // Qt draws an empty range as an endless busy animation; a small file's bar stays still and empty.
    ProgressBarOneFile->setRange(minimum, maximum == minimum ? minimum + 1 : maximum);
    pending_.range.reset();
  }
  if (pending_.position) {
    ProgressBarOneFile->setValue(*pending_.position);
    pending_.position.reset();
  }
  if (pending_.lines) {
    Memo1->ShowAppended();
    pending_.lines = false;
  }
}

// A run asks after every line; with a million lines, asking the window system
// each time takes several times as long as the run itself. Every kDispatchMs
// is more often than a user can tell, and Cancel still takes effect at once
// (16 requests, a line, a file or 200,000 bytes each, pass too quickly for a user to notice).
void TfrmZEKMain::ProcessMessages() {
  // Even reading the clock at every request shows in a run's time: it is read at every 16th.
  if (run_.Busy() && lastDispatch_.isValid() && (++dispatchRequests_ % 16 != 0 || lastDispatch_.elapsed() < kDispatchMs))
    return;
  lastDispatch_.start();
  QCoreApplication::processEvents();
}

std::string TfrmZEKMain::SourcePath() const { return Path1(); }

std::string TfrmZEKMain::TargetPath() const { return Path2(); }

bool TfrmZEKMain::IncludeSubDir() const { return cbxIncludeSubDir->isChecked(); }

IOptionControls& TfrmZEKMain::Options() { return *frmOptions; }

int TfrmZEKMain::Left() const { return OuterBounds(this).Left; }

int TfrmZEKMain::Top() const { return OuterBounds(this).Top; }

int TfrmZEKMain::Width() const { return OuterBounds(this).Width; }

int TfrmZEKMain::Height() const { return OuterBounds(this).Height; }

// Each bound is set by itself, one move or resize of the window at a time.
void TfrmZEKMain::SetOuterBound(int32_t Bounds::*bound, int value) {
  Bounds b = OuterBounds(this);
  b.*bound = value;
  SetOuterBounds(this, b);
}

void TfrmZEKMain::SetLeft(int value) { SetOuterBound(&Bounds::Left, value); }

void TfrmZEKMain::SetTop(int value) { SetOuterBound(&Bounds::Top, value); }

void TfrmZEKMain::SetWidth(int value) { SetOuterBound(&Bounds::Width, value); }

void TfrmZEKMain::SetHeight(int value) { SetOuterBound(&Bounds::Height, value); }

WindowState TfrmZEKMain::State() const {
  if (isMaximized()) return WindowState::Maximized;
  if (isMinimized()) return WindowState::Minimized;
  return WindowState::Normal;
}

void TfrmZEKMain::SetState(WindowState state) {
  Qt::WindowStates states = windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized);
  if (state == WindowState::Maximized) states |= Qt::WindowMaximized;
  if (state == WindowState::Minimized) states |= Qt::WindowMinimized;
  SetWindowStateNow(this, states);
}

void TfrmZEKMain::SetIncludeSubDir(bool checked) { cbxIncludeSubDir->setChecked(checked); }

std::string TfrmZEKMain::Path1() const { return ToNative(edtPfad1->text()); }

void TfrmZEKMain::SetPath1(const std::string& text) { edtPfad1->setText(FromNative(text)); }

std::string TfrmZEKMain::Path2() const { return ToNative(edtPfad2->text()); }

void TfrmZEKMain::SetPath2(const std::string& text) { edtPfad2->setText(FromNative(text)); }

void TfrmZEKMain::Close() { close(); }

void TfrmZEKMain::KeepReachable() {
  if (State() != WindowState::Normal) return;
  const Bounds outer = OuterBounds(this);
  const QScreen* screen = QGuiApplication::screenAt(QPoint(outer.Left + outer.Width / 2, outer.Top + outer.Height / 2));
  if (screen == nullptr) screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  const QRect area = screen->availableGeometry();
  const Origin origin = ReachableOrigin(outer, {area.left(), area.top(), area.width(), area.height()});
  if (origin != Origin{outer.Left, outer.Top}) MoveOuter(this, origin);
}

}  // namespace zek
