#include "ui/track_edit_dlg.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>
#include <algorithm>
#include <limits>

#include "disc/track_info.h"
#include "ui/prompts.h"

namespace korvi {
namespace {

// As far as the year is read, like the fixed buffer it was once copied into.
constexpr qsizetype kYearScanLength = 63;

// The blanks of the C locale's isspace.
bool IsBlank(QChar c) {
  return c == u' ' || c == u'\t' || c == u'\n' || c == u'\v' || c == u'\f' || c == u'\r';
}

bool IsDigit(QChar c) { return c >= u'0' && c <= u'9'; }

}  // namespace

std::optional<int> ScanLeadingInt(const QString& text) {
  const QStringView scanned = QStringView(text).left(kYearScanLength);
  qsizetype pos = 0;
  while (pos < scanned.size() && IsBlank(scanned[pos])) ++pos;
  bool negative = false;
  if (pos < scanned.size() && (scanned[pos] == u'+' || scanned[pos] == u'-'))
    negative = scanned[pos++] == u'-';
  if (pos >= scanned.size() || !IsDigit(scanned[pos])) return std::nullopt;

  // Accumulated wider than int and stopped at its limits, so a long number clamps instead of wrapping.
  constexpr long long kLimit = static_cast<long long>(std::numeric_limits<int>::max()) + 1;
  long long magnitude = 0;
  for (; pos < scanned.size() && IsDigit(scanned[pos]); ++pos)
    magnitude = std::min(kLimit, magnitude * 10 + (scanned[pos].unicode() - u'0'));
  const long long value = negative ? -magnitude : magnitude;
  return static_cast<int>(
      std::clamp<long long>(value, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

CTrackEditDlg::CTrackEditDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle(tr("Edit track"));

  auto* group = new QGroupBox(tr("Track info:"));
  auto* form = new QFormLayout(group);
  m_titleEdit = AddField(form, QT_TR_NOOP("Title:"), "titleEdit");
  m_artistEdit = AddField(form, QT_TR_NOOP("Artist:"), "artistEdit");
  m_albumEdit = AddField(form, QT_TR_NOOP("Album:"), "albumEdit");
  m_yearEdit = AddField(form, QT_TR_NOOP("Year:"), "yearEdit");
  m_commentEdit = AddField(form, QT_TR_NOOP("Comment:"), "commentEdit");

  auto* ok = new QPushButton(tr("OK"));
  ok->setObjectName("okButton");
  ok->setDefault(true);
  auto* cancel = new QPushButton(tr("Cancel"));
  cancel->setObjectName("cancelButton");
  connect(ok, &QPushButton::clicked, this, &CTrackEditDlg::accept);
  connect(cancel, &QPushButton::clicked, this, &CTrackEditDlg::reject);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(ok);
  buttons->addWidget(cancel);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(group);
  layout->addLayout(buttons);
}

QLineEdit* CTrackEditDlg::AddField(QFormLayout* form, const char* label, const char* name) {
  auto* edit = new QLineEdit;
  edit->setObjectName(QString::fromLatin1(name));
  edit->setMinimumWidth(260);
  form->addRow(tr(label), edit);  // marked with QT_TR_NOOP where called
  return edit;
}

void CTrackEditDlg::LoadFields() {
  m_titleEdit->setText(title);
  m_artistEdit->setText(artist);
  m_albumEdit->setText(album);
  // A track without a year shows an empty field, and an empty field leaves the year out.
  m_yearEdit->setText(year == kNoYear ? QString() : QString::number(year));
  m_commentEdit->setText(comment);
  m_loaded = true;
}

void CTrackEditDlg::showEvent(QShowEvent* event) {
  // A window system's re-show (after minimising) must not undo what the user typed.
  if (!event->spontaneous()) LoadFields();
  QDialog::showEvent(event);
}

void CTrackEditDlg::accept() {
  if (!m_loaded) LoadFields();
  const std::optional<int> typedYear = m_yearEdit->text().trimmed().isEmpty()
                                           ? std::optional<int>(kNoYear)
                                           : ScanLeadingInt(m_yearEdit->text());
  if (!typedYear) {
    Prompts::Current().ShowError(this, tr("Please enter an integer."));
    m_yearEdit->setFocus();
    m_yearEdit->selectAll();
    return;
  }
  title = m_titleEdit->text();
  artist = m_artistEdit->text();
  album = m_albumEdit->text();
  year = *typedYear;
  comment = m_commentEdit->text();
  QDialog::accept();
}

void CTrackEditDlg::done(int result) {
  // The next run shows the members afresh.
  m_loaded = false;
  QDialog::done(result);
}

}  // namespace korvi
