#include "ui/child_view.h"

#include <QEvent>
#include <QHeaderView>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "disc/track_info.h"
#include "ui/drive_control_panel.h"
#include "ui/prompts.h"
#include "ui/track_edit_dlg.h"
#include "ui/track_list_rows.h"

namespace korvi {

CChildView::CChildView(IFrameMessenger& frame, QWidget* parent)
    : QWidget(parent),
      m_list(new QTreeWidget(this)),
      m_panel(new CDriveControlPanel(frame, this)),
      m_rows(std::make_unique<TrackListRows>(m_list)) {
  m_list->setObjectName(QStringLiteral("trackList"));
  m_list->setRootIsDecorated(false);
  m_list->setUniformRowHeights(true);
  m_list->setAllColumnsShowFocus(true);
  m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
  m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
  m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
  m_list->setHeaderLabels(
      {tr("Track name"), tr("Length"), tr("Begin sectors"), tr("End sectors"), tr("Status")});
  // Narrow: the longest status is "Errors at 12:34.56".
  const int widths[kTrackListColumnCount] = {200, 100, 100, 100, 120};
  for (int column = 0; column < kTrackListColumnCount; ++column)
    m_list->header()->resizeSection(column, widths[column]);
  for (int column = kColumnLength; column < kTrackColumnCount; ++column)
    m_list->headerItem()->setTextAlignment(column, Qt::AlignRight | Qt::AlignVCenter);
  m_list->header()->setStretchLastSection(false);
  m_list->viewport()->installEventFilter(this);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(m_panel);
  layout->addWidget(m_list, 1);

  const auto changed = [this] {
    if (onRowsChanged) onRowsChanged();
  };
  connect(m_list, &QTreeWidget::itemSelectionChanged, this, changed);
  connect(m_list, &QTreeWidget::itemChanged, this, changed);
  connect(m_list->model(), &QAbstractItemModel::rowsInserted, this, changed);
  connect(m_list->model(), &QAbstractItemModel::modelReset, this, changed);
  connect(m_list->model(), &QAbstractItemModel::rowsRemoved, this, changed);
}

CChildView::~CChildView() {
  // The list still signals while Qt deletes it, after this object's members are gone.
  onRowsChanged = nullptr;
}

void CChildView::Create() { m_panel->Create(); }

bool CChildView::eventFilter(QObject* watched, QEvent* event) {
  // A double click anywhere in the list edits the selected row, as the command does.
  if (watched == m_list->viewport() && event->type() == QEvent::MouseButtonDblClick) {
    EditTrack();
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

void CChildView::EditTrack() {
  const int row = m_rows->FirstSelectedRow();
  if (row < 0) return;
  CTrackInfo* track = m_rows->ItemData(row);
  if (!track) return;
  CTrackEditDlg dialog(this);
  dialog.title = QString::fromStdString(m_rows->Text(row, kColumnName));
  dialog.artist = QString::fromStdString(track->artist);
  dialog.album = QString::fromStdString(track->album);
  dialog.comment = QString::fromStdString(track->comment);
  dialog.year = track->year;
  const CTrackEditDlg::Fields shown = dialog.Values();
  const uint64_t layout = m_rows->Layout();
  m_editing = true;
  const int result = Prompts::Current().RunModal(dialog);
  m_editing = false;
  // Whoever waited for the dialog to close goes on once the typed values are in.
  struct Closed {
    const std::function<void()>& then;
    ~Closed() {
      if (then) then();
    }
  } closed{onTrackEdited};
  if (result != QDialog::Accepted) return;
  // The dialog's event loop runs queued messages: a lookup that finished meanwhile has replaced
  // the records. What the user changed goes to the row's record as it is now, and only that, so
  // neither the typed values nor the lookup's other fields are lost; unless the rows are gone.
  if (m_rows->Layout() != layout || !(track = m_rows->ItemData(row))) return;
  const CTrackEditDlg::Fields typed = dialog.Values();
  if (typed.title != shown.title) {
    track->setTitle(typed.title.toStdString());
    m_rows->SetText(row, kColumnName, typed.title.toStdString());
  }
  if (typed.album != shown.album) track->album = typed.album.toStdString();
  if (typed.artist != shown.artist) track->artist = typed.artist.toStdString();
  if (typed.comment != shown.comment) track->comment = typed.comment.toStdString();
  if (typed.year != shown.year) track->year = typed.year;
}

}  // namespace korvi
