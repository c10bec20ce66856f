#include "app/main_frame.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFontDatabase>
#include <QLabel>
#include <QMenuBar>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QVBoxLayout>
#include <chrono>
#include <utility>

#include "app/qt_messenger.h"
#include "app/serve_events.h"
#include "cddb/cddb_server.h"
#include "disc/cd_device.h"
#include "disc/hidden_track.h"
#include "disc/read_toc.h"
#include "rip/output_format.h"
#include "ui/about_dlg.h"
#include "ui/child_view.h"
#include "ui/drive_control_panel.h"
#include "ui/help.h"
#include "ui/prompt_overwrite_dlg.h"
#include "ui/prompts.h"
#include "ui/select_format_dlg.h"
#include "ui/settings_sheet.h"
#include "ui/toolbar_ex.h"
#include "ui/track_list_rows.h"

namespace korvi {
namespace {

constexpr const char* kProductName = "Korvi CD Ripper 2.2";

// The command table's texts in the user's language; null stays empty.
QString CommandText(const char* text) {
  return text ? QCoreApplication::translate("Commands", text) : QString();
}

constexpr int kStatusTextWidth = 200;
// How long the exit lets the blocks at the sound server finish. The server answers within a
// fraction of it; one that is stopped or hung must not keep the window from going.
constexpr std::chrono::milliseconds kSoundServerWait{2000};

}  // namespace

class CMainFrame::DeviceSource : public ISectorSource {
 public:
  explicit DeviceSource(CdDevice*& device) : m_device(device) {}
  bool ReadRawSectors(int32_t start, uint8_t* buffer, int32_t count) override {
    return m_device && m_device->ReadRawSectors(start, buffer, count);
  }
  void ForgetReads(int32_t near) override {
    if (m_device) m_device->ForgetReads(near);
  }

 private:
  CdDevice*& m_device;
};

CMainFrame::CMainFrame(const UserFolders& folders, RipReads reads)
    : m_folders(folders),
      m_source(std::make_unique<DeviceSource>(m_device)),
      m_settings(folders),
      m_store(RegistryStore::OpenForUser(folders)) {
  m_messenger = std::make_unique<QtFrameMessenger>(
      this, [this](unsigned message, uintptr_t w, intptr_t l) { return HandleMessage(message, w, l); });
  m_play = std::make_unique<PlayControl>(*m_messenger, *m_source);
  // Connecting to a server that is slow or hung must not freeze the window.
  m_play->Player().setOpenInBackground(true);
  m_play->onError = [this](const std::string& message, const std::string&) {
    Prompts::Current().ShowError(this, QString::fromStdString(message));
  };
  LookupController::WindowHooks hooks;
  hooks.showStatus = [this](const QString& text) { OnSetStatusText(text); };
  hooks.commandsChanged = [this] { UpdateCommandUI(); };
  m_lookup = std::make_unique<LookupController>(*this, *m_messenger, m_settings, m_toc, m_driveName, m_notifier,
                                                std::move(hooks));
  reads.store = &m_store;
  m_rip = std::make_unique<RipController>(*this, *m_messenger, m_settings,
                                          WindowDisc{m_device, m_toc, m_driveName, m_lookup->Record()},
                                          m_notifier, *m_source, std::move(reads));
  m_settings.LoadFromRegistry(m_store);
}

CMainFrame::~CMainFrame() {
  // First, so that no worker that fails to end can cost the user the settings.
  m_settings.SaveToRegistry(m_store);
  // The blocks still at the sound device report to this thread as they finish: serve them for a
  // while, so that the track is not cut in the middle of a block.
  m_play->OnPlayStop();
  ServeEventsWhile([this] { return m_play->IsBusy(); }, kSoundServerWait);
  // Closing is refused during a rip; should the window go anyway, the worker stops first.
  m_rip->StopAndWait();
  m_rip.reset();
  // Abandoned searches are joined while the messenger they report through still exists.
  m_lookup.reset();
  // A completion may still be sending to this thread when the server did not answer in time: the
  // closed messenger releases it, so that the player can join its device's thread, which gives up
  // a connection under way.
  m_messenger->Close();
  m_play.reset();
}

bool CMainFrame::Create() {
  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  m_toolBar = new CToolBarEx(central);
  m_view = new CChildView(*m_messenger, central);
  m_view->onRowsChanged = [this] { UpdateCommandUI(); };
  m_view->onTrackEdited = [this] { m_lookup->OnTrackEdited(); };
  layout->addWidget(m_toolBar);
  layout->addWidget(m_view, 1);
  setCentralWidget(central);

  m_lookup->Attach(*m_view);
  CreateActions();
  m_view->Create();  // lists the drives and reads the first one
  CreateStatusBar();
  CreateToolBar();
  m_rip->Attach(*m_view);
  CreateMenus();
  ApplyPanelFont();
  setWindowTitle(QString::asprintf("%s", kProductName));
  UpdateCommandUI();
  return true;
}

void CMainFrame::CreateStatusBar() {
  m_statusPrompt = new QLabel(QStringLiteral(" "), this);
  m_statusPrompt->setObjectName(QStringLiteral("statusPane0"));
  m_statusText = new QLabel(this);
  m_statusText->setObjectName(QStringLiteral("statusPane1"));
  m_statusText->setMinimumWidth(kStatusTextWidth);
  statusBar()->addWidget(m_statusPrompt, 1);
  statusBar()->addPermanentWidget(m_statusText);
}

void CMainFrame::CreateActions() {
  for (const CommandInfo& command : Commands()) {
    if (command.id == 0) continue;
    auto* action = new QAction(CommandText(command.text), this);
    action->setObjectName(QStringLiteral("command%1").arg(command.id));
    if (command.key) action->setShortcut(QKeySequence(QString::fromLatin1(command.key)));
    QString prompt = CommandText(command.prompt);
    if (command.id == ID_GET_CD_INFO) prompt += QString::fromStdString(CddbServerInUse());
    action->setStatusTip(prompt);
    if (command.tip) action->setToolTip(CommandText(command.tip));
    const int id = command.id;
    if (id == ID_VIEW_TOOLBAR || id == ID_VIEW_STATUS_BAR) {
      action->setCheckable(true);
      action->setChecked(true);
    }
    connect(action, &QAction::triggered, this, [this, id] { OnCommand(id); });
    addAction(action);  // keys work while the menu bar is hidden too
    m_actions[id] = action;
  }
}

void CMainFrame::CreateMenus() {
  QMenu* menus[] = {menuBar()->addMenu(tr("&File")), menuBar()->addMenu(tr("&View")),
                    menuBar()->addMenu(tr("&Help"))};
  for (const CommandInfo& command : Commands()) {
    QMenu* menu = menus[static_cast<int>(command.menu)];
    if (command.id == 0)
      menu->addSeparator();
    else
      menu->addAction(m_actions[command.id]);
  }
  for (QMenu* menu : menus) connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandUI);
}

