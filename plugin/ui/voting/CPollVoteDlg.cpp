#include "ui/voting/CPollVoteDlg.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTextDocument>
#include <QtMath>
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
#include "ui/controls/RadioArrows.h"
#include "ui/controls/ResultBar.h"
#include "ui/controls/UiText.h"
#include "ui/skin/CSkinLayout.h"

namespace quibra {

namespace {

constexpr int kRowHeight = 20;
constexpr int kRowPitch = 40;
constexpr int kChoiceButtonWidth = 18;
constexpr int kTextIndent = 22;
constexpr int kBarGap = 8;
constexpr int kBarWidth = 150;
// Dialogs open at once step down and right by this much, so each one shows.
constexpr int kCascadeStep = 32;
// Room round the rows inside their scroll area for the focus ring, which is
// drawn just outside the focused choice.
constexpr int kRingRoom = 4;

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
    return UiText::Msg(id);
}

// A radio button whose arrow keys select as they move through the group.
class ChoiceRadio : public QRadioButton {
public:
    using QRadioButton::QRadioButton;

protected:
    void keyPressEvent(QKeyEvent* event) override {
        QRadioButton::keyPressEvent(event);
        RadioArrows::SelectFocused(*this, *event);
    }
};

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
    CenterWindow();
    // Selectable with the mouse, but Tab goes straight to the choices.
    question->setFocusPolicy(Qt::ClickFocus);
    if (m_record.pollId.empty()) return;

    question->SetText(Text(m_record.title));
    setAccessibleName(Text(m_record.title));
    setWindowTitle(Text(m_record.title));  // the task switcher tells the polls apart
    // The skin puts the buttons in place; whatever grows below moves them on.
    SetUpModeControls();
    ShowWholeQuestion(*question);
    if (m_mode == VoteMode::Voting && m_record.identified) AddPrivacyLine(*question);
    // Every row is 20 pixels high and rows follow each other every 40.
    QRect row = Item(kFirstRowFrame)->geometry();
    row.setHeight(kRowHeight);
    if (m_mode == VoteMode::Voting)
        CreateVotingRows(row);
    else
        CreateResultRows(row);
    SetTabOrder();
}

void CPollVoteDlg::PlaceFooterLine() {
    // The skin moves the buttons and resizes the dialog but knows nothing of
    // this line: keep it just above the buttons, as in the template, and
    // inside the dialog, so the rows never cross it.
    QWidget* line = Item(kFooterLine);
    const QRect buttons = Item(kSubmit)->geometry();
    const int gap = DialogTemplate::ToPixels(0, 192, 0, 197 - 192).height();
    line->setGeometry(line->x(), buttons.top() - gap, width() - 2 * line->x(), line->height());
}

void CPollVoteDlg::GrowBelow(int y, int by) {
    if (by <= 0) return;
    for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (!child->isWindow() && child->y() > y) child->move(child->x(), child->y() + by);
    setFixedSize(width(), height() + by);
}

void CPollVoteDlg::ShowWholeQuestion(CReadOnlyText& question) {
    // The whole question shows (up to 255 characters): its box grows to the
    // text and everything below moves down.
    question.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QTextDocument* text = question.document();
    text->setTextWidth(question.contentsRect().width());
    const int needed = qCeil(text->size().height()) + 2 * question.frameWidth();
    const QRect box = question.geometry();
    GrowBelow(box.bottom(), needed - box.height());
    question.resize(box.width(), qMax(needed, box.height()));
}

void CPollVoteDlg::AddPrivacyLine(const QWidget& question) {
    const QRect box = question.geometry();
    GrowBelow(box.bottom(), kRowHeight);
    auto* line = new CTransparentStatic(this);
    line->setObjectName(QStringLiteral("privacy"));
    line->setGeometry(box.left(), box.bottom() + 1, box.width(), kRowHeight);
    line->setText(Msg(msg::kVotersIdentified));
    line->show();
}

QWidget* CPollVoteDlg::CreateRowsArea(QRect firstRow, int contentHeight) {
    // The rows run from the first row's place to just above the footer line.
    // The dialog grows, as far as the screen's work area allows, to hold them
    // all; beyond that they scroll, and no row ever covers a button. The area
    // reaches a ring's room beyond the rows, so that the rows stay in place.
    firstRow.adjust(-kRingRoom, -kRingRoom, kRingRoom, 0);
    contentHeight += 2 * kRingRoom;
    const int bottom = Item(kFooterLine)->y() - kRowHeight / 2;
    int room = bottom - firstRow.top();
    if (contentHeight > room) {
        const QScreen* screen = QGuiApplication::primaryScreen();
        const int spare = screen != nullptr ? screen->availableGeometry().height() - height() : 0;
        const int grow = qMin(contentHeight - room, qMax(0, spare));
        GrowBelow(firstRow.bottom(), grow);
        room += grow;
    }
    m_rowsArea = new QScrollArea(this);
    m_rowsArea->setObjectName(QStringLiteral("rows"));
    m_rowsArea->setFrameShape(QFrame::NoFrame);
    m_rowsArea->setFocusPolicy(Qt::NoFocus);  // Tab goes from choice to choice
    m_rowsArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_rowsArea->viewport()->setAutoFillBackground(false);
    m_rowsArea->setGeometry(firstRow.left(), firstRow.top(), firstRow.width(), room);
    const int scrollBar =
        contentHeight > room ? m_rowsArea->verticalScrollBar()->sizeHint().width() : 0;
    auto* content = new QWidget;
    content->resize(firstRow.width() - scrollBar, contentHeight);
    m_rowsArea->setWidget(content);
    content->setAutoFillBackground(false);  // the skin's background shows through
    m_rowsArea->show();
    return content;
}

