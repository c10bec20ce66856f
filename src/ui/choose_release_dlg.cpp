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
  // MusicBrainz tells where a release came out; a CDDB entry has a category instead.
  m_list->setHeaderLabels({tr("Album"), tr("Artist"), tr("Year"),
                           source == LookupSource::kMusicBrainz ? tr("Country") : tr("Category"),
                           tr("Tracks")});
  for (const DiscCandidate& candidate : candidates) {
    auto* row = new QTreeWidgetItem(m_list);
    row->setText(0, ToQt(candidate.album));
    row->setText(1, ToQt(candidate.artist));
    row->setText(2, candidate.year > 0 ? QString::number(candidate.year) : QString());
    row->setText(3, ToQt(candidate.country.empty() ? candidate.category : candidate.country));
    row->setText(4, QString::number(candidate.trackCount));
    row->setTextAlignment(4, Qt::AlignRight | Qt::AlignVCenter);
  }
  if (m_list->topLevelItemCount() > 0) m_list->setCurrentItem(m_list->topLevelItem(0));
  for (int column = 0; column < m_list->columnCount(); ++column) m_list->resizeColumnToContents(column);
  m_list->header()->setStretchLastSection(false);
  m_list->setMinimumWidth(560);
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
