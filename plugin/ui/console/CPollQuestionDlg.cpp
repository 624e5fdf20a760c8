#include "ui/console/CPollQuestionDlg.h"

#include <QLineEdit>
#include <algorithm>
#include <utility>

#include "config/AppConfig.h"
#include "core/ShowMessageBox.h"
#include "i18n/CWenMsg.h"
#include "i18n/MessageIds.h"
#include "ui/controls/CColorRadioButton.h"
#include "ui/controls/CImageButton.h"
#include "ui/controls/CTransparentStatic.h"
#include "ui/controls/DialogBackgroundColor.h"
#include "ui/controls/DialogFont.h"
#include "ui/controls/DialogTemplate.h"
#include "ui/skin/CSkinLayout.h"

namespace quibra {

namespace {

QString Msg(int id) {
    return QString::fromStdWString(CWenMsg::GetInstance().GetMsg(id));
}

using Dlg = CPollQuestionDlg;

// The caption control a skin may create for this dialog.
constexpr int kCaptionTextId = 32837;
constexpr int kTitleLabelId = 4031;
constexpr int kSingleLabelId = 4042;
constexpr int kMultipleLabelId = 4043;
constexpr int kIdentifyLabelId = 4044;
constexpr int kSeparatorId = 4045;

// Dialog 4001 in dialog units, in tab order.
constexpr TemplateItem kItems[] = {
    {kTitleLabelId, ControlKind::TransparentStatic, 12, 10, 40, 8},
    {Dlg::kTitleId, ControlKind::Edit, 54, 8, 174, 12},
    {Dlg::kSingleId, ControlKind::ColorRadio, 6, 25, 8, 10},
    {kSingleLabelId, ControlKind::TransparentStatic, 18, 25, 56, 8, "Single Answer"},
    {Dlg::kMultipleId, ControlKind::ColorRadio, 80, 25, 8, 10},
    {kMultipleLabelId, ControlKind::TransparentStatic, 91, 25, 62, 8, "Multiple Answers"},
    {Dlg::kIdentifyId, ControlKind::ColorCheckBox, 159, 25, 9, 10},
    {kIdentifyLabelId, ControlKind::TransparentStatic, 170, 25, 73, 9, "Identify"},
    {4035, ControlKind::TransparentStatic, 11, 44, 11, 8, "A:"},
    {4012, ControlKind::Edit, 23, 42, 204, 12},
    {4036, ControlKind::TransparentStatic, 11, 57, 11, 8, "B:"},
    {4014, ControlKind::Edit, 23, 55, 204, 12},
    {4037, ControlKind::TransparentStatic, 11, 70, 11, 8, "C:"},
    {4016, ControlKind::Edit, 23, 68, 204, 12},
    {4038, ControlKind::TransparentStatic, 11, 83, 11, 8, "D:"},
    {4018, ControlKind::Edit, 23, 81, 204, 12},
    {4039, ControlKind::TransparentStatic, 11, 96, 11, 8, "E:"},
    {4017, ControlKind::Edit, 23, 94, 204, 12},
    {4040, ControlKind::TransparentStatic, 11, 109, 11, 8, "F:"},
    {4026, ControlKind::Edit, 23, 107, 204, 12},
    {4041, ControlKind::TransparentStatic, 11, 123, 11, 8, "G:"},
    {4027, ControlKind::Edit, 23, 121, 204, 12},
    {kSeparatorId, ControlKind::Separator, 6, 137, 230, 1},
    {Dlg::kOkId, ControlKind::ImageButton, 97, 144, 23, 11},
    {Dlg::kCancelId, ControlKind::ImageButton, 125, 144, 23, 11},
};
constexpr DialogTemplateSpec kTemplate{245, 169, kItems};

constexpr const wchar_t* kLetters[] = {L"A", L"B", L"C", L"D", L"E", L"F", L"G"};

// Controls and the labels that name them.
constexpr std::pair<int, int> kLabelled[] = {
    {Dlg::kTitleId, kTitleLabelId},
    {Dlg::kSingleId, kSingleLabelId},
    {Dlg::kMultipleId, kMultipleLabelId},
    {Dlg::kIdentifyId, kIdentifyLabelId},
    {4012, 4035},
    {4014, 4036},
    {4016, 4037},
    {4018, 4038},
    {4017, 4039},
    {4026, 4040},
    {4027, 4041},
};

}  // namespace

CPollQuestionDlg::CPollQuestionDlg(const SkinSettings& settings)
    : CSkinDialog(nullptr), m_settings(settings) {
    DialogTemplate::Apply(*this, kTemplate);
    m_title = ItemAs<QLineEdit>(kTitleId);
    for (std::size_t i = 0; i < kChoiceIds.size(); ++i)
        m_choices[i] = ItemAs<QLineEdit>(kChoiceIds[i]);
    m_single = ItemAs<CColorRadioButton>(kSingleId);
    m_multiple = ItemAs<CColorRadioButton>(kMultipleId);
    m_identifyBox = ItemAs<CColorRadioButton>(kIdentifyId);
}

CPollQuestionDlg::~CPollQuestionDlg() = default;

int CPollQuestionDlg::exec() {
    // Choices past the seventh have no edit: such a poll is refused, never cut.
    if (m_record.items.size() > kChoiceIds.size()) {
        ShowMessageBox(CWenMsg::GetInstance().GetMsg(msg::kTooManyChoicesEdit), 0);
        return Rejected;
    }
    if (!m_initialised) {
        m_initialised = true;
        InitDialog();
    }
    return CSkinDialog::exec();
}

void CPollQuestionDlg::InitDialog() {
    const CSkinLayout& layout = CSkinLayout::Current();
    layout.ApplyDialogEntry(*this, L"480*360_dlg");
    for (QLineEdit* choice : m_choices) choice->setMaxLength(kTextLimit);
    const QFont* font = DialogFont::Get();
    for (CColorRadioButton* button : {m_single, m_multiple, m_identifyBox})
        button->SetBackgroundColour(DialogBackgroundColor::Get());
    if (font) {
        m_title->setFont(*font);
        for (QLineEdit* choice : m_choices) choice->setFont(*font);
    }

    const bool editing = !m_record.pollId.empty();
    // A poll being edited, or a new one given back after its creation failed.
    if (editing || !m_record.title.empty()) {
        m_radioIndex = m_record.singleChoice ? 0 : 1;
        m_identify = m_record.identified;
        m_title->setText(QString::fromStdWString(m_record.title));
        for (std::size_t i = 0; i < m_record.items.size(); ++i)
            m_choices[i]->setText(QString::fromStdWString(m_record.items[i].content));
    }
    const QString caption = Msg(editing ? msg::kEditorCaptionEdit : msg::kEditorCaptionNew);
    (m_radioIndex == 0 ? m_single : m_multiple)->setChecked(true);
    m_identifyBox->setChecked(m_identify);
    m_title->setMaxLength(kTextLimit);
    m_title->setCursorPosition(0);  // a long question shows its beginning
    setWindowTitle(caption);

    ItemAs<CTransparentStatic>(kTitleLabelId)->setText(Msg(msg::kCategoryQuestion));
    ItemAs<CTransparentStatic>(kSingleLabelId)->setText(Msg(msg::kSingleAnswer));
    ItemAs<CTransparentStatic>(kIdentifyLabelId)->setText(Msg(msg::kIdentifyCaption));
    ItemAs<CTransparentStatic>(kMultipleLabelId)->setText(Msg(msg::kMultipleAnswers));
    m_single->setText(QString());
    m_multiple->setText(QString());
    // Each edit and box is read out by the text beside it.
    for (const auto& [control, label] : kLabelled) NameAfterLabel(control, label);
    CenterWindow();

    // A picture that does not load ends the set-up here: the later button, the
    // layout's controls and its caption stay as the template made them.
    if (!layout.SetUpButton(*ItemAs<CImageButton>(kOkId), L"input_poll_question_dlg_ok_btn", true,
                            m_settings.TipText(SkinButton::Ok)))
        return;
    if (!layout.SetUpButton(*ItemAs<CImageButton>(kCancelId), L"input_poll_question_dlg_cancel_btn",
                            true, m_settings.TipText(SkinButton::Cancel)))
        return;
    layout.ApplyWindowControls(*this, L"input_poll_question_dlg");
    if (CTransparentStatic* captionText = TextControl(kCaptionTextId))
        captionText->setText(caption);
}

void CPollQuestionDlg::OnCommand(int id) {
    if (id == kOkId) {
        if (StoreInput()) accept();
    } else if (id == kCancelId) {
        reject();
    } else {
        CSkinDialog::OnCommand(id);
    }
}

bool CPollQuestionDlg::StoreInput() {
    m_radioIndex = m_single->isChecked() ? 0 : m_multiple->isChecked() ? 1 : -1;
    m_identify = m_identifyBox->isChecked();
    const auto refuse = [](int id) {
        ShowMessageBox(CWenMsg::GetInstance().GetMsg(id), 0);
        return false;
    };
    if (m_title->text().isEmpty()) return refuse(msg::kTitleMissing);
    if (std::all_of(m_choices.begin(), m_choices.end(),
                    [](const QLineEdit* edit) { return edit->text().isEmpty(); }))
        return refuse(msg::kChoicesMissing);
    for (std::size_t i = 0; i < m_choices.size(); ++i) {
        const QString text = m_choices[i]->text();
        if (text.isEmpty()) continue;
        for (std::size_t j = 0; j < m_choices.size(); ++j)
            if (j != i && m_choices[j]->text() == text) return refuse(msg::kChoiceRepeated);
    }

    m_record.title = m_title->text().toStdWString();
    m_record.identified = m_identify;
    m_record.singleChoice = m_radioIndex == 0;
    // Non-empty choices close up and take the letters in order.
    m_record.items.clear();
    std::size_t letter = 0;
    for (const QLineEdit* edit : m_choices) {
        if (edit->text().isEmpty()) continue;
        PollItem item;
        item.itemName = kLetters[letter++];
        item.content = edit->text().toStdWString();
        m_record.items.push_back(std::move(item));
    }
    return true;
}

}  // namespace quibra