void CMainFrame::CreateToolBar() {
  QList<QAction*> buttons;
  for (int position = 1; position <= 9; ++position)
    for (const CommandInfo& command : Commands())
      if (command.toolbarPosition == position) buttons << m_actions[command.id];
  m_toolBar->SetButtons(buttons);
  m_toolBar->SetBackgroundBitmap(0);
  m_toolBar->SetNormalBitmap(0);
  m_toolBar->SetHotBitmap(0);
  m_toolBar->SetDisabledBitmap(0);
  m_toolBar->SetPressedBitmap(0);
}

void CMainFrame::ApplyPanelFont() {
  QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
  if (QFontDatabase::families().contains(QStringLiteral("Tahoma"))) font.setFamily(QStringLiteral("Tahoma"));
  font.setStyleHint(QFont::SansSerif);
  font.setWeight(QFont::Normal);
  m_view->DrivePanel()->SetPanelFont(font);
}

QAction* CMainFrame::Action(int id) const {
  const auto found = m_actions.find(id);
  return found == m_actions.end() ? nullptr : found->second;
}

CommandState CMainFrame::State() const {
  CommandState state;
  state.ripping = IsRipping();
  state.playing = IsPlaying();
  if (m_view) {
    state.itemCount = m_view->Rows().RowCount();
    state.selectedCount = m_view->Rows().SelectedCount();
  }
  return state;
}

void CMainFrame::UpdateCommandUI() {
  const CommandState state = State();
  for (const auto& [id, action] : m_actions) action->setEnabled(CommandEnabled(id, state));
  if (auto* toolbar = Action(ID_VIEW_TOOLBAR); toolbar && m_toolBar)
    toolbar->setChecked(m_toolBar->isVisible() || !isVisible());
  if (auto* status = Action(ID_VIEW_STATUS_BAR)) status->setChecked(statusBar()->isVisible() || !isVisible());
  if (m_toolBar) m_toolBar->update();
}

void CMainFrame::OnCommand(int id) {
  if (!IsCommandEnabled(id)) return;
  if (const OutputFormatInfo* format = FindFormatByCommand(id)) StartRip(format->id);
  switch (id) {
    case ID_RIPPING: {
      int format = kFormatWave;
      if (ChooseOutputFormat(this, &format)) StartRip(format);
      if (m_toolBar) m_toolBar->update();
      break;
    }
    case ID_SELECT_ALL:
      SelectAll(true);
      break;
    case ID_SELECT_NONE:
      SelectAll(false);
      break;
    case ID_EDIT_TRACK:
      m_view->EditTrack();
      break;
    case ID_PLAY:
      m_messenger->Post(WM_PLAY_START);
      break;
    case ID_STOP:
      m_messenger->Post(WM_PLAY_STOP);
      break;
    case ID_GET_CD_INFO:
      m_lookup->Start();
      break;
    case ID_REFRESH:
      m_view->DrivePanel()->Refresh();
      break;
    case ID_SETTINGS:
      EditSettings(this, m_settings);
      break;
    case ID_APP_EXIT:
      close();
      break;
    case ID_VIEW_TOOLBAR:
      m_toolBar->setVisible(!m_toolBar->isVisible());
      break;
    case ID_VIEW_STATUS_BAR:
      statusBar()->setVisible(!statusBar()->isVisible());
      break;
    case ID_HELP:
      OpenHelp(this);
      break;
    case ID_APP_ABOUT:
      ShowAbout(this);
      break;
  }
  UpdateCommandUI();
}

