#include "ui/voting/CPollVoteDlg.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QRadioButton>
#include <QScreen>
#include <algorithm>

#include "config/AppConfig.h"
#include "core/PollManager.h"
#include "core/ShowMessageBox.h"
#include "i18n/CWenMsg.h"
#include "i18n/MessageIds.h"
#include "quibra/WindowClosedNotice.h"
#include "ui/controls/CImageButton.h"
#include "ui/controls/CReadOnlyText.h"
#include "ui/controls/CTransparentStatic.h"
#include "ui/controls/DialogTemplate.h"
#include "ui/controls/EnterKey.h"
#include "ui/skin/CSkinLayout.h"

namespace quibra {

namespace {

constexpr int kRowHeight = 20;
constexpr int kRowPitch = 40;
constexpr int kChoiceButtonWidth = 18;
constexpr int kTextIndent = 22;

enum ItemId : int {
    kSubmit = 4018,
    kResultClose = 4019,
    kDecline = 4020,
    kFirstRowFrame = 4027,
    kQuestion = 4028,
    kSeparator = 4046,
    kFooterLine = -1,  // the template's unnumbered line above the buttons
};

// Dialog 4002 in dialog units, in tab order.
constexpr TemplateItem kItems[] = {
    {kQuestion, ControlKind::ReadOnlyText, 14, 8, 289, 18},
    {kSeparator, ControlKind::Separator, 7, 28, 305, 1, nullptr, 0, false},
    {kFirstRowFrame, ControlKind::Frame, 12, 34, 296, 10, nullptr, 0, false},
    {kFooterLine, ControlKind::Separator, 8, 192, 304, 1},
    {kSubmit, ControlKind::ImageButton, 115, 197, 23, 12},
    {kResultClose, ControlKind::ImageButton, 137, 197, 23, 12},
    {kDecline, ControlKind::ImageButton, 162, 197, 23, 12},
};
constexpr DialogTemplateSpec kTemplate{318, 217, kItems};

QString Text(const std::wstring& text) {
    return QString::fromStdWString(text);
}

QString Msg(int id) {
    return Text(CWenMsg::GetInstance().GetMsg(id));
}

}  // namespace

CPollVoteDlg::CPollVoteDlg(PollManager& manager, const SkinSettings& settings)
    : CSkinDialog(nullptr), m_manager(manager), m_settings(settings) {
    // Each dialog reads the skin afresh, so a changed skin shows in the next one.
    AppConfig::Instance().Load();
}

CPollVoteDlg::~CPollVoteDlg() = default;

void CPollVoteDlg::Create() {
    DialogTemplate::Apply(*this, kTemplate);
    const CSkinLayout& layout = CSkinLayout::Current();
    layout.ApplyDialogEntry(*this, L"480*480_dlg");
    layout.ApplyWindowControls(*this, L"poll_dlg");

    PlaceFooterLine();

    auto* question = ItemAs<CReadOnlyText>(kQuestion);
    const QRect questionRect = question->geometry();
    CenterWindow();
    // Every row is 20 pixels high and rows follow each other every 40.
    QRect row = Item(kFirstRowFrame)->geometry();
    row.setHeight(kRowHeight);
    // Selectable with the mouse, but Tab goes straight to the choices.
    question->setFocusPolicy(Qt::ClickFocus);
    if (m_record.pollId.empty()) return;

    question->SetText(Text(m_record.title));
    question->setGeometry(questionRect);
    setAccessibleName(Text(m_record.title));
    if (m_mode == VoteMode::Voting)
        CreateVotingRows(row);
    else
        CreateResultRows(row);
    SetTabOrder();
}

void CPollVoteDlg::PlaceFooterLine() {
    // The skin moves the buttons and resizes the dialog but knows nothing of
    // this line: keep it just above the buttons, as in the template, and
    // inside the dialog, so seven rows of choices never cross it.
    QWidget* line = Item(kFooterLine);
    const QRect buttons = Item(kSubmit)->geometry();
    const int gap = DialogTemplate::ToPixels(0, 192, 0, 197 - 192).height();
    line->setGeometry(line->x(), buttons.top() - gap, width() - 2 * line->x(), line->height());
}

void CPollVoteDlg::CreateVotingRows(QRect row) {
    for (const PollItem& item : m_record.items) {
        QAbstractButton* button = nullptr;
        if (m_record.singleChoice)
            button = new QRadioButton(this);
        else
            button = new QCheckBox(this);
        button->setObjectName(QString::number(NextId()));
        button->setGeometry(row.left(), row.top(), kChoiceButtonWidth, row.height());
        const std::wstring label = item.itemName + L":" + item.content;
        // The button has no text of its own; a screen reader reads the row's.
        button->setAccessibleName(Text(label));
        button->show();
        QWidget* text = CreateRowText(QRect(QPoint(row.left() + kTextIndent, row.top()),
                                            QPoint(row.right(), row.bottom() + kRowHeight)),
                                      label);
        // Clicking a choice's text picks it too: a bigger target than the box.
        static_cast<CReadOnlyText*>(text)->viewport()->installEventFilter(this);
        m_rows.push_back({button, text, item.itemName});
        row.translate(0, kRowPitch);
    }
    Item(kSubmit)->show();
    Item(kDecline)->show();
    Item(kResultClose)->hide();
    if (!SetUpButton(kSubmit, L"poll_dlg_ok_btn", m_settings.TipText(SkinButton::PollPost))) return;
    SetUpButton(kDecline, L"poll_dlg_cancel_btn", m_settings.TipText(SkinButton::PollDisclaim));
}

void CPollVoteDlg::CreateResultRows(QRect row) {
    const QString word = Msg(msg::kCountWord);
    for (const PollItem& item : m_record.items) {
        const QString label = Text(item.itemName + L":" + item.content) + "  ( " +
                              QString::number(item.postCount) + " " + word + ")";
        QWidget* text =
            CreateRowText(QRect(row.topLeft(), QPoint(row.right(), row.bottom() + kRowHeight)),
                          label.toStdWString());
        m_rows.push_back({nullptr, text, item.itemName});
        row.translate(0, kRowPitch);
    }
    auto* summary = new CTransparentStatic(this);
    summary->setObjectName(QString::number(NextId()));
    summary->setGeometry(row);
    summary->setText(Msg(msg::kSummaryStart) + " " + QString::number(m_record.voterCount) + " " +
                     word);
    summary->show();
    m_rows.push_back({nullptr, summary, {}});

    setWindowTitle(Msg(msg::kResultCaption));
    // A skin that removes the title bar shows its own description instead;
    // the caption goes there too, or result and question would look alike.
    for (const auto& [id, description] : TextControls())
        if (description) description->setText(windowTitle());
    Item(kSubmit)->hide();
    Item(kDecline)->hide();
    Item(kResultClose)->show();
    if (!SetUpButton(kResultClose, L"poll_dlg_ok_btn", m_settings.TipText(SkinButton::Ok))) return;
    if (!SetUpButton(kDecline, L"poll_dlg_cancel_btn", {})) return;
    // No tip here, but a screen reader still needs to know what it does.
    Item(kDecline)->setAccessibleName(m_settings.TipText(SkinButton::Ok));
    Item(kDecline)->show();
}

QWidget* CPollVoteDlg::CreateRowText(const QRect& rect, const std::wstring& text) {
    auto* control = new CReadOnlyText(this);
    control->setObjectName(QString::number(NextId()));
    control->setGeometry(rect);
    control->SetText(Text(text));
    // The choice button takes the focus; the text stays reachable by the
    // mouse (wheel and selection).
    control->setFocusPolicy(Qt::NoFocus);
    control->show();
    return control;
}

bool CPollVoteDlg::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::MouseButtonRelease ||
        static_cast<QMouseEvent*>(event)->button() != Qt::LeftButton)
        return CSkinDialog::eventFilter(watched, event);
    for (const ChoiceRow& row : m_rows) {
        auto* text = qobject_cast<CReadOnlyText*>(row.text);
        // A drag that selected part of the text was a selection, not a pick.
        if (row.button == nullptr || text == nullptr || text->viewport() != watched ||
            text->textCursor().hasSelection())
            continue;
        row.button->click();
        break;
    }
    return CSkinDialog::eventFilter(watched, event);
}