QRect CPollVoteDlg::FirstRow(const QWidget& rows) {
    return QRect(kRingRoom, kRingRoom, rows.width() - 2 * kRingRoom, kRowHeight);
}

void CPollVoteDlg::FocusMoved(QWidget* now) {
    if (m_rowsArea != nullptr && m_rowsArea->widget()->isAncestorOf(now))
        m_rowsArea->ensureWidgetVisible(now);
}

void CPollVoteDlg::CreateVotingRows(QRect row) {
    QWidget* rows = CreateRowsArea(row, kRowPitch * static_cast<int>(m_record.items.size()));
    row = FirstRow(*rows);
    for (const PollItem& item : m_record.items) {
        QAbstractButton* button = nullptr;
        if (m_record.singleChoice)
            button = new ChoiceRadio(rows);
        else
            button = new QCheckBox(rows);
        button->setObjectName(QString::number(NextId()));
        button->setGeometry(row.left(), row.top(), kChoiceButtonWidth, row.height());
        const std::wstring label = item.itemName + L":" + item.content;
        // The button has no text of its own; a screen reader reads the row's.
        button->setAccessibleName(Text(label));
        button->show();
        QWidget* text = CreateRowText(rows,
                                      QRect(QPoint(row.left() + kTextIndent, row.top()),
                                            QPoint(row.right(), row.bottom() + kRowHeight)),
                                      label);
        // Clicking a choice's text picks it too: a bigger target than the box.
        static_cast<CReadOnlyText*>(text)->viewport()->installEventFilter(this);
        m_rows.push_back({button, text, item.itemName});
        row.translate(0, kRowPitch);
    }
}

void CPollVoteDlg::CreateResultRows(QRect row) {
    const int count = static_cast<int>(m_record.items.size());
    QWidget* rows = CreateRowsArea(row, kRowPitch * count + kRowHeight);
    row = FirstRow(*rows);
    const int textRight = row.right() - kBarWidth - kBarGap;
    for (const PollItem& item : m_record.items) {
        const QString choice = Text(item.itemName + L":" + item.content);
        const QString label = choice + "  ( " + UiText::People(item.postCount) + ")";
        QWidget* text =
            CreateRowText(rows, QRect(row.topLeft(), QPoint(textRight, row.bottom() + kRowHeight)),
                          label.toStdWString());
        auto* bar = new ResultBar(rows, choice, item.postCount, m_record.voterCount);
        bar->setGeometry(textRight + kBarGap, row.top(), kBarWidth, row.height());
        bar->show();
        m_rows.push_back({nullptr, text, item.itemName});
        row.translate(0, kRowPitch);
    }
    auto* summary = new CTransparentStatic(rows);
    summary->setObjectName(QString::number(NextId()));
    summary->setGeometry(row);
    summary->setText(Msg(msg::kSummaryStart) + " " + UiText::People(m_record.voterCount));
    summary->show();
    m_rows.push_back({nullptr, summary, {}});
}

void CPollVoteDlg::SetUpModeControls() {
    if (m_mode == VoteMode::Voting) {
        Item(kSubmit)->show();
        Item(kDecline)->show();
        Item(kResultClose)->hide();
        if (!SetUpButton(kSubmit, L"poll_dlg_ok_btn", m_settings.TipText(SkinButton::PollPost)))
            return;
        SetUpButton(kDecline, L"poll_dlg_cancel_btn", m_settings.TipText(SkinButton::PollDisclaim));
        return;
    }
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

QWidget* CPollVoteDlg::CreateRowText(QWidget* rows, const QRect& rect, const std::wstring& text) {
    auto* control = new CReadOnlyText(rows);
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
    QPoint at(area.left() + (area.width() - size.width()) / 2,
              area.top() + (area.height() - size.height()) / 2);
    // Polls posted together cascade: each opens a step down and right of the
    // one shown before it while that is still open, so none hides another.
    static QPointer<CPollVoteDlg> lastShown;
    if (lastShown != nullptr && lastShown != this && lastShown->isVisible()) {
        at = lastShown->pos() + QPoint(kCascadeStep, kCascadeStep);
        if (at.x() + size.width() > area.right() + 1) at.setX(area.left());
        if (at.y() + size.height() > area.bottom() + 1) at.setY(area.top());
    }
    lastShown = this;
    move(at);
    show();
    // A new poll comes to the front, where the attendee sees it.
    raise();
    activateWindow();
}

void CPollVoteDlg::OnSubmit() {
    // A result has nothing to send: Enter closes it as its close button does.
    if (m_mode == VoteMode::Result) {
        OnClose();
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
