#include "ui/choose_release_dlg.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace korvi {
namespace {

QString ToQt(const std::string& text) { return QString::fromUtf8(text.data(), qsizetype(text.size())); }

}  // namespace

CChooseReleaseDlg::CChooseReleaseDlg(QWidget* parent, const std::vector<DiscCandidate>& candidates)
    : QDialog(parent) {
  setWindowTitle(tr("Choose the Disc"));
  const LookupSource source = candidates.empty() ? LookupSource::kCddb : candidates.front().source;
  auto* question = new QLabel(tr("%1 knows more than one disc that matches this one. Which is it?")
                                  .arg(QString::fromLatin1(LookupSourceName(source))));
  question->setWordWrap(true);

  m_list = new QTreeWidget;
  m_list->setObjectName("releaseList");
  m_list->setRootIsDecorated(false);
  m_list->setUniformRowHeights(true);
  m_list->setAllColumnsShowFocus(true);
  // MusicBrainz tells the release apart from its other pressings: its own date, where it came out,
  // its label, catalogue number, barcode and format, and which disc of the set this is. A CDDB
  // entry has a year and a category.
  const bool release = source == LookupSource::kMusicBrainz;
  if (release)
    m_list->setHeaderLabels({tr("Album"), tr("Artist"), tr("Date"), tr("Country"), tr("Label"),
                             tr("Catalog No."), tr("Barcode"), tr("Format"), tr("Disc"), tr("Tracks")});
  else
    m_list->setHeaderLabels({tr("Album"), tr("Artist"), tr("Year"), tr("Category"), tr("Tracks")});
  for (const DiscCandidate& candidate : candidates) {
    QStringList columns = {ToQt(candidate.album), ToQt(candidate.artist), ToQt(CandidateDate(candidate))};
    if (release)
      columns << ToQt(candidate.country) << ToQt(candidate.label) << ToQt(candidate.catalogNumber)
              << ToQt(candidate.barcode) << ToQt(candidate.format) << ToQt(DiscOfText(candidate));
    else
      columns << ToQt(candidate.category);
    columns << QString::number(candidate.trackCount);
    auto* row = new QTreeWidgetItem(m_list, columns);
    row->setTextAlignment(int(columns.size()) - 1, Qt::AlignRight | Qt::AlignVCenter);
  }
  if (m_list->topLevelItemCount() > 0) m_list->setCurrentItem(m_list->topLevelItem(0));
  for (int column = 0; column < m_list->columnCount(); ++column) m_list->resizeColumnToContents(column);
  m_list->header()->setStretchLastSection(false);
  m_list->setMinimumWidth(release ? 760 : 560);
  connect(m_list, &QTreeWidget::itemDoubleClicked, this, &CChooseReleaseDlg::accept);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  buttons->button(QDialogButtonBox::Ok)->setObjectName("okButton");
  buttons->button(QDialogButtonBox::Cancel)->setObjectName("cancelButton");
  connect(buttons, &QDialogButtonBox::accepted, this, &CChooseReleaseDlg::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &CChooseReleaseDlg::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(question);
  layout->addWidget(m_list);
  layout->addWidget(buttons);
}

int CChooseReleaseDlg::Chosen() const {
  const int row = m_list->indexOfTopLevelItem(m_list->currentItem());
  return row < 0 ? 0 : row;
}

}  // namespace korvi