bool CPollVoteDlg::SetUpButton(int id, const wchar_t* entry, const QString& tip) {
    auto* button = ItemAs<CImageButton>(id);
    return button != nullptr && CSkinLayout::Current().SetUpButton(*button, entry, true, tip);
}

void CPollVoteDlg::SetTabOrder() {
    QWidget* previous = nullptr;
    auto chain = [&previous](QWidget* next) {
        if (next == nullptr || next->isHidden()) return;
        if (previous != nullptr) setTabOrder(previous, next);
        previous = next;
    };
    for (const ChoiceRow& row : m_rows) chain(row.button);
    for (int id : {kSubmit, kResultClose, kDecline}) chain(Item(id));
    if (!m_rows.empty() && m_rows.front().button != nullptr)
        m_rows.front().button->setFocus();
    else if (QWidget* close = Item(kResultClose); close != nullptr && !close->isHidden())
        close->setFocus();
}

void CPollVoteDlg::ShowCentred() {
    // The window's frame is known once the platform window exists.
    winId();
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect area = screen != nullptr ? screen->availableGeometry() : QRect();
    const QSize size = frameGeometry().size();
    move(area.left() + (area.width() - size.width()) / 2,
         area.top() + (area.height() - size.height()) / 2);
    show();
}

void CPollVoteDlg::OnSubmit() {
    if (m_mode == VoteMode::Result) {
        hide();
        return;
    }
    if (m_sending) return;
    std::vector<std::wstring> chosen;
    for (const ChoiceRow& row : m_rows)
        if (row.button != nullptr && row.button->isChecked()) chosen.push_back(row.name);
    if (chosen.empty()) {
        // The box is modal: the host may stop the poll, and so destroy this
        // dialog, before it returns. Nothing is touched afterwards.
        ShowMessageBox(CWenMsg::GetInstance().GetMsg(msg::kNothingChosen), 0);
        return;
    }
    // The ballot goes on the worker's threads; its outcome comes back through
    // BallotDone, maybe before CmdSendPoll returns. Meanwhile the dialog keeps
    // painting and says that it is sending.
    SetSending(true);
    m_manager.CmdSendPoll(m_record.pollId, chosen);
}

