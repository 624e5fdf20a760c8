#pragma once

#include <QRect>
#include <string>
#include <vector>

#include "core/IPollWindowFactory.h"
#include "core/IVoteWindow.h"
#include "polldata/PollRecord.h"
#include "ui/controls/CSkinDialog.h"
#include "ui/skin/SkinSettings.h"

class QAbstractButton;
class QKeyEvent;
class QScrollArea;

namespace quibra {

class CReadOnlyText;
class PollManager;

// What an attendee sees of one poll (dialog 4002): in voting mode the whole
// question (and, for a poll that identifies voters, a line saying so) and one
// check box or radio button per choice, to answer it; in result mode the same
// dialog read-only, with each choice's count and bar and the number of voters.
// The rows scroll where even a dialog grown to the screen cannot hold them.
// Modeless and without parent. The manager owns it and destroys it; the dialog
// itself only ever hides.
class CPollVoteDlg : public CSkinDialog, public IVoteWindow {
    Q_OBJECT
public:
    // Rows take the ids from here upwards, in row order.
    static constexpr int kFirstRowId = 1000;

    // One row of choices: the choice button (none in result mode and on the
    // summary line), the text control and the choice name (empty on the summary).
    struct ChoiceRow {
        QAbstractButton* button = nullptr;
        QWidget* text = nullptr;
        std::wstring name;
    };

    // The buttons' tips come from `settings` (the host's skin settings).
    CPollVoteDlg(PollManager& manager, const SkinSettings& settings);
    ~CPollVoteDlg() override;

    // Filled by the manager before Create.
    void SetMode(VoteMode mode) { m_mode = mode; }
    VoteMode Mode() const { return m_mode; }
    PollRecord& MutableRecord() { return m_record; }

    // Builds the window from its template and the skin and fills it from the
    // record; a poll id that is empty leaves the bare template. Call once.
    void Create();
    // Centres the window on the primary screen's work area (or, while the
    // voting dialog shown before is open, a step down and right of it), shows,
    // raises and activates it.
    void ShowCentred();

    // IVoteWindow
    const PollRecord& Record() const override { return m_record; }
    bool IsVisible() const override { return isVisible(); }
    void Hide() override { hide(); }
    // The submitted ballot reached the server (the dialog hides) or finally did
    // not (the choices come back, Submit can be pressed again).
    void BallotDone(bool sent) override;
    // While a ballot is on its way: the dialog says so, and neither submits
    // again nor closes.
    bool Sending() const { return m_sending; }

    // 4018 submits; 4019, 4020 and the layout's close button close. Both run
    // once control is back in the event loop.
    void OnCommand(int id) override;

public slots:
    // Escape and the window's own close arrive here: they close (queued).
    void reject() override;

protected:
    // A click on a choice's text picks the choice.
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Enter submits (queued) from anywhere but a focused button, which clicks
    // itself; in result mode it closes.
    void keyPressEvent(QKeyEvent* event) override;
    // Keeps a choice reached with the keyboard scrolled into view.
    void FocusMoved(QWidget* now) override;

private:
    void PlaceFooterLine();
    // Moves every control below `y` down by `by` pixels and makes the dialog that much taller.
    void GrowBelow(int y, int by);
    void ShowWholeQuestion(CReadOnlyText& question);
    void AddPrivacyLine(const QWidget& question);
    // The widget the rows go in, `contentHeight` high, inside the scroll area
    // that starts at `firstRow`; and the first row's place in it.
    QWidget* CreateRowsArea(QRect firstRow, int contentHeight);
    static QRect FirstRow(const QWidget& rows);
    // The caption and footer buttons of the mode, with the skin's pictures and places.
    void SetUpModeControls();
    void CreateVotingRows(QRect row);
    void CreateResultRows(QRect row);
    QWidget* CreateRowText(QWidget* rows, const QRect& rect, const std::wstring& text);
    // Gives template button `id` the image and rectangle of layout entry
    // `entry` and the tooltip `tip`; false when the image does not load.
    bool SetUpButton(int id, const wchar_t* entry, const QString& tip);
    void SetTabOrder();
    int NextId() { return m_nextId++; }

    // Runs `command` from the event loop while the dialog is still shown.
    void Queue(void (CPollVoteDlg::*command)());
    void OnSubmit();
    void OnClose();
    void SetSending(bool sending);

    PollManager& m_manager;
    SkinSettings m_settings;
    VoteMode m_mode = VoteMode::Result;
    PollRecord m_record;
    std::vector<ChoiceRow> m_rows;
    QScrollArea* m_rowsArea = nullptr;
    int m_nextId = kFirstRowId;
    bool m_sending = false;
    QWidget* m_sendingText = nullptr;  // made the first time a ballot goes
};

}  // namespace quibra