void CMainFrame::SelectAll(bool checked) {
  TrackListRows& rows = m_view->Rows();
  for (int row = 0; row < rows.RowCount(); ++row) rows.SetChecked(row, checked);
}

void CMainFrame::StartRip(int format) {
  if (IsPlaying()) {
    Prompts::Current().ShowError(this, tr("Disc playing, please stop before ripping!\n"));
    return;
  }
  m_lookup->Stop();
  m_rip->Start(format);
}

intptr_t CMainFrame::HandleMessage(unsigned message, uintptr_t wParam, intptr_t lParam) {
  intptr_t result = 0;
  switch (message) {
    case WM_READ_TOC:
      result = OnReadToc(reinterpret_cast<CdDevice*>(lParam));
      break;
    case WM_RIP_STARTED:
      m_rip->OnStarted();
      break;
    case WM_RIP_FINISHED:
      m_rip->OnFinished();
      break;
    case WM_RIP_PROGRESS:
      m_rip->OnProgress(*reinterpret_cast<const RipProgress*>(lParam));
      break;
    case WM_RIP_FILE_NAME:
      m_rip->OnFileName(reinterpret_cast<const char*>(lParam));
      break;
    case WM_RIP_SUSPEND:
      m_rip->OnSuspend();
      break;
    case WM_RIP_RESUME:
      m_rip->OnResume();
      break;
    case WM_RIP_CANCEL:
      m_rip->OnCancel();
      break;
    case WM_ASK_OVERWRITE:
      AskOverwrite(this, QString::fromUtf8(reinterpret_cast<const char*>(wParam)),
                   reinterpret_cast<int32_t*>(lParam));
      break;
    case WM_SET_STATUS_TEXT: {
      const char* text = reinterpret_cast<const char*>(lParam);
      OnSetStatusText(QString::fromUtf8(text ? text : ""));
      break;
    }
    case WM_SET_DRIVE_NAME: {
      const char* name = reinterpret_cast<const char*>(lParam);
      m_driveName = name ? name : "";
      break;
    }
    case WM_PLAY_START:
      result = m_play->OnPlayStart(m_view->Rows(), m_view->Rows().FirstSelectedRow());
      break;
    case WM_PLAY_STOP:
      m_play->OnPlayStop();
      break;
    case WM_PLAY_BUFFER_DONE:
      m_play->OnBufferDone();
      break;
    case WM_GET_PLAY_POSITION:
      m_play->FillPlayPosition(reinterpret_cast<PlayPosition*>(lParam));
      break;
  }
  if (m_view) UpdateCommandUI();
  return result;
}

intptr_t CMainFrame::OnReadToc(CdDevice* device) {
  m_lookup->LeaveDisc();
  m_device = device;
  if (ReadTocIntoRows(m_device, m_toc, m_view->Rows()) != 0) return -1;
  if (const std::optional<TrackSpan> hidden = HiddenTrackOf(*m_device, m_toc))
    m_view->Rows().ShowHiddenTrack(*hidden);
  m_lookup->KnowDisc();
  if (m_settings.GetDiscInfoAutomatically) m_lookup->Start();
  return 0;
}

void CMainFrame::OnSetStatusText(const QString& text) {
  if (m_statusText) m_statusText->setText(text);
}

QString CMainFrame::StatusPrompt() const { return m_statusPrompt ? m_statusPrompt->text() : QString(); }
QString CMainFrame::StatusText() const { return m_statusText ? m_statusText->text() : QString(); }

bool CMainFrame::event(QEvent* event) {
  if (event->type() == QEvent::StatusTip) {
    // Prompts go to pane 0 only; pane 1 keeps its status text.
    const QString tip = static_cast<QStatusTipEvent*>(event)->tip();
    if (m_statusPrompt) m_statusPrompt->setText(tip.isEmpty() ? QStringLiteral(" ") : tip);
    return true;
  }
  return QMainWindow::event(event);
}

void CMainFrame::closeEvent(QCloseEvent* event) {
  if (IsPlaying()) {
    Prompts::Current().ShowError(this, tr("Please stop playing before exit this application!"));
    event->ignore();
    return;
  }
  if (IsRipping()) {
    Prompts::Current().ShowError(this, tr("Please stop ripping before exit this application!"));
    event->ignore();
    return;
  }
  m_lookup->Stop();
  event->accept();
  m_lookup->SaveIfAny();
}

}  // namespace korvi