void CPollVoteDlg::BallotDone(bool sent) {
    if (!m_sending) return;
    SetSending(false);
    if (sent) hide();
}

void CPollVoteDlg::SetSending(bool sending) {
    m_sending = sending;
    if (sending && m_sendingText == nullptr) {
        // On the footer row, left of the buttons.
        auto* text = new CTransparentStatic(
            this, CTransparentStatic::Right | CTransparentStatic::CenterImage);
        text->setObjectName(QStringLiteral("sending"));
        text->setText(Msg(msg::kSendingBallot));
        const QRect submit = Item(kSubmit)->geometry();
        const int left = Item(kFooterLine)->x();
        text->setGeometry(left, submit.top(), std::max(0, submit.left() - left - 8),
                          submit.height());
        m_sendingText = text;
    }
    if (m_sendingText) m_sendingText->setVisible(sending);
    for (const ChoiceRow& row : m_rows)
        if (row.button != nullptr) row.button->setEnabled(!sending);
    for (int id : {kSubmit, kDecline})
        if (QWidget* button = Item(id)) button->setEnabled(!sending);
    if (sending)
        setCursor(Qt::BusyCursor);
    else
        unsetCursor();
}

void CPollVoteDlg::OnClose() {
    // A ballot on its way ends within the vote's time; the dialog stays for it.
    if (m_sending) return;
    // The host handles the notice before the dialog hides; it may answer by
    // stopping the poll, which destroys this dialog there and then.
    QPointer<CPollVoteDlg> alive(this);
    if (QWidget* host = m_manager.HostWindow()) {
        WindowClosedNotice notice;
        QCoreApplication::sendEvent(host, &notice);
    }
    if (alive) hide();
}

void CPollVoteDlg::OnCommand(int id) {
    switch (id) {
        case kSubmit:
            Queue(&CPollVoteDlg::OnSubmit);
            break;
        case kResultClose:
        case kDecline:
        case kCancel:
            Queue(&CPollVoteDlg::OnClose);
            break;
        default:
            break;
    }
}

void CPollVoteDlg::reject() {
    Queue(&CPollVoteDlg::OnClose);
}

void CPollVoteDlg::keyPressEvent(QKeyEvent* event) {
    if (EnterKey::Pressed(*event)) {
        event->accept();
        Queue(&CPollVoteDlg::OnSubmit);
        return;
    }
    CSkinDialog::keyPressEvent(event);
}

void CPollVoteDlg::Queue(void (CPollVoteDlg::*command)()) {
    // Submitting and closing may end in this dialog's destruction (a message
    // box's event loop, or a host answering the notice, lets the host stop the
    // poll). Run from the event loop, not inside the button's or the key's own
    // event handling, nothing of Qt's is left holding a destroyed widget; a
    // dialog destroyed before then never runs the command.
    QMetaObject::invokeMethod(
        this,
        [this, command] {
            // A hidden dialog is done: a second click queued behind the first
            // sends nothing again.
            if (isVisible()) (this->*command)();
        },
        Qt::QueuedConnection);
}

}  // namespace quibra
