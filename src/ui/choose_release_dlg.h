#pragma once
// Asks which of several answers of a lookup source is the disc in the drive.

#include <QDialog>
#include <vector>

#include "metadata/disc_candidate.h"

class QTreeWidget;

namespace korvi {

class CChooseReleaseDlg : public QDialog {
  Q_OBJECT

 public:
  // One row per candidate, in their order, the first selected.
  CChooseReleaseDlg(QWidget* parent, const std::vector<DiscCandidate>& candidates);

  // The candidate of the selected row (0 when none is).
  int Chosen() const;

 private:
  QTreeWidget* m_list = nullptr;
};

}  // namespace korvi
