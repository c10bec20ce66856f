#pragma once
// The titles of the disc in the window: the record the rows are bound to, where its titles came
// from, the search for them on a worker, the question which release it is, and the record kept in
// the library.

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "disc/cdrom_toc.h"
#include "library/disc_info.h"
#include "library/lookup.h"
#include "settings/app_settings.h"

class QWidget;

namespace korvi {

class CChildView;
class DesktopNotifier;
class QtFrameMessenger;

class LookupController : public QObject {
  Q_OBJECT
 public:
  // What the window does for the flow: show a status text, and re-evaluate its commands.
  struct WindowHooks {
    std::function<void(const QString&)> showStatus;
    std::function<void()> commandsChanged;
  };

  // disc and drive are the window's, read when a search starts.
  LookupController(QWidget& window, QtFrameMessenger& messenger, const CAppSettings& settings,
                   const DiscToc& disc, const std::string& drive, const DesktopNotifier& notifier,
                   WindowHooks hooks);
  ~LookupController() override;

  void Attach(CChildView& view);

  void Start();
  // A search under way stops counting at once, and so does an answer still waiting for its question.
  void Stop();
  bool IsRunning() const { return m_search && m_search->IsRunning(); }

  CDiscInfo& Record() { return m_record; }
  // The disc is left: the record's edits are kept and the next disc starts with an empty record.
  void LeaveDisc();
  // The table of contents names the disc from here on, so that titles typed without a search are
  // kept for it too.
  void KnowDisc();
  // Keeps the user's edits of the disc.
  void SaveIfAny();
  // Shows the record in the info line and binds every row to a track record of it.
  void RefreshTrackView();
  // The track editor closed: an answer that waited for it asks its question now.
  void OnTrackEdited();

 private:
  void OnDone(uint64_t generation, LookupOutcome outcome);
  void NotifyOutcome(const LookupOutcome& outcome) const;
  void TakeFailure(const LookupOutcome& outcome);
  // Takes a source's answer: asks which one when there are several, applies it and keeps it.
  // typedSince: the record as it was before the user edited tracks, whose edits then stay.
  void TakeAnswer(LookupOutcome outcome, const CDiscInfo* typedSince = nullptr);
  // Asks which of several releases it is and applies it to outcome.record; false when none is taken.
  bool ChooseRelease(LookupOutcome& outcome, const CDiscInfo* typedSince);

  QWidget& m_window;
  QtFrameMessenger& m_messenger;
  const CAppSettings& m_settings;
  const DiscToc& m_disc;
  const std::string& m_drive;
  const DesktopNotifier& m_notifier;
  WindowHooks m_hooks;
  CChildView* m_view = nullptr;
  CDiscInfo m_record;
  std::string m_source;  // the source the titles came from, for the info line; empty: none
  std::unique_ptr<DiscInfoLookup> m_search;
  // An answer that waits for the track editor to close before it asks its question, and the
  // record as it was when the answer came.
  struct PendingAnswer {
    LookupOutcome outcome;
    CDiscInfo before;
  };
  std::optional<PendingAnswer> m_pending;
};

}  // namespace korvi
