#pragma once

#include <array>
#include <string>

#include "polldata/PollRecord.h"
#include "ui/controls/CSkinDialog.h"
#include "ui/skin/SkinSettings.h"

class QLineEdit;

namespace quibra {

class CColorRadioButton;
class CImageButton;

// The question editor (dialog 4001): the title, single or multiple answers,
// whether voters are identified, and up to seven choices A to G. The caller
// fills Record() (an empty record for a new poll), runs the dialog modally and
// reads Record() only when it returns Accepted. It sends nothing itself.
class CPollQuestionDlg : public CSkinDialog {
public:
    static constexpr int kTitleId = 4005;
    static constexpr int kSingleId = 4008;
    static constexpr int kMultipleId = 4009;
    static constexpr int kIdentifyId = 4010;
    static constexpr int kOkId = 4019;
    static constexpr int kCancelId = 4020;
    // The choice edits in the order A..G (E and D are not in item order).
    static constexpr std::array<int, 7> kChoiceIds = {4012, 4014, 4016, 4018, 4017, 4026, 4027};
    static constexpr int kTextLimit = 255;

    // Without a parent window; `settings` give the OK and Cancel tooltips.
    explicit CPollQuestionDlg(const SkinSettings& settings = {});
    ~CPollQuestionDlg() override;

    PollRecord& Record() { return m_record; }
    const PollRecord& Record() const { return m_record; }

    // Sets the controls up from the record (once), then runs modally. A
    // record of more than seven choices is refused with a message (Rejected).
    int exec() override;
    // OK validates and stores, Cancel and the layout's close button cancel.
    void OnCommand(int id) override;

private:
    void InitDialog();
    // Validates what is typed; on success stores it into the record.
    bool StoreInput();

    SkinSettings m_settings;
    PollRecord m_record;
    // The radio pair as one value (0 single, 1 multiple) and the identify box,
    // as a new poll starts.
    int m_radioIndex = 1;
    bool m_identify = true;
    bool m_initialised = false;
    QLineEdit* m_title = nullptr;
    std::array<QLineEdit*, 7> m_choices{};
    CColorRadioButton* m_single = nullptr;
    CColorRadioButton* m_multiple = nullptr;
    CColorRadioButton* m_identifyBox = nullptr;
};

}  // namespace quibra
